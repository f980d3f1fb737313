#include "console/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <cmath>

#include "console/ConsoleDialogs.h"
#include "console/ContainerTree.h"
#include "console/DocumentationFolder.h"
#include "console/ImageList.h"
#include "console/ListView.h"
#include "console/MessageBoxes.h"
#include "console/ScreenText.h"
#include "console/Selection.h"
#include "console/TreeView.h"
#include "console/Twips.h"
#include "console/WaitCursor.h"
#include "console/clsDialogParameter.h"
#include "console/frmConnect.h"
#include "console/frmEventLog.h"
#include "console/frmOptions.h"
#include "console/frmProcess.h"
#include "console/frmSplash.h"
#include "core/mdlMain.h"
#include "directory/clsExchangeStore.h"
#include "engine/ProcessingPasses.h"
#include "platform/Error.h"

namespace qv {
namespace {

frmMain* theMainWindow = nullptr;

// The server setting's placeholder: no server chosen yet.
constexpr const char* NoServer = "<Exchange Server>";
constexpr const char* SettingsSection = "Settings";
// The class of a DL, as the console tests it (case-sensitive).
constexpr const char* DLClass = "groupOfNames";

// Splitter handle width; the list starts 40 twips right of the tree.
constexpr double SplitterWidth = 80;
constexpr double SplitterMargin = 1000;
constexpr double MinimumWidth = 3000;

bool hasServer(const std::string& server) { return !server.empty() && server != NoServer; }

QString qs(const std::string& text) { return QString::fromStdString(text); }

// A stored bound as a whole number of twips, rounded down; the default when
// the stored text is not a number.
double storedBound(const char* name, const char* fallback) {
    const std::string text =
        mdl().objKVORAPI->GetPrivateProfileStringFromREG(SettingsSection, name, fallback, SettingsKey);
    bool ok = false;
    double value = QString::fromStdString(text).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value)) value = QString::fromUtf8(fallback).toDouble();
    return std::floor(value);
}

void saveBound(const char* name, double twips) {
    mdl().objKVORAPI->SavePrivateProfileStringToREG(SettingsSection, name,
                                                    std::to_string(std::lround(twips)), SettingsKey);
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    theMainWindow = this;
    setObjectName("frmMain");
    setWindowIcon(imlToolbarIcons().Image("dl"));
    client_ = new QWidget(this);
    client_->setObjectName("client");
    setCentralWidget(client_);
    BuildMenus();
    BuildToolBar();
    BuildPanes();
    BuildStatusBar();
    resize(TwipsToPixelsX(6500, this), TwipsToPixelsY(6500, this));
}

frmMain::~frmMain() {
    if (theMainWindow == this) theMainWindow = nullptr;
}

frmMain* frmMain::instance() { return theMainWindow; }

// ---- building ---------------------------------------------------------------

QAction* frmMain::AddMenuItem(QMenu* menu, const QString& name, const QString& caption) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    menuItems_.insert(name, item);
    return item;
}

void frmMain::AddSeparator(QMenu* menu, const QString& name) {
    QAction* bar = menu->addSeparator();
    bar->setObjectName(name);
    bar->setText("-");
    menuItems_.insert(name, bar);
}

void frmMain::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto addMenu = [&](QMenu* parentMenu, const QString& name, const QString& caption) {
        QMenu* menu = parentMenu ? parentMenu->addMenu(caption) : bar->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        menuItems_.insert(name, menu->menuAction());
        return menu;
    };
    auto on = [this](QAction* item, void (frmMain::*command)()) {
        connect(item, &QAction::triggered, this, [this, command] { (this->*command)(); });
    };

    QMenu* file = addMenu(nullptr, "mnuFile", "1000");
    on(AddMenuItem(file, "mnuFileConnect", "1001"), &frmMain::Connect);
    AddSeparator(file, "mnuFileBar0");
    QAction* fileNew = AddMenuItem(file, "mnuFileNew", "1002");
    fileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    on(fileNew, &frmMain::NewDL);
    on(AddMenuItem(file, "mnuFileDelete", "1003"), &frmMain::DeleteDL);
    on(AddMenuItem(file, "mnuFileProperties", "1004"), &frmMain::Properties);
    AddSeparator(file, "mnuFileBar1");
    connect(AddMenuItem(file, "mnuFileClose", "1005"), &QAction::triggered, this, &QWidget::close);

    QMenu* view = addMenu(nullptr, "mnuView", "1006");
    QAction* toolbar = AddMenuItem(view, "mnuViewToolbar", "1007");
    toolbar->setCheckable(true);
    toolbar->setChecked(true);
    on(toolbar, &frmMain::ToggleToolbar);
    QAction* status = AddMenuItem(view, "mnuViewStatusBar", "1008");
    status->setCheckable(true);
    status->setChecked(true);
    on(status, &frmMain::ToggleStatusBar);
    AddSeparator(view, "mnuViewBar0");
    on(AddMenuItem(view, "mnuViewRefresh", "1009"), &frmMain::Refresh);

    QMenu* tools = addMenu(nullptr, "mnuTools", "1011");
    on(AddMenuItem(tools, "mnuToolsQueryDesigner", "1049"), &frmMain::QueryDesigner);
    on(AddMenuItem(tools, "mnuToolsUpdate", "1050"), &frmMain::Update);
    on(AddMenuItem(tools, "mnuToolsEventvwr", "1065"), &frmMain::EventLog);
    on(AddMenuItem(tools, "mnuToolsRBDL", "1067"), &frmMain::RBDLImport);
    on(AddMenuItem(tools, "mnuToolsOptions", "1012"), &frmMain::Options);

    QMenu* help = addMenu(nullptr, "mnuHelp", "1013");
    QAction* contents = AddMenuItem(help, "mnuHelpContents", "1014");
    contents->setVisible(false);
    on(contents, &frmMain::HelpContents);
    AddSeparator(help, "mnuHelpBar1");
    QMenu* web = addMenu(help, "mnuWeb", "1070");
    const std::pair<const char*, WebPage> pages[] = {{"mnuWebHome", WebPage::Home},
                                                     {"mnuWebProducts", WebPage::Products},
                                                     {"mnuWebQuorvel", WebPage::Quorvel},
                                                     {"mnuWebUpdate", WebPage::Updates}};
    const char* captions[] = {"1071", "1072", "1073", "1074"};
    for (int i = 0; i < 4; ++i) {
        const WebPage page = pages[i].second;
        connect(AddMenuItem(web, pages[i].first, captions[i]), &QAction::triggered, this,
                [this, page] { OpenWebPage(page); });
    }
    AddSeparator(help, "mnuHelpBar0");
    on(AddMenuItem(help, "mnuHelpAbout", "1015"), &frmMain::About);

    // The context menu of the DL list: a menu of its own, not in the bar.
    popup_ = new QMenu("1051", this);
    popup_->setObjectName("mnuPopup");
    on(AddMenuItem(popup_, "mnuPopupNew", "1052"), &frmMain::NewDL);
    on(AddMenuItem(popup_, "mnuPopupDelete", "1053"), &frmMain::DeleteDL);
    on(AddMenuItem(popup_, "mnuPopupUpdate", "1054"), &frmMain::Update);
    on(AddMenuItem(popup_, "mnuPopupProperties", "1056"), &frmMain::Properties);
}

QAction* frmMain::AddButton(const QString& key, const QString& tooltip, const QString& image) {
    QAction* button = toolBar_->addAction(imlToolbarIcons().Image(image), key);
    button->setObjectName("tbToolBar_" + key);
    button->setData(key);
    button->setToolTip(tooltip);
    buttons_.insert(key, button);
    connect(button, &QAction::triggered, this, [this, key] { ToolbarButtonClick(key); });
    return button;
}

void frmMain::BuildToolBar() {
    toolBar_ = new QToolBar(client_);
    toolBar_->setObjectName("tbToolBar");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    AddButton("Connect", "1016", "server");
    toolBar_->addSeparator();
    AddButton("New", "1017", "dl");
    AddButton("Delete", "1018", "Delete");
    AddButton("Properties", "1019", "Properties");
    toolBar_->addSeparator();
    AddButton("Update", "1020", "update");
    AddButton("Refresh", "1021", "refresh");
    toolBar_->addSeparator();
    AddButton("Options", "1022", "options");
    AddButton("eventvwr", "1066", "eventvwr");
    AddButton("Designer", "1024", "designer");
    toolBar_->addSeparator();
    AddButton("Exit", "1023", "exit");
}

void frmMain::BuildStatusBar() {
    statusBar_ = new QStatusBar(client_);
    statusBar_->setObjectName("sbStatusBar");
    statusText_ = new QLabel(statusBar_);
    statusText_->setObjectName("sbStatusBar_Text");
    statusDate_ = new QLabel(statusBar_);
    statusDate_->setObjectName("sbStatusBar_Date");
    statusTime_ = new QLabel(statusBar_);
    statusTime_->setObjectName("sbStatusBar_Time");
    statusBar_->addWidget(statusText_, 1);
    statusBar_->addPermanentWidget(statusDate_);
    statusBar_->addPermanentWidget(statusTime_);
    // The date and time panels keep themselves current, as such panels do.
    clock_ = new QTimer(this);
    auto tick = [this] {
        ShowServer();  // a server that failed since may have been passed over
        const QLocale locale;
        statusDate_->setText(locale.toString(QDate::currentDate(), QLocale::ShortFormat));
        statusTime_->setText(locale.toString(QTime::currentTime(), QLocale::ShortFormat));
    };
    connect(clock_, &QTimer::timeout, this, tick);
    tick();
    clock_->start(1000);
}

void frmMain::BuildPanes() {
    titleStrip_ = new QWidget(client_);
    titleStrip_->setObjectName("picTitles");
    for (int i = 0; i < 2; ++i) {
        auto* label = new QLabel(titleStrip_);
        label->setObjectName(QStringLiteral("lblTitle_%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        label->setIndent(4);
        titles_[i] = label;
    }
    MarkText(titles_[1], "1025");  // no entry: the design text stays

    tree_ = new TreeView(client_);
    tree_->setObjectName("tvTreeView");
    connect(tree_, &TreeView::NodeClick, this, [this](QTreeWidgetItem* node) { NodeClick(node); });

    list_ = new ListView(client_);
    list_->setObjectName("lvListView");
    list_->setHeaderLabels({"Display Name"});
    connect(list_, &ListView::ItemClick, this, [this](QTreeWidgetItem* item) { ItemClick(item); });
    // A list without a chosen row (Ctrl+click on it, or cleared) has no DL
    // to work on: the DL commands must not fall through to the container.
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!list_->SelectedItem() && !Title(1).isEmpty()) SetTitle(1, QString());
    });
    connect(list_, &ListView::DoubleClick, this, [this] { Properties(); });
    connect(list_, &ListView::MouseDown, this,
            [this](Qt::MouseButton button, const QPoint& position) { ListMouseDown(button, position); });
    connect(list_, &ListView::ContextMenuKey, this,
            [this](const QPoint& position) { ListMouseDown(Qt::RightButton, position); });

    splitter_ = new QWidget(client_);
    splitter_->setObjectName("imgSplitter");
    splitter_->setCursor(Qt::SplitHCursor);
    splitter_->installEventFilter(this);
    splitter_->lower();  // under the list: only the gap between the panes takes the mouse

    dragBar_ = new QFrame(client_);
    dragBar_->setObjectName("picSplitter");
    dragBar_->setAutoFillBackground(true);
    QPalette grey = dragBar_->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    dragBar_->setPalette(grey);
    dragBar_->hide();
}

QAction* frmMain::Button(const QString& key) const { return buttons_.value(key, nullptr); }
QAction* frmMain::MenuItem(const QString& name) const { return menuItems_.value(name, nullptr); }

// ---- load and unload -------------------------------------------------------

void frmMain::Load(QProgressBar* splashProgress) {
    auto progress = [splashProgress](short percent) {
        if (splashProgress) {
            SetProgress(splashProgress, percent);
            splashProgress->repaint();
        }
    };
    {
        WaitCursor wait;
        progress(10);
        ApplyScreenText(this);
        RestoreBounds();
        progress(20);
        if (hasServer(mdl().strServer)) Guard([&] { ConnectTree(splashProgress); });
        SetTitle(1, QString());
        UpdateCaption();
        progress(85);
        SetCommandStates();
        progress(95);
    }
    double x = splitterLeft_;
    SizeControls(x);
}

void frmMain::RestoreBounds() {
    const double left = storedBound("MainLeft", "1000");
    const double top = storedBound("MainTop", "1000");
    const double width = storedBound("MainWidth", "6500");
    const double height = storedBound("MainHeight", "6500");
    splitterLeft_ = storedBound("MainSplit", "2000");
    QRect bounds(TwipsToPixelsX(left, this), TwipsToPixelsY(top, this), TwipsToPixelsX(width, this),
                 TwipsToPixelsY(height, this));
    // A window stored on a screen that has gone comes back where it can be seen.
    const QScreen* screen = QGuiApplication::screenAt(bounds.topLeft() + QPoint(20, 20));
    if (!screen && QGuiApplication::primaryScreen())
        bounds.moveTopLeft(QGuiApplication::primaryScreen()->availableGeometry().topLeft() +
                           QPoint(TwipsToPixelsX(1000, this), TwipsToPixelsY(1000, this)));
    move(bounds.topLeft());
    resize(std::max(1, bounds.width()), std::max(1, bounds.height()));
}

void frmMain::SaveBounds() {
    saveBound("MainLeft", PixelsToTwipsX(x(), this));
    saveBound("MainTop", PixelsToTwipsY(y(), this));
    saveBound("MainWidth", PixelsToTwipsX(width(), this));
    saveBound("MainHeight", PixelsToTwipsY(height(), this));
    saveBound("MainSplit", splitterLeft_);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        const auto windows = QApplication::topLevelWidgets();
        for (auto it = windows.crbegin(); it != windows.crend(); ++it)
            if (*it != this && (*it)->isVisible()) (*it)->close();
        if (!isMinimized()) {
            try {
                SaveBounds();
            } catch (...) {
                // Leaving must not fail.
            }
        }
        ExitProgram(true);
    }
    event->accept();
}

// ---- titles and command states ---------------------------------------------

QString frmMain::Title(int index) const { return fullTitles_[index == 0 ? 0 : 1]; }

void frmMain::SetTitle(int index, const QString& text) {
    fullTitles_[index == 0 ? 0 : 1] = text;
    ShowTitle(index);
    SetCommandStates();
}

// A long path loses its beginning on screen; its end names the container.
void frmMain::ShowTitle(int index) {
    QLabel* label = lblTitle(index);
    const QString& text = fullTitles_[index == 0 ? 0 : 1];
    const int room = label->contentsRect().width() - 2 * std::max(0, label->indent()) - 2;
    label->setText(room > 0 ? label->fontMetrics().elidedText(text, Qt::ElideLeft, room) : text);
    label->setToolTip(text);
}

void frmMain::EnableAll(const QStringList& menuItems, const QStringList& buttons, bool enabled) {
    for (const QString& name : menuItems)
        if (QAction* item = MenuItem(name)) item->setEnabled(enabled);
    for (const QString& key : buttons)
        if (QAction* button = Button(key)) button->setEnabled(enabled);
}

void frmMain::SetCommandStates() {
    if (Title(0).isEmpty()) {
        EnableAll({"mnuFileNew", "mnuFileDelete", "mnuFileProperties", "mnuViewRefresh", "mnuToolsUpdate",
                   "mnuToolsRBDL", "mnuToolsQueryDesigner"},
                  {"New", "Properties", "Delete", "Refresh", "Update", "Designer"}, false);
        return;
    }
    EnableAll({"mnuViewRefresh", "mnuToolsUpdate", "mnuToolsRBDL", "mnuToolsQueryDesigner"},
              {"Refresh", "Update", "Designer"}, true);
    EnableAll({"mnuFileDelete", "mnuFileProperties"}, {"Properties", "Delete"}, !Title(1).isEmpty());
    if (QAction* update = Button("Update"))
        update->setToolTip(Title(1).isEmpty() ? QStringLiteral("Update every Quorvel DL in the chosen container")
                                              : ScreenText(1020).value_or(QStringLiteral("Update DL")));
    const bool container = TreeView::Image(tree_->SelectedNode()) == QLatin1String("container");
    EnableAll({"mnuFileNew"}, {"New"}, container);
}

void frmMain::UpdateCaption() {
    setWindowTitle(QStringLiteral("KVOR Quorvel <") + qs(mdl().strServer) + QStringLiteral(">"));
}

// ---- layout ----------------------------------------------------------------

double frmMain::WindowWidthTwips() const { return PixelsToTwipsX(width(), this); }
double frmMain::ClientHeightTwips() const { return PixelsToTwipsY(client_->height(), this); }

void frmMain::Place(QWidget* control, const TwipsRect& rect) {
    bounds_.insert(control, rect);
    control->setGeometry(TwipsToPixelsX(rect.left, this), TwipsToPixelsY(rect.top, this),
                         std::max(0, TwipsToPixelsX(rect.width, this)), std::max(0, TwipsToPixelsY(rect.height, this)));
}

// The docked bars: the toolbar at the top, the title strip under it, the
// status bar at the bottom, each as wide as the client area.
void frmMain::DockBars(double& toolBarHeight, double& titleTop, double& titleHeight, double& statusHeight) {
    const double clientWidth = PixelsToTwipsX(client_->width(), this);
    const double clientHeight = ClientHeightTwips();
    toolBarHeight = toolBar_->isVisibleTo(this) ? PixelsToTwipsY(toolBar_->sizeHint().height(), this) : 0;
    statusHeight = statusBar_->isVisibleTo(this) ? PixelsToTwipsY(statusBar_->sizeHint().height(), this) : 0;
    titleTop = toolBarHeight;
    titleHeight = PixelsToTwipsY(titles_[0]->fontMetrics().height() + 8, this);
    if (toolBarHeight > 0) Place(toolBar_, {0, 0, clientWidth, toolBarHeight});
    Place(titleStrip_, {0, titleTop, clientWidth, titleHeight});
    if (statusHeight > 0) Place(statusBar_, {0, clientHeight - statusHeight, clientWidth, statusHeight});
}

void frmMain::SizeControls(double& x) {
    const double windowWidth = WindowWidthTwips();
    if (x < SplitterMargin) x = SplitterMargin;
    if (x > windowWidth - SplitterMargin) x = windowWidth - SplitterMargin;

    double toolBarHeight = 0, titleTop = 0, titleHeight = 0, statusHeight = 0;
    DockBars(toolBarHeight, titleTop, titleHeight, statusHeight);
    const double treeWidth = x;
    splitterLeft_ = x;
    const double listLeft = x + 40;
    const double listWidth = windowWidth - (treeWidth + 140);
    const double treeTop = toolBarHeight > 0 ? toolBarHeight + titleHeight : titleHeight;
    const double clientHeight = ClientHeightTwips();
    const double treeHeight = statusHeight > 0 ? clientHeight - (titleTop + titleHeight + statusHeight)
                                               : clientHeight - (titleTop + titleHeight);

    Place(tree_, {0, treeTop, treeWidth, treeHeight});
    Place(list_, {listLeft, treeTop, listWidth, treeHeight});
    Place(titles_[0], {0, 0, treeWidth, titleHeight});
    Place(titles_[1], {listLeft + 20, 0, listWidth - 40, titleHeight});
    ShowTitle(0);
    ShowTitle(1);
    list_->SetColumnWidth(0, std::max(0, TwipsToPixelsX(listWidth - 50, this)));
    Place(splitter_, {x, treeTop, SplitterWidth, treeHeight});
    splitter_->lower();
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (isMinimized()) return;
    if (WindowWidthTwips() < MinimumWidth) {
        resize(TwipsToPixelsX(MinimumWidth, this), height());
        return;  // the resize comes back here with the new width
    }
    // The client area follows the window before the panes are laid out.
    if (layout()) layout()->activate();
    double x = splitterLeft_;
    SizeControls(x);
}

// ---- splitter ----------------------------------------------------------------

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == splitter_) {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                SplitterMouseDown();
                return true;
            case QEvent::MouseMove:
                SplitterMouseMove(PixelsToTwipsX(static_cast<QMouseEvent*>(event)->position().toPoint().x(), this));
                return true;
            case QEvent::MouseButtonRelease:
                SplitterMouseUp();
                return true;
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::SplitterMouseDown() {
    const TwipsRect handle = Bounds(splitter_);
    Place(dragBar_, {handle.left, handle.top, std::floor(static_cast<long>(handle.width) / 2.0), handle.height - 20});
    dragBar_->show();
    dragBar_->raise();
    splitterMoving_ = true;
}

void frmMain::SplitterMouseMove(double x) {
    if (!splitterMoving_) return;
    TwipsRect bar = Bounds(dragBar_);
    const double position = Bounds(splitter_).left + x;
    const double windowWidth = WindowWidthTwips();
    if (position < SplitterMargin)
        bar.left = SplitterMargin;
    else if (position > windowWidth - SplitterMargin)
        bar.left = windowWidth - SplitterMargin;
    else
        bar.left = position;
    Place(dragBar_, bar);
}

void frmMain::SplitterMouseUp() {
    double x = Bounds(dragBar_).left;
    SizeControls(x);
    dragBar_->hide();
    splitterMoving_ = false;
}

void frmMain::ToggleToolbar() {
    QAction* item = MenuItem("mnuViewToolbar");
    toolBar_->setVisible(item->isChecked());
    double x = splitterLeft_;
    SizeControls(x);
}

void frmMain::ToggleStatusBar() {
    QAction* item = MenuItem("mnuViewStatusBar");
    statusBar_->setVisible(item->isChecked());
    double x = splitterLeft_;
    SizeControls(x);
}

// ---- tree and list ---------------------------------------------------------

template <class Action>
void frmMain::Guard(Action action) {
    try {
        action();
    } catch (const Error& error) {
        ShowUnexpectedError(this, error, AppTitleText());
    } catch (const std::exception& error) {
        MsgBox(this, QString::fromUtf8(error.what()), MsgButtons::OK, MsgIcon::Critical, AppTitleText());
    }
}

void frmMain::NodeClick(QTreeWidgetItem* node) {
    if (!node) return;
    WaitCursor wait;
    SetTitle(0, tree_->FullPath(node));
    SetTitle(1, QString());
    Guard([&] { LoadDLList(list_, tree_, node); });
}

void frmMain::ItemClick(QTreeWidgetItem* item) {
    if (item) SetTitle(1, ListView::Key(item));
}

void frmMain::ListMouseDown(Qt::MouseButton button, const QPoint& position) {
    if (button != Qt::RightButton) return;
    if (TreeView::Image(tree_->SelectedNode()) != QLatin1String("container")) return;
    // A right click on a DL selects it, as a click does.
    if (QTreeWidgetItem* selected = list_->SelectedItem()) ItemClick(selected);
    PrepareContextMenu();
    popup_->popup(list_->mapToGlobal(position));
}

void frmMain::PrepareContextMenu() {
    QAction* update = MenuItem("mnuPopupUpdate");
    QAction* remove = MenuItem("mnuPopupDelete");
    QAction* properties = MenuItem("mnuPopupProperties");
    const QTreeWidgetItem* selected = list_->SelectedItem();
    if (list_->Count() >= 1 && selected) {
        const QString name = selected->text(0);
        update->setText("Update " + name);
        remove->setText("Delete " + name);
        properties->setText("Properties of " + name);
        for (QAction* item : {update, remove, properties}) item->setEnabled(true);
        return;
    }
    update->setText("Update");
    remove->setText("Delete");
    properties->setText("Properties");
    // With DLs but none chosen, Update still works on the whole container.
    update->setEnabled(list_->Count() >= 1);
    remove->setEnabled(false);
    properties->setEnabled(false);
}

// ---- selection -------------------------------------------------------------

bool frmMain::LoadSelection(bool fromList) {
    if (fromList) SetTitle(1, ListView::Key(list_->SelectedItem()));
    const QString path = Title(1).isEmpty() ? Title(0) : Title(0) + "/" + Title(1);
    std::string query = path.toStdString();
    QueryResult result = mdl().objExchangeStore->Query(query);
    if (!result) {
        ShowUnexpectedError(this, *result.error(), AppTitleText());
        return false;
    }
    mdl().objDirObjects = result.shared();
    if (result.objects().Count() < 1) {
        MsgBox(this, "Could not find object specified [" + path + "]", MsgButtons::OK, MsgIcon::Critical, "Error");
        return false;
    }
    return true;
}

// ---- commands ----------------------------------------------------------------

void frmMain::ClearView() {
    tree_->Clear();
    list_->Clear();
}

void frmMain::Refresh() {
    Guard([&] {
        WaitCursor wait;
        if (mdl().strServer.empty()) {
            ClearView();
            SetTitle(0, QString());
            SetTitle(1, QString());
            return;
        }
        const QString previous = Title(0);
        ConnectTree(nullptr);
        for (QTreeWidgetItem* node : tree_->Nodes()) {
            if (tree_->FullPath(node) == previous) {
                tree_->SelectNode(node);
                break;
            }
        }
        if (QTreeWidgetItem* selected = tree_->SelectedNode()) {
            SetTitle(0, tree_->FullPath(selected));
            NodeClick(selected);
        }
    });
}

// The titles go first: while the tree is read again, and after any failure
// to read it, no command may act on the path of the tree that was there.
bool frmMain::ConnectTree(QProgressBar* progress) {
    SetTitle(0, QString());
    SetTitle(1, QString());
    ClearView();
    try {
        const bool connected = ConnectToServer(mdl().strServer, tree_, progress);
        ShowServer();
        if (!connected) return false;
    } catch (...) {
        ClearView();  // what was read before the failure is not the server's tree
        throw;
    }
    SetTitle(0, tree_->FullPath(tree_->SelectedNode()));
    return true;
}

void frmMain::ShowServer() {
    const clsExchangeStore& store = *mdl().objExchangeStore;
    const std::string server = store.AnsweringServer(store.Path());
    statusText_->setText(server.empty() ? QString() : QStringLiteral("Server: ") + qs(server));
}

void frmMain::ReconnectTree() {
    if (hasServer(mdl().strServer)) return static_cast<void>(ConnectTree(nullptr));
    SetTitle(0, QString());
    SetTitle(1, QString());
    ClearView();
}

void frmMain::Connect() {
    Guard([&] {
        std::unique_ptr<frmConnect> dialog;
        {
            WaitCursor wait;
            dialog = std::make_unique<frmConnect>(this);
        }
        dialog->exec();
        dialog.reset();
        {
            WaitCursor wait;
            Guard([&] { ReconnectTree(); });
            UpdateCaption();
            SetTitle(1, QString());
        }
    });
}

bool frmMain::ShowLaterDialog(const QString& formName, const QString& caption) {
    if (ShowDialogModal(formName, this)) return true;
    MsgBox(this, "The " + caption + " window is not part of this build of Quorvel.", MsgButtons::OK,
           MsgIcon::Information, AppTitleText());
    return false;
}

void frmMain::NewDL() {
    Guard([&] {
        if (Title(0).isEmpty()) {
            MsgBox(this, "Please select a container first.", MsgButtons::OK, MsgIcon::None, "New");
            return;
        }
        if (!ShowLaterDialog("frmNew", "New DL")) return;
        WaitCursor wait;
        Refresh();
    });
}

void frmMain::DeleteDL() {
    Guard([&] {
        if (!LoadSelection(false)) return;
        auto selected = CurrentSelection()->Item(1);
        if (selected->objectClass != DLClass) return;
        if (MsgBox(this, "Are you sure you want to delete this distribution list?", MsgButtons::YesNoDefaultNo,
                   MsgIcon::Question, "Delete distribution list?") != MsgAnswer::Yes)
            return;
        WaitCursor wait;
        mdl().objExchangeStore->DeleteADSIObject(selected);
        Refresh();
    });
}

void frmMain::Properties() {
    Guard([&] {
        if (Title(1).isEmpty()) {
            MsgBox(this, "Please select a DL first.", MsgButtons::OK, MsgIcon::None, "Properties");
            return;
        }
        {
            WaitCursor wait;
            if (!LoadSelection(true)) return;
        }
        // Only a DL has these properties; they must never be written onto a container.
        if (CurrentSelection()->Item(1)->objectClass != DLClass) {
            MsgBox(this, "Please select a DL first.", MsgButtons::OK, MsgIcon::None, "Properties");
            return;
        }
        if (!ShowLaterDialog("frmProperties", "DL Properties")) return;
        WaitCursor wait;
        Refresh();
    });
}

// Update without a chosen DL rewrites every Quorvel DL of the container, which
// a click that took a choice back must not start unasked.
bool frmMain::ConfirmContainerUpdate() {
    const auto& selected = CurrentSelection()->Item(1);
    if (selected->objectClass == DLClass) return true;
    const QString container = Title(0).section('/', -1);
    const auto found = FindQuorvelDLs(selected->adsPath);
    const std::int64_t n = found ? found.objects().Count() : -1;
    const QString holds = n < 0 ? QStringLiteral("an unknown number of Quorvel DLs")
                                : QString::number(n) + (n == 1 ? " Quorvel DL" : " Quorvel DLs");
    return MsgBox(this, "No DL is chosen. Update every Quorvel DL in " + container + "?",
                  MsgButtons::YesNoDefaultNo, MsgIcon::Question, "Update",
                  container + " holds " + holds + "; the membership of each is rewritten now.") == MsgAnswer::Yes;
}

void frmMain::Update() {
    Guard([&] {
        if (!LoadSelection(false) || !ConfirmContainerUpdate()) return;
        frmProcess process(this);
        process.exec();
    });
}

void frmMain::QueryDesigner() {
    Guard([&] {
        // Without parameters: a hand-over left from an earlier dialog must not
        // make the designer open someone else's query.
        objDialogParameter().Clear();
        ShowLaterDialog("frmQueryDesigner", "Query Designer");
    });
}

void frmMain::RBDLImport() {
    Guard([&] { ShowLaterDialog("frmRBDLImport", "Import RBDL distribution lists"); });
}

void frmMain::Options() {
    Guard([&] {
        frmOptions options(this);
        options.exec();
    });
}

void frmMain::EventLog() {
    Guard([&] {
        if (!eventLog_) {
            eventLog_ = new frmEventLog(this);
            eventLog_->setAttribute(Qt::WA_DeleteOnClose);
        }
        eventLog_->show();
        eventLog_->raise();
        eventLog_->activateWindow();
    });
}

void frmMain::OpenWebPage(WebPage page) {
    static const char* const files[] = {"home.html", "products.html", "quorvel.html", "updates.html"};
    const QString file = QString::fromUtf8(files[static_cast<int>(page)]);
    const QString path = DocumentationPage(file);
    if (path.isEmpty()) {
        MsgBox(this, "The page " + file + " is not installed with this copy of Quorvel.", MsgButtons::OK,
               MsgIcon::Exclamation, AppTitleText());
        return;
    }
    if (mdl().objKVORAPI->ShellExecute(path.toStdString(), "", "Open", "", 1) <= 32)
        MsgBox(this, "Could not open " + path + ".", MsgButtons::OK, MsgIcon::Exclamation, AppTitleText());
}

void frmMain::HelpContents() {
    // The program has no help file of its own.
    MsgBox(this, "Unable to display Help Contents. There is no Help associated with this project.", MsgButtons::OK,
           MsgIcon::Information, windowTitle());
}

void frmMain::About() {
    Guard([&] {
        frmSplash about(this);
        about.ShowAsAbout();
    });
}

void frmMain::ToolbarButtonClick(const QString& key) {
    try {
        if (key == "Connect") Connect();
        else if (key == "New") NewDL();
        else if (key == "Delete") DeleteDL();
        else if (key == "Properties") Properties();
        else if (key == "Update") Update();
        else if (key == "Refresh") Refresh();
        else if (key == "Options") Options();
        else if (key == "eventvwr") EventLog();
        else if (key == "Designer") QueryDesigner();
        else if (key == "Exit") close();
    } catch (...) {
        // A button's command has told the user already; nothing more to do here.
    }
}

}  // namespace qv
