#pragma once

#include <QMainWindow>

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildMenus();
    QWidget* BuildListContainer();
    QWidget* BuildViewSettings();
    QWidget* BuildZoomControl();
    void KeepDividerInLimits();

    CorvaneDoc* m_doc;
};
