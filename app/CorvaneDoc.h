#pragma once

#include "app/CorvaneWindowController.h"

#include <QObject>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class AnatomicSearchController;
class Atlas;
class AtlasLoadingThread;
class AnnotationLabel;
class Bookmark;
class BrainExpressionModel;
class BrainSceneRenderer;
class CorrelationDomainChooser;
class CorvaneDocWrapper;
class DocumentToolbar;
class GLInteractiveRenderer;
class GLView;
class GLViewWrapper;
class GeneExpression;
class GeneTableModel;
class QAction;
class QColor;
class QColorDialog;
class QModelIndex;
class QPoint;
class QProgressBar;
class QPushButton;
class BookmarkEditor;
class BookmarksDataSource;
class OntologyDataSource;
class QTreeView;
class SearchController;
class TabControlRenderer;
class ViewController3d;

// One open atlas: its expression model, the companion that runs searches and downloads, and one window
// with the scene view, its tab bar and scene renderer, the outlines and the data-set table. The document
// owns its window. Main thread only.
class CorvaneDoc : public QObject
{
    Q_OBJECT

public:
    // The document of the first installed atlas, or of the installed atlas with that id; null when there
    // is no such atlas or the model cannot be made.
    static CorvaneDoc* init();
    // Null when the atlas is not installed or cannot be opened; failure, when given, then tells the user why
    // (empty for an atlas that is not installed), without naming the atlas when the caller's alert does.
    static CorvaneDoc* initWithAtlas(unsigned int atlasId, std::string* failure = nullptr, bool atlasNamed = false);
    // Releases in the order that keeps every renderer's display alive until the renderer is gone.
    ~CorvaneDoc() override;

    // Builds the window and sets it up; a failure is shown in an alert on the window, which stays without
    // a renderer.
    void makeWindowControllers();
    void showWindows();
    CorvaneWindowController* windowController() const { return m_window; }
    // Documents are never edited, so never saved.
    void updateChangeCount(int) {}

    BrainExpressionModel* expressionModel() const { return m_expressionModel.get(); }
    SearchController* searchController() const;
    CorvaneDocWrapper* docWrapper() const { return m_docWrapper.get(); }
    QProgressBar* progressBar() const;
    GLViewWrapper* mainDisplay() const { return m_viewWrapper.get(); }
    TabControlRenderer* tabControlRenderer() const { return m_tabRenderer.get(); }
    BrainSceneRenderer* detailRenderer() const { return m_detailRenderer.get(); }
    GLInteractiveRenderer* currentRenderer() const { return m_currentRenderer; }
    QPushButton* stopButton() const;
    QTreeView* ontologyView() const;
    OntologyDataSource* ontologyHierDataSource() const { return m_ontologyHierDataSource; }
    OntologyDataSource* ontologyAlphaDataSource() const { return m_ontologyAlphaDataSource; }
    BookmarksDataSource* bookmarksDataController() const { return m_bookmarksDataController; }
    bool detailViewIsActive() const { return m_showingDetailViewMode; }
    int ontologyDisplayMode() const { return m_ontologyDisplayMode; }
    GeneTableModel* geneTableModel() const { return m_geneTable; }

    void makeSceneViewActive();
    void setStatusText(const std::string& text);
    std::string statusText() const;
    void stopOperation();
    void redrawOntology();
    void redrawGeneList();
    void reloadGeneList();
    void selectGene(int row);
    // The structure of the outline row that a context menu was opened on while it is up, else the model's
    // selected structure; "No Annotation" counts as none.
    const AnnotationLabel* selectedStructure() const;
    // The structure of that row while the menu is up, else null.
    const AnnotationLabel* clickedStructure() const { return m_clickedStructure; }
    // The structure commands for the row at a point of the outline's viewport (none: the selection's).
    void showOntologyMenu(QTreeView* outline, const QPoint& at);
    bool centerViewOnSelectionValid() const;
    void updateOntologySelection();
    void switchRenderer(GLInteractiveRenderer* renderer);
    void updateActiveWindowMenuItems(bool resigning);
    // One place that sets every menu item's enabled and checked state.
    void validateMenuItem();
    // Sets the item's check mark and answers whether it can run now.
    bool validateMenuItem(QAction* item);
    // Adds the data set in the file when it belongs to this document's atlas; false (after an alert) when
    // it does not or cannot be read.
    bool readFromFile(const std::string& path, const std::string& type);

    // Structure commands. The outlines' check boxes pass the structure of the clicked row (null: nothing
    // happens) and the keys held at the click: Alt stands for Option, Ctrl for Command, Meta for Control.
    void toggleOntologyStructureCheckbox(const AnnotationLabel* clicked, Qt::KeyboardModifiers modifiers);
    void toggleOntologyExpressionCheckbox(const AnnotationLabel* clicked, Qt::KeyboardModifiers modifiers);
    void toggleOntologyStructureSiblings(const AnnotationLabel* clicked);
    void showSearchableStructures();
    void showInnerStructures();
    void deselectStructures();
    void blendAtlasAnnotation();
    void showFullResolutionAtlasImage();
    void showEnclosingStructure();
    void setOntologyDisplayMode(int mode);
    void searchForStructure(const QString& text);
    // The row that brings row `selected` of `count` rows about to the middle of `visible` rows.
    static int OntologyScrollRow(int selected, int visible, int count);

    // Searches. Without a search inside the program the atlas's search page opens in the browser.
    void searchForGene(const QString& text);
    void findGenesByAnatomy();
    void findProjectionsFromStructure();
    void findProjectionsToStructure();
    void findSimilarGenes();

    // Data sets: the selected rows of the data-set table.
    std::vector<int> selectedGeneRows() const;
    void closeGene();
    void chooseGeneColor();
    void changeGeneColor(const QColor& color);
    void toggleGeneVisible(int row);
    void showGeneInfo();
    void viewGeneImages();
    void copyGeneInfo();
    void copy();
    void copyImage();
    void deleteSelection();
    void exportGene() {}
    void importGeneList();
    void importGeneRelations();
    // Where the open panels end: the chosen file, or the empty path when the panel was cancelled.
    void importGeneListDidEnd(const std::string& path);
    void importGeneRelationsDidEnd(const std::string& path);

    // Tabs.
    void newTab();
    void closeTab();
    void cycleNextTab();
    void cyclePreviousTab();

    // The scene's view settings.
    void resetView();
    void showAllViews();
    void centerViewOnSelection();
    void toggleCuttingPlanes();
    void toggleTransparentStructures();
    void showAllExpression();
    void hideAllExpression();
    void toggleAllExpression();
    void changeGeneColorMode(int tag);
    void changeCompassMode(int tag);
    void setExpressionThresholds();
    void toggleExpandedView();
    void showViewSettings();
    // From the tool menu (the tool's tag) and from the tool control (its segment).
    void changeToolMode(int tag);
    void setToolMode(int segment);
    // From the section menu (the plane's tag) and from the sections control (its segment).
    void changeAtlasPlaneVisibility(int plane);

    // Bookmarks. Restoring takes the clicked row's bookmark (null for no row or a group).
    void addBookmark();
    void addBookmarkGroup();
    void sortBookmarks();
    void restoreBookmarkFromView(const Bookmark* bookmark, Qt::KeyboardModifiers modifiers);
    void markSnapbackBookmark();
    void goToSnapbackBookmark();
    const Bookmark* snapBackBookmark() const { return m_snapBackBookmark.get(); }

    void performClose();

    // Toolbar, atlas sections and 3D view controls.
    DocumentToolbar* documentToolbar() const { return m_toolbar.get(); }
    ViewController3d* viewSettingsController() const { return m_viewSettingsController.get(); }
    bool atlasLoading() const { return m_atlasLoading; }
    // Shows or hides an atlas section plane; when a space that the scene shows lacks its full volumes, a
    // loading thread loads them first and the plane changes when it ends. Nothing while a load runs.
    void setMPRPlaneVisibility(int plane, bool visible);
    // The loading thread's end, on the main thread: the thread is joined and the section control enabled.
    void loadAtlasEnded();
    // The section control as the model shows the planes.
    void showModelPlanes();

    // Search sheets.
    AnatomicSearchController* anatomicSearchPanel() const { return m_anatomicSearchPanel.get(); }
    CorrelationDomainChooser* correlationChooser() const { return m_correlationChooser.get(); }
    void showAnatomicSearch();
    void anatomicSearchSheetDidEnd(int returnCode);
    // The similar-data-set sheet for a seed data set, with the last choices made in it.
    void findSimilarGenes(const std::string& name, int imageSeriesId);
    // The sheet for the data set of the selected row, when a search can start from it.
    void FindSimilarGenesOfSelection();
    void correlationDomainSheetDidEnd(int returnCode);

    // Window events.
    void windowWillClose();
    void windowDidBecomeKey();
    void windowDidResignKey();

    // The document whose window is the active one, or null.
    static CorvaneDoc* CurrentDoc();

signals:
    // After the window closed and its settings were saved; the document controller releases it.
    void Closed(CorvaneDoc* doc);

private:
    explicit CorvaneDoc(std::shared_ptr<Atlas> atlas);
    void windowControllerDidLoadNib();
    void SetUpViews();
    void MakeOntologyDataSources();
    void SetUpBookmarks();
    void ExpandOntology();
    void ReleaseDisplay();
    // The data set of the selected row when a similar-data-set search can start from it, else null.
    std::shared_ptr<GeneExpression> SimilarSearchSeed() const;
    // The menu item rules by command name: enabled, and the check mark for items that carry one.
    struct ItemState
    {
        bool enabled;
        int checked; // -1 for items without a check mark
    };
    ItemState MenuItemState(const QString& action, int tag) const;
    // The structure of the current outline's selected row, or null.
    const AnnotationLabel* OutlineLabel() const;
    // The structure in the annotation under the probe, or null.
    const AnnotationLabel* StructureAtProbe() const;
    // The current outline's rows as shown, expanded children included, top to bottom.
    std::vector<QModelIndex> OutlineRows() const;
    unsigned int LabelCount() const;
    unsigned long RootDatabaseId() const;
    std::shared_ptr<GeneExpression> SelectedGene() const;
    void OpenSearchPage(const std::string& pattern, const std::string& argument);
    QTreeView* CurrentOutline() const;
    void ScrollOutlineSelectionToMiddle();
    void OpenCsvPanel(void (CorvaneDoc::*done)(const std::string&));

    QPointer<CorvaneWindowController> m_window;
    QPointer<QColorDialog> m_colorPanel;
    GeneTableModel* m_geneTable = nullptr;
    OntologyDataSource* m_ontologyHierDataSource = nullptr;
    OntologyDataSource* m_ontologyAlphaDataSource = nullptr;
    BookmarksDataSource* m_bookmarksDataController = nullptr;
    QPointer<BookmarkEditor> m_bookmarkEditor;
    std::unique_ptr<BrainExpressionModel> m_expressionModel;
    std::unique_ptr<Bookmark> m_snapBackBookmark;
    std::unique_ptr<GLViewWrapper> m_viewWrapper;
    std::unique_ptr<CorvaneDocWrapper> m_docWrapper;
    int m_ontologyDisplayMode = 1;
    bool m_showingDetailViewMode = true;
    bool m_atlasLoading = false;
    int m_lastCorrelationDomain = 0;
    int m_lastCorrelationPlaneRestriction = 2;
    bool m_lastCorrelationGraphAnalysis = false;
    GLInteractiveRenderer* m_currentRenderer = nullptr;
    // Set while an ontology outline's context menu is up.
    bool m_hasClickedRow = false;
    const AnnotationLabel* m_clickedStructure = nullptr;
    std::unique_ptr<BrainSceneRenderer> m_detailRenderer;
    std::unique_ptr<TabControlRenderer> m_tabRenderer;
    std::unique_ptr<DocumentToolbar> m_toolbar;
    std::unique_ptr<ViewController3d> m_viewSettingsController;
    std::unique_ptr<AtlasLoadingThread> m_loadingThread;
    std::unique_ptr<AnatomicSearchController> m_anatomicSearchPanel;
    std::unique_ptr<CorrelationDomainChooser> m_correlationChooser;
    bool m_closed = false;
};
