#include "console/frmAddCriteria.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "console/DialogLayout.h"
#include "console/InputBox.h"
#include "console/Twips.h"
#include "console/clsDialogParameter.h"
#include "console/frmQueryDesigner.h"
#include "core/mdlMain.h"
#include "designer/QueryModel.h"

namespace qv {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

QComboBox* comboBox(QWidget* parent, const char* name, bool editable) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(editable);
    if (editable) {
        combo->setInsertPolicy(QComboBox::NoInsert);
        // The box takes exactly what is typed: no completion into a suggestion
        // ("organizational" must not become "organizationalPerson").
        combo->setCompleter(nullptr);
    }
    return combo;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
    auto* text = new QLabel(caption, parent);
    text->setObjectName(name);
    text->setBuddy(buddy);
    return text;
}

QRadioButton* option(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

QStringList CriteriaFieldNames() {
    return {"Admin-Description",
            "cn",
            "co",
            "Company",
            "department",
            "employeeNumber",
            "employeeType",
            "Extension-Attribute-1",
            "Extension-Attribute-10",
            "Extension-Attribute-11",
            "Extension-Attribute-12",
            "Extension-Attribute-13",
            "Extension-Attribute-14",
            "Extension-Attribute-15",
            "Extension-Attribute-2",
            "Extension-Attribute-3",
            "Extension-Attribute-4",
            "Extension-Attribute-5",
            "Extension-Attribute-6",
            "Extension-Attribute-7",
            "Extension-Attribute-8",
            "Extension-Attribute-9",
            "Home-MDB",
            "Home-MTA",
            "info",
            "l",
            "mail",
            "manager",
            "objectClass",
            "physicalDeliveryOfficeName",
            "postalAddress",
            "postalCode",
            "st",
            "title"};
}

QStringList CriteriaValueSuggestions() {
    return {QString(),
            "cn=Microsoft Private MDB,cn=<<<YOURSERVERHERE>>>,cn=Servers,cn=Configuration,ou=<<<SITE>>>,o=<<<ORG>>>",
            "groupofNames", "organizationalPerson", "remote-Address"};
}

frmAddCriteria::frmAddCriteria(frmQueryDesigner* designer, QWidget* parent) : QDialog(parent), designer_(designer) {
    setObjectName("frmAddCriteria");
    setWindowTitle("Add Criteria");
    setModal(true);
    Build();
    Load();
}

void frmAddCriteria::Build() {
    auto* frame = new QGroupBox("Criteria Type", this);
    frame->setObjectName("fraCriteriaType");
    quickPick_ = option(frame, "optQuickPick", "Quick Pick!");
    other_ = option(frame, "optTypeOther", "Other");
    logical_ = option(frame, "optTypeLogical", "Logical");
    quick_ = comboBox(frame, "cmbQuick", false);
    quick_->addItems({AllCustomRecipients, AllMailboxes, AllMailboxesOnServer});
    field_ = comboBox(frame, "cmbField", true);
    field_->addItems(CriteriaFieldNames());
    operator_ = comboBox(frame, "cmbOperator", false);
    value_ = comboBox(frame, "cmbValue", true);
    value_->addItems(CriteriaValueSuggestions());
    criteria_ = comboBox(frame, "cmbCriteria", false);
    criteria_->addItems({"AND", "OR"});
    auto* fieldLabel = label(frame, "lblField", "Field Name:", field_);
    auto* operatorLabel = label(frame, "lblOperator", "Operator:", operator_);
    auto* valueLabel = label(frame, "lblValue", "Value:", value_);
    auto* criteriaLabel = label(frame, "lblCriteria", "Criteria:", criteria_);
    auto* note = label(frame, "lblNote", "* This will apply to all criteria below it.", nullptr);

    ok_ = new QPushButton("&OK", this);
    ok_->setObjectName("cmdOK");
    ok_->setDefault(true);
    cancel_ = new QPushButton("&Cancel", this);
    cancel_->setObjectName("cmdCancel");

    PlaceTwips(frame, 120, 120, 5400, 2940);
    PlaceTwips(quickPick_, 180, 390, 1260, 285);
    PlaceTwips(quick_, 1500, 360, 3720, 315);
    PlaceTwips(other_, 180, 870, 1260, 285);
    PlaceTwips(fieldLabel, 1500, 870, 1140, 255);
    PlaceTwips(field_, 2700, 840, 2520, 315);
    PlaceTwips(operatorLabel, 1500, 1275, 1140, 255);
    PlaceTwips(operator_, 2700, 1245, 2520, 315);
    PlaceTwips(valueLabel, 1500, 1680, 1140, 255);
    PlaceTwips(value_, 2700, 1650, 2520, 315);
    PlaceTwips(logical_, 180, 2190, 1260, 285);
    PlaceTwips(criteriaLabel, 1500, 2190, 1140, 255);
    PlaceTwips(criteria_, 2700, 2160, 1260, 315);
    PlaceTwips(note, 1500, 2580, 3720, 255);
    PlaceTwips(ok_, 5640, 180, 1140, 375);
    PlaceTwips(cancel_, 5640, 630, 1140, 375);
    setFixedSize(TwipsToPixelsX(6900, this), TwipsToPixelsY(3180, this));
    // The long store template can be read in the open list.
    value_->view()->setMinimumWidth(TwipsToPixelsX(9000, this));

    // Choosing an entry from a list chooses its kind; typing does not.
    connect(quick_, &QComboBox::activated, this, [this] { quickPick_->setChecked(true); });
    connect(field_, &QComboBox::activated, this, [this] { other_->setChecked(true); });
    connect(value_, &QComboBox::activated, this, [this] { other_->setChecked(true); });
    connect(operator_, &QComboBox::activated, this, [this] {
        other_->setChecked(true);
        UpdateGui();
    });
    connect(criteria_, &QComboBox::activated, this, [this] { logical_->setChecked(true); });
    connect(ok_, &QPushButton::clicked, this, [this] { OK(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(quickPick_, quick_);
    setTabOrder(quick_, other_);
    setTabOrder(other_, field_);
    setTabOrder(field_, operator_);
    setTabOrder(operator_, value_);
    setTabOrder(value_, logical_);
    setTabOrder(logical_, criteria_);
    setTabOrder(criteria_, ok_);
    setTabOrder(ok_, cancel_);
}

void frmAddCriteria::FillCombo(QComboBox* combo, const QStringList& entries) {
    combo->clear();
    for (int i = 0; i < entries.size(); ++i) combo->addItem(entries[i], i);
    combo->setCurrentIndex(0);
}

void frmAddCriteria::Load() {
    QStringList labels;
    for (const std::string& text : OperatorLabels()) labels << qs(text);
    FillCombo(operator_, labels);
    quick_->setCurrentIndex(0);
    field_->setCurrentIndex(0);
    operator_->setCurrentIndex(0);
    value_->setCurrentIndex(0);
    criteria_->setCurrentIndex(0);
    if (EditModeRequested()) {
        if (auto criterion = ReadCriterion(objDialogParameter().VarDataText().toStdString())) {
            field_->setCurrentText(qs(criterion->field));
            const int index = operator_->findData(criterion->op);
            if (index >= 0) operator_->setCurrentIndex(index);
            value_->setCurrentText(qs(criterion->value));
        }
    }
    other_->setChecked(true);
    UpdateGui();
}

bool frmAddCriteria::EditModeRequested() {
    const clsDialogParameter& record = objDialogParameter();
    return record.SendTo() == QLatin1String("frmAddCriteria") &&
           record.SentFrom() == QLatin1String("frmQueryDesigner") && !record.VarDataText().isEmpty();
}

int frmAddCriteria::SelectedOperator() const { return operator_->currentData().toInt(); }

void frmAddCriteria::UpdateGui() {
    const bool noValue = SelectedOperator() >= Present;
    if (noValue) value_->setCurrentText(QString());
    value_->setEnabled(!noValue);
    // Read-only fields take the window's colour, editable ones the field colour.
    QPalette colours = value_->palette();
    colours.setColor(QPalette::Base, palette().color(noValue ? QPalette::Window : QPalette::Base));
    value_->setPalette(colours);
    if (QLineEdit* edit = value_->lineEdit()) edit->setPalette(colours);
}

void frmAddCriteria::AddCriterionItem(const std::string& item) {
    bool editMode = EditModeRequested();
    const bool editing = editMode;
    qv::AddCriterionItem(designer_->Model(), item, editMode);
    // The edited item is replaced once; further items of the same OK are inserted.
    if (editing) objDialogParameter().setVarData(QString());
    designer_->ShowCriteria();
}

void frmAddCriteria::OK() {
    if (logical_->isChecked()) {
        AddCriterionItem(std::string(criteria_->currentText() == QLatin1String("OR") ? OrOpener : AndOpener));
        AddCriterionItem(std::string(GroupCloser));
    } else if (other_->isChecked()) {
        AddCriterionItem(FormatCriterion(field_->currentText().toStdString(), SelectedOperator(),
                                         value_->currentText().toStdString()));
    } else if (quickPick_->isChecked()) {
        AddQuickPick();
    }
    accept();
}

void frmAddCriteria::AddQuickPick() {
    const QString pick = quick_->currentText();
    if (pick == QLatin1String(AllCustomRecipients)) {
        AddCriterionItem("(objectClass=remote-Address)");
    } else if (pick == QLatin1String(AllMailboxes)) {
        AddCriterionItem("(objectClass=organizationalPerson)");
    } else if (pick == QLatin1String(AllMailboxesOnServer)) {
        AddMailboxesOnServer();
    }
}

void frmAddCriteria::AddMailboxesOnServer() {
    const clsExchangeStore& store = *mdl().objExchangeStore;
    // Of a list of servers the first is offered: a "," would end the name in the DN below.
    const std::string proposed = store.StoreName().substr(0, store.StoreName().find(','));
    const QString server =
        InputBox(this, "Enter the name of the server:", "All mailboxes on this server...", qs(proposed));
    if (server.isEmpty()) return;
    AddCriterionItem("(Home-MDB=cn=Microsoft Private MDB,cn=" + server.toStdString() +
                     ",cn=Servers,cn=Configuration," + store.Site() + "," + store.Organization() + ")");
    AddCriterionItem("(objectClass=organizationalPerson)");
}

void frmAddCriteria::done(int result) {
    objDialogParameter().Clear();
    QDialog::done(result);
}

}  // namespace qv
