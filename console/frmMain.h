#pragma once
// The console's main window: the container tree, the DLs of the selected
// container, the splitter between them, the two title labels that hold the
// selection, and every command of the console. Coordinates are kept in
// twips and converted with the screen's logical DPI.
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTimer;
class QToolBar;
class QTreeWidgetItem;

namespace qv {

class ListView;
class TreeView;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // A control's bounds in twips, relative to the window's client area.
    struct TwipsRect {
        double left = 0, top = 0, width = 0, height = 0;
    };
    enum class WebPage { Home, Products, Quorvel, Updates };

    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The console's main window while one exists.
    static frmMain* instance();

    // The load handling: screen texts, bounds from the settings, the connect
    // to the last server (advancing `splashProgress`), caption and commands.
    void Load(QProgressBar* splashProgress = nullptr);

    // Title 0: full path of the selected tree node; title 1: key of the selected DL.
    // A label shows its title shortened at the front when it does not fit.
    QString Title(int index) const;
    void SetTitle(int index, const QString& text);

    // Lays the panes out for splitter position `x` (twips), clamped in place.
    void SizeControls(double& x);
    void SetCommandStates();
    // Loads the selection into the module's objDirObjects: the selected DL,
    // or the container when no DL is selected. False (after telling the
    // user) when it cannot be read.
    bool LoadSelection(bool fromList);

    // Commands.
    void Connect();
    void NewDL();
    void DeleteDL();
    void Properties();
    void Update();
    void Refresh();
    void QueryDesigner();
    void RBDLImport();
    void Options();
    void EventLog();
    void OpenWebPage(WebPage page);
    void HelpContents();
    void About();
    void ToggleToolbar();
    void ToggleStatusBar();
    // A toolbar button, by key; a key that is not a button does nothing.
    void ToolbarButtonClick(const QString& key);

    // Events of the tree, the list and the splitter (mouse X in twips,
    // relative to the splitter).
    void NodeClick(QTreeWidgetItem* node);
    void ItemClick(QTreeWidgetItem* item);
    void ListMouseDown(Qt::MouseButton button, const QPoint& position);
    void SplitterMouseDown();
    void SplitterMouseMove(double x);
    void SplitterMouseUp();

    // Controls.
    TreeView* tvTreeView() const { return tree_; }
    ListView* lvListView() const { return list_; }
    QLabel* lblTitle(int index) const { return titles_[index == 0 ? 0 : 1]; }
    QToolBar* tbToolBar() const { return toolBar_; }
    QStatusBar* sbStatusBar() const { return statusBar_; }
    QWidget* picTitles() const { return titleStrip_; }
    QWidget* imgSplitter() const { return splitter_; }
    QFrame* picSplitter() const { return dragBar_; }
    QMenu* mnuPopup() const { return popup_; }
    QAction* Button(const QString& key) const;
    // A menu item by its name (mnuFileConnect, ...).
    QAction* MenuItem(const QString& name) const;

    // Geometry in twips.
    TwipsRect Bounds(const QWidget* control) const { return bounds_.value(control); }
    double WindowWidthTwips() const;
    double ClientHeightTwips() const;
    double SplitterLeft() const { return splitterLeft_; }
    bool SplitterMoving() const { return splitterMoving_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildPanes();
    QAction* AddMenuItem(QMenu* menu, const QString& name, const QString& caption);
    void AddSeparator(QMenu* menu, const QString& name);
    QAction* AddButton(const QString& key, const QString& tooltip, const QString& image);
    void RestoreBounds();
    void SaveBounds();
    void Place(QWidget* control, const TwipsRect& rect);
    void DockBars(double& toolBarHeight, double& titleTop, double& titleHeight, double& statusHeight);
    // Connects to the server setting and seeds the tree; title 0 := the site
    // on success. Titles and tree are cleared first and stay cleared on failure.
    bool ConnectTree(QProgressBar* progress);
    void ReconnectTree();
    void UpdateCaption();
    // The status bar's text panel names the server that answers when the
    // server setting names several; it is empty otherwise.
    void ShowServer();
    void ShowTitle(int index);
    // Asks before an Update that covers a whole container; true to go on.
    bool ConfirmContainerUpdate();
    void ClearView();
    void PrepareContextMenu();
    bool ShowLaterDialog(const QString& formName, const QString& caption);
    void EnableAll(const QStringList& menuItems, const QStringList& buttons, bool enabled);
    template <class Action>
    void Guard(Action action);

    TreeView* tree_ = nullptr;
    ListView* list_ = nullptr;
    QLabel* titles_[2] = {nullptr, nullptr};
    QString fullTitles_[2];  // the titles; the labels may show them shortened
    QToolBar* toolBar_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* statusDate_ = nullptr;
    QLabel* statusTime_ = nullptr;
    QTimer* clock_ = nullptr;
    QWidget* client_ = nullptr;
    QWidget* titleStrip_ = nullptr;
    QWidget* splitter_ = nullptr;
    QFrame* dragBar_ = nullptr;
    QMenu* popup_ = nullptr;
    QHash<QString, QAction*> menuItems_;
    QHash<QString, QAction*> buttons_;
    QHash<const QWidget*, TwipsRect> bounds_;
    QPointer<QWidget> eventLog_;
    double splitterLeft_ = 2000;
    bool splitterMoving_ = false;
    bool closing_ = false;
};

}  // namespace qv
