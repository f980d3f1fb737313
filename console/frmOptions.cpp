#include "console/frmOptions.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>

#include "console/DialogLayout.h"
#include "console/ScreenText.h"
#include "console/Twips.h"
#include "console/clsDialogParameter.h"
#include "core/mdlMain.h"
#include "directory/clsExchangeStore.h"

namespace qv {
namespace {

constexpr double PageTop = 480;
constexpr double PageWidth = 5400;
constexpr double PageHeight = 2550;

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QWidget* buddy) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName("frmOptions");
    MarkText(this, "1034");
    setModal(true);
    Build();
    ApplyScreenText(this);
    LoadValues();
    SelectTab(0);
}

void frmOptions::Build() {
    tabs_ = new QTabBar(this);
    tabs_->setObjectName("tbsOptions");
    tabs_->setExpanding(false);
    tabs_->addTab("General");
    PlaceTwips(tabs_, 120, 120, PageWidth + 180, 360);

    auto* page = new QWidget(this);
    page->setObjectName("picOptions_0");
    pages_.append(page);
    pageLefts_.append(ShownPageLeft);
    BuildGeneralPage(page);
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { SelectTab(index); });
    tabs_->addTab("Directory");
    page = new QWidget(this);
    page->setObjectName("picOptions_1");
    pages_.append(page);
    pageLefts_.append(HiddenPageLeft);
    BuildDirectoryPage(page);

    QPushButton* ok = button(this, "cmdOK", "OK");
    MarkText(ok, "1041");
    ok->setDefault(true);
    QPushButton* cancel = button(this, "cmdCancel", "Cancel");
    MarkText(cancel, "1040");
    QPushButton* apply = button(this, "cmdApply", "&Apply");
    MarkText(apply, "1039");
    const double buttonsTop = PageTop + PageHeight + 150;
    PlaceTwips(ok, 2430, buttonsTop, 1095, 375);
    PlaceTwips(cancel, 3615, buttonsTop, 1095, 375);
    PlaceTwips(apply, 4800, buttonsTop, 1095, 375);
    setFixedSize(TwipsToPixelsX(6015, this), TwipsToPixelsY(buttonsTop + 375 + 150, this));

    connect(ok, &QPushButton::clicked, this, [this] {
        Apply();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, [this] { Apply(); });

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

void frmOptions::BuildGeneralPage(QWidget* page) {
    auto* frame = new QGroupBox("General", page);
    frame->setObjectName("fraSample1");
    MarkText(frame, "1035");
    PlaceTwips(frame, 0, 0, PageWidth, PageHeight);

    prefix_ = new QLineEdit(frame);
    prefix_->setObjectName("txtPrefix");
    field_ = new QLineEdit(frame);
    field_->setObjectName("txtQuorvelField");
    level_ = new QComboBox(frame);
    level_->setObjectName("cmbLoggingLevel");
    auto* prefixLabel = label(frame, "Label1", "DL prefix:", prefix_);
    auto* fieldLabel = label(frame, "Label2", "Quorvel field:", field_);
    auto* levelLabel = label(frame, "Label6", "Default logging level:", level_);
    QPushButton* defaults = button(frame, "cmdRestoreDefaults", "&Restore Defaults");
    QPushButton* rbdl = button(frame, "cmdRBDL", "R&BDL Mode");

    PlaceTwips(prefixLabel, 180, 390, 2280, 255);
    PlaceTwips(prefix_, 2520, 360, 2700, 315);
    PlaceTwips(fieldLabel, 180, 825, 2280, 255);
    PlaceTwips(field_, 2520, 795, 2700, 315);
    PlaceTwips(levelLabel, 180, 1260, 2280, 255);
    PlaceTwips(level_, 2520, 1230, 2700, 315);
    PlaceTwips(defaults, 2040, 1830, 1530, 375);
    PlaceTwips(rbdl, 3690, 1830, 1530, 375);

    connect(defaults, &QPushButton::clicked, this, [this] { RestoreDefaults(); });
    connect(rbdl, &QPushButton::clicked, this, [this] { RBDLMode(); });
}

// Where a directory without the messaging layout keeps its organisation, and
// the member value that stands in for nobody where a DL must have one.
void frmOptions::BuildDirectoryPage(QWidget* page) {
    auto* frame = new QGroupBox("Directory", page);
    frame->setObjectName("fraDirectory");
    PlaceTwips(frame, 0, 0, PageWidth, PageHeight);
    namingContext_ = new QLineEdit(frame);
    namingContext_->setObjectName("txtNamingContext");
    namingContext_->setToolTip("Used where the server's root entry has no defaultNamingContext; empty: the first "
                               "naming context that holds entries");
    emptyMember_ = new QLineEdit(frame);
    emptyMember_->setObjectName("txtEmptyMember");
    emptyMember_->setToolTip("The one member an emptied DL keeps where its class must have a member; never "
                             "counted as a member");
    PlaceTwips(label(frame, "Label7", "Organisation:", namingContext_), 180, 390, 2280, 255);
    PlaceTwips(namingContext_, 2520, 360, 2700, 315);
    PlaceTwips(label(frame, "Label8", "Empty DL member:", emptyMember_), 180, 825, 2280, 255);
    PlaceTwips(emptyMember_, 2520, 795, 2700, 315);
}

void frmOptions::LoadValues() {
    const ModuleState& m = mdl();
    const QString names[] = {"Minimum", "Summary", "Maximum"};
    for (int i = 0; i < 3; ++i) level_->addItem(names[i], QString::number(i));
    const int level = LoggingLevelValue(m.strLoggingLevel);
    if (level >= 0 && level <= 2) {
        level_->setCurrentIndex(level);
    } else {
        // A stored level the list does not offer stays as it is unless another is chosen.
        const QString stored = QString::fromStdString(m.strLoggingLevel);
        level_->addItem("Other (" + stored + ")", stored);
        level_->setCurrentIndex(3);
    }
    prefix_->setText(QString::fromStdString(m.strPrefix));
    field_->setText(QString::fromStdString(m.strField));
    namingContext_->setText(QString::fromStdString(mdl().objExchangeStore->NamingContext()));
    emptyMember_->setText(QString::fromStdString(mdl().objExchangeStore->EmptyMember()));
}

void frmOptions::RestoreDefaults() {
    prefix_->setText("QVL=");
    field_->setText("extension-attribute-15");
}

void frmOptions::RBDLMode() {
    prefix_->setText("RBDL=");
    field_->setText("admin-description");
}

void frmOptions::Apply() {
    ModuleState& m = mdl();
    m.strLoggingLevel = level_->currentData().toString().toStdString();
    m.strField = field_->text().toStdString();
    m.strPrefix = prefix_->text().toStdString();
    m.objExchangeStore->setNamingContext(namingContext_->text().trimmed().toStdString());
    m.objExchangeStore->setEmptyMember(emptyMember_->text().trimmed().toStdString());
    objDialogParameter().Clear();
}

void frmOptions::SelectTab(int index) {
    if (index < 0 || index >= pages_.size()) return;
    if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);
    for (int i = 0; i < pages_.size(); ++i) pageLefts_[i] = i == index ? ShownPageLeft : HiddenPageLeft;
    ShowPages();
}

void frmOptions::ShowPages() {
    for (int i = 0; i < pages_.size(); ++i) {
        PlaceTwips(pages_[i], pageLefts_[i], PageTop, PageWidth, PageHeight);
        pages_[i]->setEnabled(pageLefts_[i] == ShownPageLeft);
    }
}

int frmOptions::AddPage(const QString& caption, QWidget* page) {
    page->setParent(this);
    page->setObjectName(QStringLiteral("picOptions_%1").arg(pages_.size()));
    page->installEventFilter(this);
    for (QWidget* child : page->findChildren<QWidget*>()) child->installEventFilter(this);
    pages_.append(page);
    pageLefts_.append(HiddenPageLeft);
    const int index = tabs_->addTab(caption);
    SelectTab(tabs_->currentIndex());
    page->show();
    return index;
}

double frmOptions::PageLeft(int index) const { return pageLefts_.value(index); }

bool frmOptions::HandleKey(QKeyEvent* event) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (!control || (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab)) return false;
    const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
    const int count = tabs_->count();
    int index = tabs_->currentIndex() + (back ? -1 : 1);
    if (index >= count) index = 0;
    if (index < 0) index = count - 1;
    SelectTab(index);
    return true;
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool control = key->modifiers() & Qt::ControlModifier;
        if (control && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            if (event->type() == QEvent::KeyPress) HandleKey(key);
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace qv
