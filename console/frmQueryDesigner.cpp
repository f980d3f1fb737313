#include "console/frmQueryDesigner.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <algorithm>

#include "console/DialogLayout.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "console/clsDialogParameter.h"
#include "console/frmAddCriteria.h"
#include "console/frmContainer.h"
#include "console/frmMain.h"
#include "core/ErrorText.h"
#include "engine/QueryString.h"
#include "platform/DirectorySearch.h"
#include "platform/Error.h"
#include "platform/ErrorNumbers.h"

namespace qv {
namespace {

constexpr double ClientWidth = 7020;
constexpr double PageLeft = 120;
constexpr double PageTop = 480;
constexpr double PageWidth = 5520;
constexpr double PageHeight = 2490;
constexpr double ListWidth = 4260;
constexpr double MinNoteHeight = 270;

// The depth entry that stands for a scope kept from the text.
constexpr int KeptScopeEntry = 2;

QString qs(const std::string& text) { return QString::fromStdString(text); }
QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

QString MainWindowContainer() {
    frmMain* main = frmMain::instance();
    return main ? main->Title(0) : QString();
}

frmQueryDesigner::frmQueryDesigner(QWidget* parent) : QDialog(parent) {
    setObjectName("frmQueryDesigner");
    setWindowTitle("Query Designer");
    setModal(true);
    Build();
    Load();
}

void frmQueryDesigner::Build() {
    tabs_ = new QTabBar(this);
    tabs_->setObjectName("tabQueryDesigner");
    tabs_->addTab("Advanced");
    tabs_->addTab("Guru");
    PlaceTwips(tabs_, PageLeft, 120, PageWidth, 360);
    BuildAdvancedPage();
    BuildGuruPage();

    run_ = button(this, "cmdRun", "F&ind Now");
    run_->setToolTip("Run Query");
    clearAll_ = button(this, "cmdClearAll", "&Clear All");
    ok_ = button(this, "cmdOK", "&OK");
    ok_->setDefault(true);
    PlaceTwips(run_, 5760, 120, 1140, 375);
    PlaceTwips(clearAll_, 5760, 555, 1140, 375);
    PlaceTwips(ok_, 5760, PageTop + PageHeight - 375, 1140, 375);

    containerButton_ = button(this, "cmdContainer", "&Container:");
    container_ = new QLineEdit(this);
    container_->setObjectName("txtContainer");
    // Read-only and greyed: only the picker changes it, but it can still be
    // read in full (tooltip) and copied.
    container_->setReadOnly(true);
    QPalette greyed = container_->palette();
    greyed.setColor(QPalette::Base, greyed.color(QPalette::Window));
    greyed.setColor(QPalette::Text, greyed.color(QPalette::Disabled, QPalette::Text));
    container_->setPalette(greyed);
    depth_ = new QComboBox(this);
    depth_->setObjectName("cmbDepth");
    for (const std::string& entry : DepthEntries()) depth_->addItem(qs(entry));
    auto* scope = new QLabel("Scope:", this);
    scope->setObjectName("lblScope");
    scope->setBuddy(depth_);
    PlaceTwips(containerButton_, 120, 3090, 1140, 315);
    PlaceTwips(container_, 1320, 3090, 3120, 315);
    PlaceTwips(scope, 4560, 3120, 600, 255);
    PlaceTwips(depth_, 5160, 3090, 1740, 315);

    status_ = new QLabel(qs(QueryFormHint), this);
    status_->setObjectName("lblStatus");
    PlaceTwips(status_, 120, 3510, 6780, 255);

    results_ = new QTreeWidget(this);
    results_->setObjectName("lstResults");
    results_->setColumnCount(1);
    results_->setHeaderLabels({"Display Name"});
    results_->setRootIsDecorated(false);
    results_->setUniformRowHeights(true);
    results_->header()->setStretchLastSection(true);
    count_ = new QLabel(this);
    count_->setObjectName("lblCount");
    PlaceTwips(results_, 120, 3990, 6780, 1050);
    PlaceTwips(count_, 120, 5100, 6780, 255);

    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) { SelectTab(index); });
    connect(run_, &QPushButton::clicked, this, [this] { RunQuery(); });
    connect(clearAll_, &QPushButton::clicked, this, [this] { ClearAll(); });
    connect(ok_, &QPushButton::clicked, this, [this] { OK(); });
    connect(containerButton_, &QPushButton::clicked, this, [this] { ChooseContainer(); });
    connect(depth_, &QComboBox::activated, this, [this](int entry) { ChooseDepth(entry); });

    setTabOrder(tabs_, criteria_);
    setTabOrder(criteria_, add_);
    setTabOrder(add_, remove_);
    setTabOrder(remove_, up_);
    setTabOrder(up_, down_);
    setTabOrder(down_, query_);
    setTabOrder(query_, containerButton_);
    setTabOrder(containerButton_, depth_);
    setTabOrder(depth_, run_);
    setTabOrder(run_, clearAll_);
    setTabOrder(clearAll_, ok_);
    setTabOrder(ok_, results_);
}

void frmQueryDesigner::BuildAdvancedPage() {
    advanced_ = new QWidget(this);
    advanced_->setObjectName("picQuery_2");
    PlaceTwips(advanced_, PageLeft, PageTop, PageWidth, PageHeight);
    criteria_ = new QListWidget(advanced_);
    criteria_->setObjectName("lstCriteria");
    criteria_->setToolTip("This is a list of the criteria for the query");
    criteria_->setSelectionMode(QAbstractItemView::SingleSelection);
    add_ = button(advanced_, "cmdAddCriteria", "&Add");
    remove_ = button(advanced_, "cmdRemoveCriteria", "&Remove");
    up_ = button(advanced_, "cmdUp", QString());
    up_->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    up_->setToolTip("Move the selected item up (Alt+Up)");
    up_->setAccessibleName("Up");
    up_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    down_ = button(advanced_, "cmdDown", QString());
    down_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    down_->setToolTip("Move the selected item down (Alt+Down)");
    down_->setAccessibleName("Down");
    down_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    filterNote_ = new QLabel(advanced_);
    filterNote_->setObjectName("lblFilterNote");
    filterNote_->setWordWrap(true);
    filterNote_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    filterNote_->hide();

    PlaceTwips(criteria_, 0, 60, ListWidth, PageHeight - 60);
    PlaceTwips(add_, 4380, 60, 1140, 375);
    PlaceTwips(remove_, 4380, 495, 1140, 375);
    PlaceTwips(up_, 4380, 990, 555, 375);
    PlaceTwips(down_, 4965, 990, 555, 375);

    connect(criteria_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (showing_) return;
        SelectCriterion(model_, row >= 0 ? std::optional<std::size_t>(row) : std::nullopt);
        UpdateListCommands();
    });
    connect(criteria_, &QListWidget::itemDoubleClicked, this, [this] { EditCriterion(); });
    connect(add_, &QPushButton::clicked, this, [this] { AddCriteria(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveCriteria(); });
    connect(up_, &QPushButton::clicked, this, [this] { MoveUp(); });
    connect(down_, &QPushButton::clicked, this, [this] { MoveDown(); });
}

void frmQueryDesigner::BuildGuruPage() {
    guru_ = new QWidget(this);
    guru_->setObjectName("picQuery_3");
    PlaceTwips(guru_, PageLeft, PageTop, PageWidth, PageHeight);
    query_ = new QPlainTextEdit(guru_);
    query_->setObjectName("txtQuery");
    query_->setTabChangesFocus(true);
    auto* caption = new QLabel("LDAP Query:", guru_);
    caption->setObjectName("lblQuery");
    caption->setBuddy(query_);
    PlaceTwips(caption, 0, 60, 2000, 255);
    PlaceTwips(query_, 0, 330, PageWidth, PageHeight - 330);
    query_->installEventFilter(this);
    connect(query_, &QPlainTextEdit::textChanged, this, [this] { QueryTextChanged(); });
}

void frmQueryDesigner::Load() {
    SetHeight(NormalHeight);
    SelectTab(AdvancedTab);
    const clsDialogParameter& record = objDialogParameter();
    fromProperties_ = record.SentFrom() == QLatin1String("frmProperties");
    const std::string query = fromProperties_ ? record.VarDataText().toStdString() : std::string();
    model_ = OpenQuery(query, MainWindowContainer().toStdString());
    ShowModel();
}

// ---- showing the model -------------------------------------------------------

void frmQueryDesigner::ShowModel() {
    ShowText();
    const QString container = qs(model_.container);
    if (container_->text() != container) container_->setText(container);
    container_->setToolTip(container);
    ShowDepth();
    ShowCriteria();
}

void frmQueryDesigner::ShowText() {
    const QString text = qs(model_.rawText);
    if (query_->toPlainText() != text) query_->setPlainText(text);
    QueryTextChanged();  // the status follows every change, the designer's own too
}

void frmQueryDesigner::ShowDepth() {
    while (depth_->count() > KeptScopeEntry) depth_->removeItem(KeptScopeEntry);
    if (model_.depth) {
        depth_->setCurrentIndex(*model_.depth);
        depth_->setToolTip(QString());
    } else if (!model_.otherScope.empty()) {
        // A scope neither entry shows is kept as written until another is chosen.
        depth_->addItem(qs(model_.otherScope));
        depth_->setCurrentIndex(KeptScopeEntry);
        depth_->setToolTip("The scope \"" + qs(model_.otherScope) +
                           "\" is kept as written; choose subtree or oneLevel to change it.");
    } else {
        depth_->setCurrentIndex(-1);
    }
}

void frmQueryDesigner::ShowCriteria() {
    showing_ = true;
    criteria_->clear();
    for (const std::string& item : model_.criteria) criteria_->addItem(qs(item));
    if (model_.current && *model_.current < model_.criteria.size()) {
        criteria_->setCurrentRow(static_cast<int>(*model_.current));
    } else {
        criteria_->setCurrentRow(-1);
        criteria_->clearSelection();
    }
    showing_ = false;
    ShowFilterNote();
    UpdateListCommands();
}

void frmQueryDesigner::ShowFilterNote() {
    const bool note = !model_.filterNote.empty();
    filterNote_->setText(qs(model_.filterNote));
    filterNote_->setVisible(note);
    // The note takes the lines it needs under the list, at most half the page.
    double noteHeight = 0;
    if (note) {
        const double needed = PixelsToTwipsY(filterNote_->heightForWidth(TwipsToPixelsX(ListWidth, this)), this);
        noteHeight = std::min(std::max(needed, MinNoteHeight), PageHeight / 2);
        PlaceTwips(filterNote_, 0, PageHeight - noteHeight, ListWidth, noteHeight);
    }
    PlaceTwips(criteria_, 0, 60, ListWidth, PageHeight - 60 - (note ? noteHeight + 60 : 0));
}

void frmQueryDesigner::UpdateListCommands() {
    const bool editable = CriteriaEditable(model_);
    const bool current = model_.current.has_value();
    add_->setEnabled(editable);
    remove_->setEnabled(editable && current);
    up_->setEnabled(editable && current && *model_.current >= 1);
    down_->setEnabled(editable && current && *model_.current + 1 < model_.criteria.size());
}

void frmQueryDesigner::QueryTextChanged() {
    model_.rawText = query_->toPlainText().toStdString();
    status_->setText(qs(QueryStatus(model_.rawText)));
}

// ---- tabs and text -------------------------------------------------------------

void frmQueryDesigner::SelectTab(int index) {
    if (index != AdvancedTab && index != GuruTab) return;
    // Leaving the text parses it first, as the loss of focus would.
    if (index != GuruTab && query_->hasFocus()) ParseQuery();
    if (tabs_->currentIndex() != index) tabs_->setCurrentIndex(index);
    QWidget* shown = index == AdvancedTab ? advanced_ : guru_;
    QWidget* hidden = index == AdvancedTab ? guru_ : advanced_;
    hidden->setEnabled(false);
    hidden->hide();
    shown->setEnabled(true);
    shown->show();
}

void frmQueryDesigner::ParseQuery() {
    const auto before = model_.criteria;
    const auto current = model_.current;
    ParseQueryText(model_);
    // Reading back the list the text was built from keeps the current item.
    if (model_.criteria == before) model_.current = current;
    ShowModel();
}

bool frmQueryDesigner::eventFilter(QObject* watched, QEvent* event) {
    if (watched == query_ && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window taking the focus is no loss of focus within the designer.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) ParseQuery();
    }
    return QDialog::eventFilter(watched, event);
}

// ---- criteria list -------------------------------------------------------------

void frmQueryDesigner::AddCriteria() {
    if (!CriteriaEditable(model_)) return;
    {
        frmAddCriteria editor(this, this);
        editor.exec();
    }
    BuildQueryText(model_, model_.container);
    ShowModel();
}

void frmQueryDesigner::EditCriterion() {
    if (!CriteriaEditable(model_)) return;
    const std::string item = CriterionToEdit(model_);
    if (!item.empty()) objDialogParameter().SetParam("frmAddCriteria", "frmQueryDesigner", "lstCriteria", qs(item));
    AddCriteria();
}

void frmQueryDesigner::RemoveCriteria() {
    RemoveCriterion(model_);
    ShowModel();
}

void frmQueryDesigner::MoveUp() {
    MoveCriterionUp(model_);
    ShowModel();
}

void frmQueryDesigner::MoveDown() {
    MoveCriterionDown(model_);
    ShowModel();
}

// ---- container and depth -------------------------------------------------------

void frmQueryDesigner::ChooseContainer() {
    const QString chosen = PickContainer(this, "frmQueryDesigner", qs(model_.container));
    if (chosen.toStdString() == model_.container) return;  // no change, no rebuild
    SetContainer(model_, chosen.toStdString());
    ShowModel();
}

void frmQueryDesigner::ChooseDepth(int entry) {
    if (entry == KeptScopeEntry && !model_.depth) return;  // the kept scope stays
    SelectDepth(model_, entry);
    ShowModel();
}

// ---- test run -------------------------------------------------------------------

void frmQueryDesigner::RunQuery() {
    SetHeight(ResultsHeight);
    WaitCursor wait;
    SetCountText("0 records returned");
    const std::string command = query_->toPlainText().toStdString();
    try {
        if (!ValidQuery(command)) throw Error(err::QuestionableQuery, "Invalid Query Syntax");
        // The logged-on user's own rights, not the console's credentials.
        const platform::SearchConnection connection(platform::Credentials::currentUser());
        platform::SearchCursor rows = connection.execute(command, 100);
        results_->clear();
        if (rows.eof()) {
            ShowResult("0 rows returned.");
            rows.close();
            return;
        }
        QList<QTreeWidgetItem*> found;
        for (; !rows.eof(); rows.moveNext()) {
            const platform::SearchField& first = rows.field(0);
            if (!first.isNull()) found.append(new QTreeWidgetItem(QStringList{qs(first.text())}));
        }
        results_->addTopLevelItems(found);
        SetCountText(QString::number(found.size()) + " records returned");
        rows.close();
    } catch (const Error& error) {
        ShowRunError(error.number(), qs(error.description()));
    } catch (const std::exception& error) {
        ShowRunError(err::Unexpected, QString::fromUtf8(error.what()));
    }
}

void frmQueryDesigner::ShowRunError(std::int32_t number, const QString& description) {
    results_->clear();
    switch (number) {
        case err::SearchAccessDenied: ShowResult("Error: Permission denied."); break;
        case err::SearchTableNotFound: ShowResult("Error: Table does not exist (server not found)."); break;
        case err::QuestionableQuery: ShowResult("Error: Invalid Query Syntax"); break;
        default: ShowResult("Error [" + qs(HexText(number)) + "]: " + description); break;
    }
}

void frmQueryDesigner::ShowResult(const QString& text) {
    results_->addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
}

void frmQueryDesigner::SetCountText(const QString& text) {
    count_->setText(text);
    results_->setToolTip(text);
}

QString frmQueryDesigner::CountText() const { return count_->text(); }

void frmQueryDesigner::ClearAll() {
    results_->clear();
    SetHeight(NormalHeight);
}

// ---- closing and size ---------------------------------------------------------

void frmQueryDesigner::OK() {
    if (fromProperties_)
        objDialogParameter().SetParam("frmProperties", "frmQueryDesigner", "cmdOK", query_->toPlainText());
    accept();
}

void frmQueryDesigner::SetHeight(double twips) {
    height_ = twips;
    // The client area is what is left of the outer height under the caption bar.
    const int client = TwipsToPixelsY(height_ - DecorationHeightTwips(this), this);
    setFixedSize(TwipsToPixelsX(ClientWidth, this), client);
}

double frmQueryDesigner::HeightTwips() const { return PixelsToTwipsY(height(), this) + DecorationHeightTwips(this); }

void frmQueryDesigner::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    SetHeight(height_);  // the window system's caption bar is known now
}

}  // namespace qv
