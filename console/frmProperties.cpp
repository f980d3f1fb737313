#include "console/frmProperties.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <utility>

#include "console/ConsoleDialogs.h"
#include "console/DialogLayout.h"
#include "console/MessageBoxes.h"
#include "console/ScreenText.h"
#include "console/Selection.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "console/clsDialogParameter.h"
#include "console/frmPreview.h"
#include "console/frmProcess.h"
#include "core/mdlMain.h"
#include "directory/clsExchangeStore.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"
#include "platform/Text.h"

namespace qv {
namespace {

constexpr double ClientWidth = 7200;
constexpr double PageTop = 480;
constexpr double PageWidth = 6780;
constexpr double PageHeight = 5400;
constexpr double ButtonWidth = 1140;
constexpr double ButtonHeight = 375;
constexpr double LabelWidth = 1500;
constexpr double BoxLeft = 1680;
constexpr double BoxWidth = 4980;

const char* const UpdateReadyTip = "Update DL membership";
const char* const QueryChangedTip = "Query has changed, click Apply first.";

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string text(const QLineEdit* box) { return box->text().toStdString(); }
std::string text(const QPlainTextEdit* box) { return box->toPlainText().toStdString(); }

QLabel* label(QWidget* parent, const QString& name, const QString& caption, QWidget* buddy) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
}

QLineEdit* textBox(QWidget* parent, const QString& name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    return box;
}

QPlainTextEdit* multiLine(QWidget* parent, const char* name) {
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    box->setTabChangesFocus(true);
    return box;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

// A check box is ticked when its attribute reads exactly "True".
void tick(QCheckBox* box, const std::string& value) { box->setChecked(value == "True"); }

}  // namespace

std::vector<std::string> DLPropertyNames(const std::string& field) {
    std::vector<std::string> names = {"cn", field, "uid", "member", "owner", "info", "admin-description"};
    for (int i = 1; i <= 10; ++i) names.push_back("extension-attribute-" + std::to_string(i));
    for (const char* option : {"Report-To-Originator", "Report-To-Owner", "Hide-DL-Membership",
                               "Hide-From-Address-Book", "OOF-Reply-To-Originator"})
        names.push_back(option);
    return names;
}

void LoadDLProperties(DirectoryObject& D, frmProperties& F) {
    const std::string& field = mdl().strField;
    const PropertyBag bag = D.GetPropertiesEx(DLPropertyNames(field));

    const QString cn = qs(bag.text("cn"));
    F.controlcn()->setText(cn);
    F.setWindowTitle(cn);
    F.lblDisplay()->setText(cn);
    F.controluid()->setText(qs(bag.text("uid")));
    F.controlowner()->setText(qs(bag.text("owner")));
    // A DL without owner cannot report to it.
    if (F.controlowner()->text().isEmpty()) F.chkreporttolistowner()->setEnabled(false);

    F.controlinfo()->setPlainText(qs(bag.text("info")));
    for (int i = 1; i <= 10; ++i) F.controlca(i)->setText(qs(bag.text("extension-attribute-" + std::to_string(i))));
    F.controlQVL()->setPlainText(qs(bag.text(field)));
    F.controladmindesc()->setText(qs(bag.text("admin-description")));

    tick(F.chkreporttomessageoriginator(), bag.text("Report-To-Originator"));
    tick(F.chkreporttolistowner(), bag.text("Report-To-Owner"));
    tick(F.chkhidemembershipfromab(), bag.text("Hide-DL-Membership"));
    tick(F.chkhidefromab(), bag.text("Hide-From-Address-Book"));
    tick(F.chkallowoootooriginator(), bag.text("OOF-Reply-To-Originator"));

    // The placeholder an emptied DL keeps is nobody.
    std::vector<std::string> members = bag.list("member");
    const std::string& placeholder = D.objExchangeStore->EmptyMember();
    std::erase_if(members, [&](const std::string& m) { return !placeholder.empty() && platform::equalsIgnoringCase(m, placeholder); });
    F.controlmember()->clear();
    F.lblMembers()->setText(QString::number(members.size()) + " Members");
    for (const std::string& member : members) F.controlmember()->addItem(qs(member));
    F.SetUnholdable(D.Unholdable(F.WrittenAttributes()));
}

QString UnsavedPropertiesText(const std::vector<UnsavedProperty>& unsaved) {
    QString message = "These properties of the distribution list were not saved:\n";
    for (const UnsavedProperty& property : unsaved)
        message += "\n" + qs(property.attribute) + ": " + ErrorMessageText(property.number, qs(property.description));
    return message;
}

// ---- building ------------------------------------------------------------------

frmProperties::frmProperties(QWidget* parent) : QDialog(parent) {
    setObjectName("frmProperties");
    MarkText(this, "1056");
    setModal(true);
    Build();
    ApplyScreenText(this);
    // Only a DL opens: Apply and OK would write its fields onto any other object.
    if (DirObjects* selection = CurrentSelection();
        selection && selection->Count() >= 1 && selection->Item(1)->objectClass == "groupOfNames")
        dl_ = selection->Item(1);
    {
        WaitCursor wait;
        loaded_ = dl_ && Reload();
    }
    SelectTab(0);
}

void frmProperties::Build() {
    tabs_ = new QTabBar(this);
    tabs_->setObjectName("tbsOptions");
    tabs_->setExpanding(false);
    PlaceTwips(tabs_, 120, 120, PageWidth + 180, 360);
    BuildGeneralPage(AddPage("General"));
    BuildCustomAttributesPage(AddPage("Custom Attributes"));
    BuildAdvancedPage(AddPage("Advanced"));
    BuildQuorvelPage(AddPage("Quorvel"));
    BuildButtons();
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { SelectTab(index); });

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

QWidget* frmProperties::AddPage(const QString& caption) {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("picOptions_%1").arg(pages_.size()));
    pages_.append(page);
    pageLefts_.append(HiddenPageLeft);
    tabs_->addTab(caption);
    return page;
}

void frmProperties::BuildGeneralPage(QWidget* page) {
    display_ = new QLabel(page);
    display_->setObjectName("lblDisplay");
    display_->setTextFormat(Qt::PlainText);
    QFont large = display_->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.5);
    display_->setFont(large);
    PlaceTwips(display_, 120, 60, PageWidth - 240, 480);

    cn_ = textBox(page, "controlcn");
    auto* cnLabel = label(page, "lblDisplayName", "Display name:", cn_);
    MarkText(cnLabel, "1062");
    uid_ = textBox(page, "controluid");
    auto* uidLabel = label(page, "lblAlias", "Alias name:", uid_);
    PlaceTwips(cnLabel, 120, 690, LabelWidth, 255);
    PlaceTwips(cn_, BoxLeft, 660, BoxWidth, 315);
    PlaceTwips(uidLabel, 120, 1095, LabelWidth, 255);
    PlaceTwips(uid_, BoxLeft, 1065, BoxWidth, 315);

    auto* ownerFrame = new QGroupBox("Owner", page);
    ownerFrame->setObjectName("frmOwner");
    MarkText(ownerFrame, "1068");
    owner_ = textBox(ownerFrame, "controlowner");
    owner_->setReadOnly(true);
    PlaceTwips(ownerFrame, 120, 1470, PageWidth - 240, 720);
    PlaceTwips(owner_, 120, 300, PageWidth - 480, 315);

    info_ = multiLine(page, "controlinfo");
    auto* infoLabel = label(page, "lblNotes", "Notes:", info_);
    PlaceTwips(infoLabel, 120, 2310, LabelWidth, 255);
    PlaceTwips(info_, BoxLeft, 2280, BoxWidth, 780);

    auto* memberFrame = new QGroupBox("Members", page);
    memberFrame->setObjectName("fraMembers");
    MarkText(memberFrame, "1069");
    members_ = new QListWidget(memberFrame);
    members_->setObjectName("controlmember");
    memberCount_ = new QLabel(memberFrame);
    memberCount_->setObjectName("lblMembers");
    reset_ = button(memberFrame, "cmdReset", "&Reset DL");
    PlaceTwips(memberFrame, 120, 3150, PageWidth - 240, 2190);
    PlaceTwips(members_, 120, 300, 4860, 1770);
    PlaceTwips(memberCount_, 5100, 300, 1320, 255);
    PlaceTwips(reset_, 5100, 1695, 1320, ButtonHeight);
    connect(reset_, &QPushButton::clicked, this, [this] { ResetMembers(); });
}

void frmProperties::BuildCustomAttributesPage(QWidget* page) {
    for (int i = 1; i <= 10; ++i) {
        const QString number = QString::number(i);
        QLineEdit* box = textBox(page, "controlca" + number);
        QLabel* caption = label(page, "lblca" + number, "Custom Attribute " + number + ":", box);
        const double top = 150 + (i - 1) * 480;
        PlaceTwips(caption, 120, top + 30, 2040, 255);
        PlaceTwips(box, 2220, top, PageWidth - 2340, 315);
        customAttributes_.append(box);
    }
}

void frmProperties::BuildAdvancedPage(QWidget* page) {
    auto* options = new QGroupBox("Distribution list options", page);
    options->setObjectName("fraDLOptions");
    hideFromAddressBook_ = checkBox(options, "chkhidefromab", "&Hide from address book");
    hideMembership_ = checkBox(options, "chkhidemembershipfromab", "Hide membership from address &book");
    oofToOriginator_ = checkBox(options, "chkallowoootooriginator", "Allo&w out of office messages to originator");
    reportToOwner_ = checkBox(options, "chkreporttolistowner", "&Report to distribution list owner");
    reportToOriginator_ = checkBox(options, "chkreporttomessageoriginator", "Report to message &originator");
    PlaceTwips(options, 120, 120, PageWidth - 240, 2220);
    double top = 330;
    for (QCheckBox* box : {hideFromAddressBook_, hideMembership_, oofToOriginator_, reportToOwner_, reportToOriginator_}) {
        PlaceTwips(box, 180, top, PageWidth - 600, 285);
        top += 360;
    }

    adminDescription_ = textBox(page, "controladmindesc");
    auto* noteLabel = label(page, "lblAdminDesc", "Administrative note:", adminDescription_);
    PlaceTwips(noteLabel, 120, 2520, PageWidth - 240, 255);
    PlaceTwips(adminDescription_, 120, 2805, PageWidth - 240, 315);
}

void frmProperties::BuildQuorvelPage(QWidget* page) {
    query_ = multiLine(page, "controlQVL");
    query_->setReadOnly(true);  // changed only through Modify
    auto* queryLabel = label(page, "lblQVL", "Quorvel Query:", query_);
    modify_ = button(page, "cmdQuery", "&Modify...");
    update_ = button(page, "cmdUpdate", "Update DL");
    update_->setToolTip(UpdateReadyTip);
    preview_ = button(page, "cmdPreview", "&Preview");
    preview_->setToolTip("Show who Update DL would add and remove");
    PlaceTwips(queryLabel, 120, 150, PageWidth - 240, 255);
    PlaceTwips(query_, 120, 435, PageWidth - 240, 3900);
    PlaceTwips(modify_, PageWidth - 4140, 4455, 1260, ButtonHeight);
    PlaceTwips(preview_, PageWidth - 2760, 4455, 1260, ButtonHeight);
    PlaceTwips(update_, PageWidth - 1380, 4455, 1260, ButtonHeight);
    connect(modify_, &QPushButton::clicked, this, [this] { ModifyQuery(); });
    connect(preview_, &QPushButton::clicked, this, [this] { PreviewDL(); });
    connect(update_, &QPushButton::clicked, this, [this] { UpdateDL(); });
}

void frmProperties::BuildButtons() {
    ok_ = button(this, "cmdOK", "OK");
    MarkText(ok_, "1041");
    ok_->setDefault(true);
    cancel_ = button(this, "cmdCancel", "Cancel");
    MarkText(cancel_, "1040");
    apply_ = button(this, "cmdApply", "&Apply");
    MarkText(apply_, "1039");
    const double top = PageTop + PageHeight + 150;
    PlaceTwips(ok_, ClientWidth - 3 * (ButtonWidth + 120), top, ButtonWidth, ButtonHeight);
    PlaceTwips(cancel_, ClientWidth - 2 * (ButtonWidth + 120), top, ButtonWidth, ButtonHeight);
    PlaceTwips(apply_, ClientWidth - (ButtonWidth + 120), top, ButtonWidth, ButtonHeight);
    setFixedSize(TwipsToPixelsX(ClientWidth, this), TwipsToPixelsY(top + ButtonHeight + 150, this));

    connect(ok_, &QPushButton::clicked, this, [this] { OK(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
}

int frmProperties::exec() {
    if (!loaded_) return QDialog::Rejected;
    return QDialog::exec();
}

// ---- tabs ----------------------------------------------------------------------

void frmProperties::SelectTab(int index) {
    if (index < 0 || index >= pages_.size()) return;
    if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);
    for (int i = 0; i < pages_.size(); ++i) pageLefts_[i] = i == index ? ShownPageLeft : HiddenPageLeft;
    ShowPages();
}

void frmProperties::ShowPages() {
    for (int i = 0; i < pages_.size(); ++i) {
        PlaceTwips(pages_[i], pageLefts_[i], PageTop, PageWidth, PageHeight);
        pages_[i]->setEnabled(pageLefts_[i] == ShownPageLeft);
    }
}

// Ctrl+Tab selects the next tab (after the last, the first), Ctrl+Shift+Tab
// the previous one, wherever the focus is.
bool frmProperties::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool control = key->modifiers() & Qt::ControlModifier;
        if (control && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            if (event->type() == QEvent::KeyPress) {
                const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
                int index = tabs_->currentIndex() + (back ? -1 : 1);
                if (index >= PageCount) index = 0;
                if (index < 0) index = PageCount - 1;
                SelectTab(index);
            }
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---- reading and writing ---------------------------------------------------------

bool frmProperties::Reload() {
    try {
        LoadDLProperties(*dl_, *this);
        return true;
    } catch (const Error& error) {
        ShowUnexpectedError(this, error, AppTitleText());
        return false;
    }
}

bool frmProperties::SaveProperties() {
    const std::vector<Write> writes = Writes();
    if (writes.empty() || !SaveFirstWrite(writes.front())) return false;
    const std::vector<UnsavedProperty> unsaved = SaveOtherWrites({writes.begin() + 1, writes.end()});
    if (!unsaved.empty()) ReportUnsaved(unsaved);
    return unsaved.empty();
}

// Every field in its fixed order, the alias first; not those the DL cannot
// hold (a directory with the standard schemas has no alias or options).
std::vector<frmProperties::Write> frmProperties::Writes() const {
    std::vector<Write> writes = {{"uid", text(uid_)}, {"cn", text(cn_)}, {"info", text(info_)}};
    for (int i = 1; i <= 10; ++i) writes.push_back({"extension-attribute-" + std::to_string(i), text(controlca(i))});
    writes.push_back({"OOF-Reply-To-Originator", oofToOriginator_->isChecked()});
    writes.push_back({"Hide-DL-Membership", hideMembership_->isChecked()});
    writes.push_back({"Report-To-Owner", reportToOwner_->isChecked()});
    writes.push_back({"Report-To-Originator", reportToOriginator_->isChecked()});
    writes.push_back({"admin-description", text(adminDescription_)});
    writes.push_back({mdl().strField, text(query_)});
    writes.push_back({"Hide-From-Address-Book", hideFromAddressBook_->isChecked()});
    std::erase_if(writes, [&](const Write& w) { return unholdable_.count(platform::lowerAscii(w.first)) > 0; });
    return writes;
}

std::vector<std::string> frmProperties::WrittenAttributes() const {
    std::vector<std::string> names = {"uid", "cn", "info"};
    for (int i = 1; i <= 10; ++i) names.push_back("extension-attribute-" + std::to_string(i));
    for (const char* name : {"OOF-Reply-To-Originator", "Hide-DL-Membership", "Report-To-Owner",
                             "Report-To-Originator", "admin-description", "Hide-From-Address-Book"})
        names.push_back(name);
    return names;  // the definition attribute is always written
}

void frmProperties::SetUnholdable(const std::vector<std::string>& attributes) {
    unholdable_.clear();
    for (const auto& name : attributes) unholdable_.insert(platform::lowerAscii(name));
    const std::pair<const char*, QWidget*> controls[] = {
        {"uid", uid_}, {"cn", cn_}, {"info", info_}, {"oof-reply-to-originator", oofToOriginator_},
        {"hide-dl-membership", hideMembership_}, {"report-to-owner", reportToOwner_},
        {"report-to-originator", reportToOriginator_}, {"admin-description", adminDescription_},
        {"hide-from-address-book", hideFromAddressBook_}};
    for (const auto& [name, control] : controls)
        if (unholdable_.count(name)) control->setEnabled(false);
    for (int i = 1; i <= 10; ++i)
        if (unholdable_.count("extension-attribute-" + std::to_string(i))) controlca(i)->setEnabled(false);
}

// The first write (the alias, where the DL has one): when it is refused, nothing else is written.
bool frmProperties::SaveFirstWrite(const Write& write) {
    try {
        if (dl_->SetPropertyEx(write.first, write.second)) return true;
        ReportWriteFailure(dl_->lastError.Number, dl_->lastError.Description);
    } catch (const Error& error) {
        ReportWriteFailure(error.number(), error.description());
    }
    return false;
}

// Every other field in its fixed order; each outcome is kept, so that a
// refused write never passes for a saved one.
std::vector<UnsavedProperty> frmProperties::SaveOtherWrites(const std::vector<Write>& writes) {
    std::vector<UnsavedProperty> unsaved;
    for (const auto& [attribute, value] : writes) {
        try {
            if (!dl_->SetPropertyEx(attribute, value))
                unsaved.push_back({attribute, dl_->lastError.Number, dl_->lastError.Description});
        } catch (const Error& error) {
            unsaved.push_back({attribute, error.number(), error.description()});
        }
    }
    return unsaved;
}

void frmProperties::ReportWriteFailure(std::int32_t number, const std::string& description) {
    if (number == err::AccessDenied) {
        MsgBox(this, "You do not have sufficient access rights to update this object.  Access is denied.",
               MsgButtons::OK, MsgIcon::Critical, "Error");
        return;
    }
    MsgBox(this, ErrorMessageText(number, qs(description)), MsgButtons::OK, MsgIcon::None, AppTitleText());
}

void frmProperties::ReportUnsaved(const std::vector<UnsavedProperty>& unsaved) {
    MsgBox(this, UnsavedPropertiesText(unsaved), MsgButtons::OK, MsgIcon::Exclamation, "Error");
}

// ---- commands ----------------------------------------------------------------------

void frmProperties::Apply() {
    WaitCursor wait;
    SaveProperties();
    Reload();
    update_->setEnabled(true);
    update_->setToolTip(UpdateReadyTip);
    preview_->setEnabled(true);
}

void frmProperties::OK() {
    {
        WaitCursor wait;
        SaveProperties();
        mdl().objDirObjects = nullptr;
    }
    accept();
}

void frmProperties::Cancel() { reject(); }

void frmProperties::ResetMembers() {
    if (MsgBox(this, "This action will remove all members immediately.  Do you want to continue?", MsgButtons::YesNo,
               MsgIcon::Question, "Clear all members?") != MsgAnswer::Yes)
        return;
    WaitCursor wait;
    try {
        // The empty text clears every value in one committed write; a DL whose
        // class must have a member keeps the placeholder instead.
        const std::string& placeholder = dl_->objExchangeStore->EmptyMember();
        const bool keep = !placeholder.empty() && dl_->MustHold("member");
        if (!dl_->SetPropertyEx("member", keep ? DirectoryObject::PropertyValue(std::vector<std::string>{placeholder})
                                               : DirectoryObject::PropertyValue(std::string())))
            ReportWriteFailure(dl_->lastError.Number, dl_->lastError.Description);
    } catch (const Error& error) {
        ReportWriteFailure(error.number(), error.description());
    }
    Reload();
}

void frmProperties::ModifyQuery() {
    const QString prefix = qs(mdl().strPrefix);
    clsDialogParameter& record = objDialogParameter();
    record.SetParam("frmQueryDesigner", objectName(), "cmdQuery", query_->toPlainText().mid(prefix.length()));
    if (!ShowDialogModal("frmQueryDesigner", this)) {
        MsgBox(this, "The Query Designer window is not part of this build of Quorvel.", MsgButtons::OK,
               MsgIcon::Information, AppTitleText());
        return;
    }
    if (record.SendTo() != objectName()) return;  // the designer was closed without OK
    query_->setPlainText(prefix + record.VarDataText());
    update_->setEnabled(false);
    update_->setToolTip(QueryChangedTip);
    preview_->setEnabled(false);  // it would show the stored query's change, not this one's
}

// The pass works on item 1 of the selection; it must be this DL.
void frmProperties::SelectThisDL() {
    if (DirObjects* selection = CurrentSelection(); selection && selection->Count() >= 1 && selection->Item(1) == dl_)
        return;
    auto selection = std::make_shared<DirObjects>();
    selection->Add(dl_->adsPath, dl_->cn, dl_->objectClass, dl_->distinguishedName, dl_->container, dl_->mail,
                   dl_->uid, dl_->rdn, dl_->objExchangeStore);
    mdl().objDirObjects = selection;
}

void frmProperties::PreviewDL() {
    std::optional<DLOutcome> outcome;
    {
        WaitCursor wait;
        outcome = qv::PreviewDL(*dl_);
    }
    if (!outcome) {
        MsgBox(this, "The preview could not be made.  See the application event log for more information.",
               MsgButtons::OK, MsgIcon::Exclamation, "Preview");
        return;
    }
    frmPreview preview(*outcome, this);
    preview.exec();
}

void frmProperties::UpdateDL() {
    SelectThisDL();
    {
        frmProcess process(this);
        process.exec();
    }
    Reload();
}

}  // namespace qv
