#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>

class BrainExpressionModel;
class CorvaneDoc;
class GLView;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QSplitter;
class QTableView;
class QToolBar;
class QTreeView;
class BookmarksOutlineView;
class SegmentedControl;

// The document window, built in code: the scene view with the view-settings container under it; on the
// right the list container, a vertical splitter of the left-pane controls and outlines above the data-set
// table; the status line and the stop button below; the search field in the document's toolbar. Widgets are named
// after the document's outlets. The window belongs to its document, which it tells when it closes and when
// it becomes or stops being the active window.
class CorvaneWindowController : public QMainWindow
{
    Q_OBJECT

public:
    explicit CorvaneWindowController(CorvaneDoc* doc);

    // The divider's position kept between 120 and the content height minus 105; answers the position used.
    static int ConstrainDivider(int position, int contentHeight);
    // The name of the model's atlas, or "Ostrel Brain Atlas" when there is none.
    static QString windowTitleForDocumentDisplayName(const BrainExpressionModel* model);

    // Shows the window restored from the dock, in front and active, as the window that a request reached. The
    // program's panels (Download Atlases, Preferences) stay in front of it, and a panel that waits on the
    // window (an alert, a sheet) comes in front of them and takes the keys.
    void BringToFront();
    // A later launch of the program hands its arguments on: with none, a question that the program waits on
    // (Choose Atlas at start) is brought forward rather than asked again.
    static void HandleLaunch(const QStringList& arguments);

    GLView* sceneView = nullptr;
    QTreeView* hierOntologyView = nullptr;
    QTreeView* alphaOntologyView = nullptr;
    BookmarksOutlineView* bookmarksView = nullptr;
    QTableView* geneListView = nullptr;
    QWidget* viewSettingsContainer = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* stopButton = nullptr;
    QWidget* listContainerView = nullptr;
    QLineEdit* searchField = nullptr;
    QLabel* statusField = nullptr;
    SegmentedControl* ontologyViewStyle = nullptr;
    QLineEdit* ontologySearchField = nullptr;
    SegmentedControl* atlasPlaneToggleBar = nullptr;
    SegmentedControl* selectionTools = nullptr;
    QSlider* zoomSlider = nullptr;
    QSlider* imageBlendSlider = nullptr;
    QSplitter* listSplitter = nullptr;
    QToolBar* toolbar = nullptr;

    // The menu item of a document command and tag (the tag tells colour modes, planes, tools and compass
    // places apart), or null.
    QAction* FindAction(const QString& action, int tag = 0) const;
    // Every menu item of the menu bar and the context menus that runs a document command, as they were
    // made. Validation runs on focus changes, which also come from widgets being destroyed: it must never
    // walk the window's children, among which a closing dialog may be half torn down.
    QList<QAction*> CommandActions() const;
    // The command name of a menu item; empty for the items of the application (New, Quit, ...).
    static QString ActionName(const QAction* item);
    static int ActionTag(const QAction* item);

    // Menu items the document validates.
    QAction* newAction = nullptr;
    QAction* openAction = nullptr;
    QMenu* recentMenu = nullptr;
    QAction* closeWindowAction = nullptr;
    QAction* closeTabAction = nullptr;
    QAction* quitAction = nullptr;
    QAction* preferencesAction = nullptr;
    QAction* newTabAction = nullptr;
    QAction* showViewSettingsAction = nullptr;
    QAction* expandedViewAction = nullptr;
    QAction* showSearchableAction = nullptr;
    QAction* showInnerAction = nullptr;
    QAction* searchAction = nullptr;
    QAction* anatomicSearchAction = nullptr;
    QAction* similarSearchAction = nullptr;
    QAction* zScoreAction = nullptr;
    QAction* helpAction = nullptr;
    QAction* checkForAtlasesAction = nullptr;
    QList<QMenu*> menus;
    // The data-set table's context menu.
    QMenu* geneContextMenu = nullptr;
    // The structure commands on the row that an ontology outline's context menu was opened on; the
    // siblings item only in the hierarchy.
    QMenu* ontologyContextMenu = nullptr;
    QAction* siblingsAction = nullptr;
    // The bookmark commands of the bookmarks outline.
    QMenu* bookmarksContextMenu = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // A right press on an ontology outline opens its menu on the row without selecting it: the selection
    // is the model's selected structure.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildFileMenu();
    void BuildEditMenu();
    void BuildViewMenu();
    void BuildStructureMenu();
    void BuildGeneMenu();
    void BuildBookmarksMenu();
    void BuildOutlineMenus();
    // Adds an item that runs a document command and then validates every item again; a failure of the
    // command is shown in an alert.
    QAction* AddCommand(QMenu* menu, const QString& title, const char* action, std::function<void(QAction*)> run,
                        int tag = 0, const QKeySequence& key = QKeySequence());
    QAction* AddCheckedCommand(QMenu* menu, const QString& title, const char* action, std::function<void(QAction*)> run,
                               int tag = 0);
    QWidget* BuildListContainer();
    QWidget* BuildViewSettings();
    QWidget* BuildZoomControl();
    void KeepDividerInLimits();
    // The smallest size at which the window's contents keep clear of each other.
    QSize LeastSize() const;
    void KeepPanelsInFront();

    CorvaneDoc* m_doc;
    QList<QPointer<QAction>> m_commands;
    // Brought forward, and the window system has yet to activate the window (and raise it once more).
    bool m_panelsOnActivation = false;
};
