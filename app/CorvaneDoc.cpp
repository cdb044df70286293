#include "app/CorvaneDoc.h"

#include "app/BookmarkEditor.h"
#include "app/BookmarkNode.h"
#include "app/BookmarksController.h"
#include "app/BookmarksDataSource.h"
#include "app/BookmarksOutlineView.h"
#include "app/BookmarksStorage.h"
#include "app/ColorSwatchShapeCell.h"
#include "app/AnatomicSearchController.h"
#include "app/AtlasLoadingThread.h"
#include "app/ContextMenuTableView.h"
#include "app/CorrelationDomainChooser.h"
#include "app/BrainDocTab.h"
#include "app/CorvaneDocWrapper.h"
#include "app/CorvaneWindowController.h"
#include "app/DocumentToolbar.h"
#include "app/GeneTableModel.h"
#include "app/NameColumnFit.h"
#include "app/OntologyDataSource.h"
#include "app/ProgressAndTextCell.h"
#include "app/ScreenFit.h"
#include "app/SegmentedControl.h"
#include "app/SingleDocumentController.h"
#include "app/ViewController3d.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/GeneColorModes.h"
#include "core/Alerts.h"
#include "core/DefaultsStore.h"
#include "core/Image3d.h"
#include "core/Image3dPlane.h"
#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "expression/Bookmark.h"
#include "expression/BrainExpressionModel.h"
#include "expression/Expressor.h"
#include "expression/GeneExpression.h"
#include "expression/GeneQuery.h"
#include "expression/PagedGeneList.h"
#include "gl/GLView.h"
#include "gl/GLViewWrapper.h"
#include "gl/TabControlRenderer.h"
#include "scene/BrainSceneRenderer.h"

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QClipboard>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <boost/format.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <vector>

namespace
{
CorvaneDoc* sCurrentDoc = nullptr;
const char* const kWindowFrameKey = "DocumentWindowLocation";
constexpr int kOntologyAlphabetical = 0;
constexpr int kOntologyHierarchy = 1;
constexpr int kOntologyBookmarks = 2;
// The desktop's keys by the names the commands give them.
constexpr Qt::KeyboardModifier kOptionModifier = Qt::AltModifier;
constexpr Qt::KeyboardModifier kCommandModifier = Qt::ControlModifier;
constexpr Qt::KeyboardModifier kControlModifier = Qt::MetaModifier;
using Selector = BrainExpressionModel::Selector;

// The structure and its siblings (its parent's children), or the structure alone without a parent.
void SetSiblings(Selector& selector, const AnnotationLabel& label, bool value)
{
    selector.Set(label.parent ? label.parent->childrenSelector : label.selector, value);
}

// A search template of the atlas; empty when the atlas has none for that project.
std::string SearchUrl(const std::string& (Atlas::*getter)(const char*) const, const Atlas* atlas,
                      const std::string& projectCode)
{
    try
    {
        return (atlas->*getter)(projectCode.c_str());
    }
    catch (const std::exception&)
    {
        return std::string();
    }
}

std::string FormatMessage(const std::string& pattern, const std::string& a, const std::string& b = std::string())
{
    std::string text = pattern;
    const std::size_t first = text.find("%@");
    if (first != std::string::npos)
        text.replace(first, 2, a);
    const std::size_t second = text.find("%s");
    if (second != std::string::npos)
        text.replace(second, 2, b);
    return text;
}
} // namespace

CorvaneDoc* CorvaneDoc::CurrentDoc()
{
    return sCurrentDoc;
}

CorvaneDoc::CorvaneDoc(std::shared_ptr<Atlas> atlas)
{
    if (!atlas)
        throw std::runtime_error("Atlas not found");
    m_expressionModel = std::make_unique<BrainExpressionModel>(std::move(atlas));
    m_docWrapper = std::make_unique<CorvaneDocWrapper>(this);
}

CorvaneDoc* CorvaneDoc::init()
{
    try
    {
        AtlasSet* atlases = AtlasSet::GetAtlases();
        return atlases && atlases->GetNumAtlases() > 0 ? new CorvaneDoc(atlases->GetAtlas(0)) : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
}

CorvaneDoc* CorvaneDoc::initWithAtlas(unsigned int atlasId, std::string* failure, bool atlasNamed)
{
    // An atlas that is not installed gives no document.
    const std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(atlasId);
    std::string why;
    try
    {
        if (atlas)
            return new CorvaneDoc(atlas);
    }
    catch (const std::exception& e)
    {
        why = atlasNamed ? AtlasFileError::WithFile(e) : AtlasFileError::Describe(atlas->GetName(), e);
    }
    catch (...)
    {
        if (atlasNamed)
            throw;
        why = "The atlas \"" + atlas->GetName() + "\" could not be opened.";
    }
    if (failure)
        *failure = why;
    return nullptr;
}

CorvaneDoc::~CorvaneDoc()
{
    if (sCurrentDoc == this)
        sCurrentDoc = nullptr;
    // A load still running is cancelled and joined before anything it reports to goes away.
    m_loadingThread.reset();
    m_anatomicSearchPanel.reset();
    m_correlationChooser.reset();
    m_toolbar.reset();
    m_viewSettingsController.reset();
    disconnect(qApp, nullptr, this, nullptr);
    ReleaseDisplay();
    // The table may lay itself out while its window goes, after the model it shows.
    if (m_window)
        m_window->geneListView->setModel(nullptr);
    delete m_geneTable;
    m_geneTable = nullptr;
    m_docWrapper.reset();
    m_expressionModel.reset();
    m_snapBackBookmark.reset();
    delete m_window.data();
}

void CorvaneDoc::ReleaseDisplay()
{
    if (m_viewWrapper)
    {
        m_viewWrapper->SetRenderer(nullptr);
        m_viewWrapper->SetMouseListener(nullptr);
        m_viewWrapper->SetKeyListener(nullptr);
        m_viewWrapper->MakeCurrent();
    }
    m_currentRenderer = nullptr;
    if (m_docWrapper)
        m_docWrapper->SetReleasing(true);
    m_detailRenderer.reset();
    // The bar reports every tab closed; their renderers draw through the wrapper, which goes last.
    m_tabRenderer.reset();
    if (m_docWrapper)
        m_docWrapper->DeleteClosedTabs();
    m_viewWrapper.reset();
}

void CorvaneDoc::makeWindowControllers()
{
    if (m_window)
        return;
    m_window = new CorvaneWindowController(this);
    windowControllerDidLoadNib();
}

void CorvaneDoc::showWindows()
{
    if (!m_window)
        return;
    if (!m_window->isVisible())
        SingleDocumentController::Instance()->cascadeWindow(m_window);
    m_window->BringToFront();
}

void CorvaneDoc::windowControllerDidLoadNib()
{
    CorvaneWindowController* window = m_window;
    window->setWindowTitle(CorvaneWindowController::windowTitleForDocumentDisplayName(m_expressionModel.get()));
    m_viewSettingsController = std::make_unique<ViewController3d>(window->zoomSlider, window->imageBlendSlider);
    m_viewSettingsController->setDocument(this);
    m_toolbar = std::make_unique<DocumentToolbar>(this, window);
    m_toolbar->setupToolbar();
    // Data-set names show no download progress: the cell's bar stays at 0.
    window->geneListView->setItemDelegateForColumn(GeneTableModel::kGeneColumn,
                                                   new ProgressAndTextCell(window->geneListView));
    DefaultsStore& store = PlatformHooks::GetDefaultsStore();
    if (store.HasValue(kWindowFrameKey))
        ScreenFit::RestoreGeometry(window,
                                   QByteArray::fromBase64(QByteArray::fromStdString(store.GetValue(kWindowFrameKey))));

    m_geneTable = new GeneTableModel(m_expressionModel.get(), this);
    window->geneListView->setModel(m_geneTable);
    auto* swatch = new ColorSwatchShapeCell(window->geneListView);
    window->geneListView->setItemDelegateForColumn(GeneTableModel::kColorColumn, swatch);
    NameColumnFit::Apply(
        window->geneListView, window->geneListView->horizontalHeader(), GeneTableModel::kGeneColumn,
        {{GeneTableModel::kVisibleColumn, NameColumnFit::CheckBoxWidth(*window->geneListView)},
         {GeneTableModel::kColorColumn, swatch->sizeHint(QStyleOptionViewItem(), QModelIndex()).width()}});
    connect(window->geneListView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_window->geneListView->selectionModel()->selectedRows();
        const std::shared_ptr<GeneExpression> gene =
            rows.isEmpty() ? nullptr : m_expressionModel->GetGene(rows.first().row());
        m_expressionModel->SelectGene(gene.get(), true);
        validateMenuItem();
    });
    MakeOntologyDataSources();
    ExpandOntology();
    SetUpBookmarks();

    connect(window->searchField, &QLineEdit::returnPressed, this,
            [this] { searchForGene(m_window->searchField->text()); });
    connect(window->stopButton, &QPushButton::clicked, this, [this] { stopOperation(); });
    connect(window->selectionTools, &SegmentedControl::SegmentClicked, this, [this](int s) { setToolMode(s); });
    connect(window->ontologyViewStyle, &SegmentedControl::SegmentClicked, this,
            [this](int s) { setOntologyDisplayMode(m_window->ontologyViewStyle->GetTag(s)); });
    connect(m_toolbar.get(), &DocumentToolbar::atlasSectionClicked, this, [this](int segment) {
        SegmentedControl* planes = m_window->atlasPlaneToggleBar;
        if (!m_atlasLoading)
            setMPRPlaneVisibility(planes->GetTag(segment), planes->IsSelected(segment));
    });
    connect(m_toolbar.get(), &DocumentToolbar::centerViewTriggered, this, [this] { centerViewOnSelection(); });
    connect(m_toolbar.get(), &DocumentToolbar::cuttingPlanesTriggered, this, [this] { toggleCuttingPlanes(); });
    // Shortcuts of disabled items do not fire: the items follow what they depend on.
    connect(qApp, &QApplication::focusChanged, this, [this] { validateMenuItem(); });
    connect(m_toolbar.get(), &DocumentToolbar::expandViewTriggered, this, [this] { toggleExpandedView(); });

    SetUpViews();
    if (!m_detailRenderer)
        return;
    switchRenderer(nullptr);
    showModelPlanes();
    window->selectionTools->SetSelectedSegment(
        window->selectionTools->SegmentForTag(static_cast<int>(m_expressionModel->GetToolMode())));

    int mode = kOntologyHierarchy;
    bool expanded = false;
    bool imageControls = false;
    UserPreferences::GetPreferences()->LoadViewSettings(mode, expanded, imageControls);
    if (mode == kOntologyBookmarks || mode == kOntologyAlphabetical)
    {
        window->ontologyViewStyle->SetSelectedSegment(mode);
        setOntologyDisplayMode(mode);
    }
    if (expanded)
        toggleExpandedView();
    if (imageControls)
        showViewSettings();
    if (m_expressionModel->GetAtlas()->GetAtlasId() == 351)
    {
        window->geneListView->setColumnHidden(GeneTableModel::kVisibleColumn, true);
        window->geneListView->setColumnHidden(GeneTableModel::kColorColumn, true);
    }
    validateMenuItem();
}

void CorvaneDoc::SetUpViews()
{
    // Made in this order, undone in the reverse order: the bar draws through the wrapper.
    try
    {
        m_viewWrapper = std::make_unique<GLViewWrapper>(m_window->sceneView);
        m_viewWrapper->MakeCurrent();
        m_tabRenderer = std::make_unique<TabControlRenderer>(m_viewWrapper.get(), m_docWrapper.get());
        m_tabRenderer->AddTab("Detail View", false, nullptr);
        m_detailRenderer = std::make_unique<BrainSceneRenderer>(m_viewWrapper.get(), m_expressionModel.get(),
                                                                m_tabRenderer.get(), m_docWrapper.get());
        return;
    }
    catch (const std::exception& e)
    {
        ReleaseDisplay();
        ShowAlertBox(std::string("The view could not be set up. ") + e.what());
    }
    catch (...)
    {
        ReleaseDisplay();
        ShowAlertBox("The view could not be set up.");
    }
}

void CorvaneDoc::MakeOntologyDataSources()
{
    m_ontologyHierDataSource = new OntologyDataSource(this, this);
    m_ontologyHierDataSource->attachToView(m_window->hierOntologyView);
    m_ontologyAlphaDataSource = new OntologyDataSource(this, this);
    m_ontologyAlphaDataSource->setDisplayAlphabetical(true);
    m_ontologyAlphaDataSource->attachToView(m_window->alphaOntologyView);
    connect(m_window->ontologySearchField, &QLineEdit::textChanged, this,
            [this](const QString& text) { searchForStructure(text); });
    for (OntologyDataSource* source : {m_ontologyHierDataSource, m_ontologyAlphaDataSource})
        connect(source, &OntologyDataSource::checkBoxClicked, this, [this](const AnnotationLabel* label, int column) {
            if (column == OntologyDataSource::kStructureColumn)
                toggleOntologyStructureCheckbox(label, QGuiApplication::keyboardModifiers());
            else if (column == OntologyDataSource::kExpressionColumn)
                toggleOntologyExpressionCheckbox(label, QGuiApplication::keyboardModifiers());
        });
}

void CorvaneDoc::ExpandOntology()
{
    QTreeView* outline = m_window->hierOntologyView;
    const Atlas* atlas = m_expressionModel->GetAtlas();
    int level = atlas->GetDefaultOntologyDisplayLevel();
    if (level == 0 && atlas->GetAtlasId() == 351)
        level = 100;
    if (level == 0)
    {
        outline->expandAll();
        return;
    }
    std::function<void(const QModelIndex&)> expand = [&](const QModelIndex& item) {
        const AnnotationLabel* label = m_ontologyHierDataSource->labelAt(item);
        if (!label || label->level >= level)
            return;
        outline->expand(item);
        for (int i = 0; i < m_ontologyHierDataSource->rowCount(item); ++i)
            expand(m_ontologyHierDataSource->index(i, 0, item));
    };
    for (int i = 0; i < m_ontologyHierDataSource->rowCount(); ++i)
        expand(m_ontologyHierDataSource->index(i, 0));
}

void CorvaneDoc::SetUpBookmarks()
{
    m_bookmarksDataController = new BookmarksDataSource(this);
    m_bookmarksDataController->registerOutlineView(m_window->bookmarksView, this);
    const auto restoreSelected = [this] {
        const std::vector<BookmarkNode*> nodes = m_bookmarksDataController->selectedNodes();
        const BookmarkNode* node = nodes.size() == 1 ? nodes.front() : nullptr;
        restoreBookmarkFromView(node && !node->isGroup() ? node->nodeData() : nullptr,
                                QGuiApplication::keyboardModifiers());
    };
    connect(m_window->bookmarksView, &BookmarksOutlineView::actionTriggered, this, restoreSelected);
    connect(m_window->bookmarksView, &QAbstractItemView::clicked, this, restoreSelected);
    BookmarkNode* root = BookmarksController::rootNode();
    // The first window fills the shared tree; later ones open the groups that the active window has open.
    CorvaneDoc* key = sCurrentDoc;
    if (!key || key == this || !key->m_bookmarksDataController)
    {
        ReadBookmarks(*m_bookmarksDataController, root, m_expressionModel.get());
        m_bookmarksDataController->clearUserModified();
    }
    else
        SynchronizeBookmarks(*key->m_bookmarksDataController, *m_bookmarksDataController, root);
}

unsigned int CorvaneDoc::LabelCount() const
{
    const std::shared_ptr<BrainOntology> ontology = m_expressionModel->GetAtlas()->GetOntology();
    return ontology ? ontology->GetNumLabels() : 0;
}

unsigned long CorvaneDoc::RootDatabaseId() const
{
    const std::shared_ptr<BrainOntology> ontology = m_expressionModel->GetAtlas()->GetOntology();
    const AnnotationLabel* root = ontology ? ontology->GetAnnotationLabelByIndex(1) : nullptr;
    return root ? root->databaseId : 0;
}

QTreeView* CorvaneDoc::CurrentOutline() const
{
    return ontologyView();
}

SearchController* CorvaneDoc::searchController() const
{
    return m_docWrapper.get();
}

QProgressBar* CorvaneDoc::progressBar() const
{
    return m_window ? m_window->progressBar : nullptr;
}

QPushButton* CorvaneDoc::stopButton() const
{
    return m_window ? m_window->stopButton : nullptr;
}

QTreeView* CorvaneDoc::ontologyView() const
{
    if (!m_window)
        return nullptr;
    if (m_ontologyDisplayMode == kOntologyHierarchy)
        return m_window->hierOntologyView;
    if (m_ontologyDisplayMode == kOntologyAlphabetical)
        return m_window->alphaOntologyView;
    return nullptr;
}

void CorvaneDoc::makeSceneViewActive()
{
    if (m_window)
        m_window->sceneView->setFocus();
}

void CorvaneDoc::setStatusText(const std::string& text)
{
    if (m_window)
        m_window->statusField->setText(QString::fromStdString(text));
}

std::string CorvaneDoc::statusText() const
{
    return m_window ? m_window->statusField->text().toStdString() : std::string();
}

void CorvaneDoc::stopOperation()
{
    m_docWrapper->StopDownloads();
}

void CorvaneDoc::redrawOntology()
{
    if (QTreeView* outline = ontologyView())
        outline->viewport()->update();
}

void CorvaneDoc::redrawGeneList()
{
    if (m_geneTable)
        m_geneTable->Redraw();
}

void CorvaneDoc::reloadGeneList()
{
    if (m_geneTable)
        m_geneTable->Reload();
}

void CorvaneDoc::selectGene(int row)
{
    if (!m_window || row < 0 || row >= m_geneTable->rowCount())
        return;
    m_window->geneListView->selectRow(row);
    m_window->geneListView->scrollTo(m_geneTable->index(row, 0));
}

const AnnotationLabel* CorvaneDoc::selectedStructure() const
{
    const AnnotationLabel* label = m_hasClickedRow ? m_clickedStructure : m_expressionModel->GetSelectedStructure();
    return label && label->index != 0 ? label : nullptr;
}

void CorvaneDoc::showOntologyMenu(QTreeView* outline, const QPoint& at)
{
    if (!m_window || !outline)
        return;
    const auto* source = qobject_cast<const OntologyDataSource*>(outline->model());
    const QModelIndex row = outline->indexAt(at);
    // The menu's commands run inside exec, while the row is remembered; the selection stays as it was.
    m_hasClickedRow = source && row.isValid();
    m_clickedStructure = m_hasClickedRow ? source->labelAt(row) : nullptr;
    m_window->siblingsAction->setVisible(outline == m_window->hierOntologyView);
    validateMenuItem();
    const QPointer<CorvaneDoc> alive(this);
    m_window->ontologyContextMenu->exec(outline->viewport()->mapToGlobal(at));
    if (!alive)
        return;
    m_hasClickedRow = false;
    m_clickedStructure = nullptr;
    validateMenuItem();
}

bool CorvaneDoc::centerViewOnSelectionValid() const
{
    if (!m_showingDetailViewMode)
        return false;
    if (m_expressionModel->GetSelectedExpressor())
        return true;
    const AnnotationLabel* label = selectedStructure();
    return label && m_expressionModel->GetStructureSelector().Intersects(label->selector);
}

void CorvaneDoc::updateOntologySelection()
{
    QTreeView* outline = ontologyView();
    if (!outline)
        return;
    OntologyDataSource* source =
        outline == m_window->hierOntologyView ? m_ontologyHierDataSource : m_ontologyAlphaDataSource;
    const AnnotationLabel* label = selectedStructure();
    const QModelIndex row = label ? source->indexOfLabel(label) : QModelIndex();
    if (!row.isValid())
    {
        outline->clearSelection();
        return;
    }
    std::vector<QModelIndex> ancestors;
    for (QModelIndex parent = row.parent(); parent.isValid(); parent = parent.parent())
        ancestors.push_back(parent);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        outline->expand(*it);
    // One step, so that the selection's own report finds the model already on this structure.
    outline->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    outline->scrollTo(row);
}

void CorvaneDoc::switchRenderer(GLInteractiveRenderer* renderer)
{
    if (m_currentRenderer)
        m_currentRenderer->SetActive(false);
    GLInteractiveRenderer* scene = m_detailRenderer.get();
    if (renderer && renderer != scene)
    {
        m_currentRenderer = renderer;
        m_showingDetailViewMode = false;
    }
    else
    {
        m_currentRenderer = scene;
        m_showingDetailViewMode = true;
    }
    if (m_window)
    {
        m_viewSettingsController->setZoomEnabled(m_showingDetailViewMode);
        redrawOntology();
        m_window->atlasPlaneToggleBar->setEnabled(m_showingDetailViewMode && !m_atlasLoading);
        m_window->selectionTools->setEnabled(m_showingDetailViewMode);
        m_toolbar->validateToolbarItems();
    }
    if (!m_viewWrapper || !m_currentRenderer)
        return;
    m_viewWrapper->SetRenderer(m_currentRenderer);
    m_viewWrapper->SetMouseListener(m_currentRenderer);
    m_viewWrapper->SetKeyListener(m_currentRenderer);
    m_currentRenderer->SetActive(true);
    m_viewWrapper->Invalidate();
    validateMenuItem();
}

void CorvaneDoc::updateActiveWindowMenuItems(bool resigning)
{
    if (!m_window)
        return;
    const bool severalTabs = m_tabRenderer && m_tabRenderer->GetNumTabs() > 1;
    if (!resigning && severalTabs)
    {
        m_window->closeTabAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
        m_window->closeWindowAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    }
    else
    {
        m_window->closeTabAction->setShortcut(QKeySequence());
        m_window->closeWindowAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    }
    m_window->zScoreAction->setEnabled(m_expressionModel->GetAtlas()->HasExpressionZScore());
    validateMenuItem();
}

void CorvaneDoc::validateMenuItem()
{
    CorvaneWindowController* window = m_window;
    if (!window || !m_expressionModel || !m_docWrapper)
        return;
    for (QAction* item : window->CommandActions())
        item->setEnabled(validateMenuItem(item));
    window->zScoreAction->setEnabled(m_expressionModel->GetAtlas()->HasExpressionZScore());
    window->searchAction->setEnabled(true);
    SingleDocumentController* documents = SingleDocumentController::Instance();
    window->openAction->setEnabled(documents->validateOpenDocument());
    AtlasSet* atlases = AtlasSet::GetAtlases();
    window->newAction->setEnabled(atlases && atlases->GetNumAtlases() > 0);
}

bool CorvaneDoc::validateMenuItem(QAction* item)
{
    const ItemState state =
        MenuItemState(CorvaneWindowController::ActionName(item), CorvaneWindowController::ActionTag(item));
    if (state.checked >= 0)
        item->setChecked(state.checked == 1);
    return state.enabled;
}

CorvaneDoc::ItemState CorvaneDoc::MenuItemState(const QString& action, int tag) const
{
    const auto on = [](bool enabled) { return ItemState{enabled, -1}; };
    const auto checked = [](bool enabled, bool state) { return ItemState{enabled, state ? 1 : 0}; };
    const Atlas* atlas = m_expressionModel->GetAtlas();
    const BrainExpressionModel& model = *m_expressionModel;
    const bool detail = m_showingDetailViewMode;
    const std::vector<int> rows = selectedGeneRows();
    const std::shared_ptr<GeneExpression> gene = SelectedGene();
    if (action == "importGeneList:" || action == "exportGene:")
        return on(false);
    if (action == "closeGene:" || action == "showGeneInfo:" || action == "copyGeneInfo:")
        return on(!rows.empty());
    if (action == "viewGeneImages:")
        return on(m_detailRenderer && m_detailRenderer->CanShowImageInBrowser());
    if (action == "findSimilarGenes:")
        return on(gene &&
                  ((!atlas->HasIntegratedSearch() && !SearchUrl(&Atlas::GetCorrelationSearchUrl, atlas, "").empty()) ||
                   GeneQuery::CanQuellar(gene.get())));
    if (action == "findSimilarGenes:imageSeries:")
        return on(gene && atlas->HasIntegratedSearch() && GeneQuery::CanQuellar(gene.get()));
    if (action == "showAnatomicSearch:")
        return on(atlas->HasIntegratedSearch());
    if (action == "findGenesByAnatomy:")
        return on(!SearchUrl(&Atlas::GetDifferentialSearchUrl, atlas, "").empty() && selectedStructure());
    if (action == "findProjectionsFromStructure:" || action == "findProjectionsToStructure:")
        return on(atlas->HasProjectionSearch() &&
                  !SearchUrl(&Atlas::GetDifferentialSearchUrl, atlas, atlas->GetProjectionProjectCode()).empty() &&
                  selectedStructure());
    if (action == "newTab:")
        return on(m_docWrapper->CanCreateTab());
    if (action == "closeTab:")
        return on(m_docWrapper->CanCloseTab());
    if (action == "cycleNextTab:" || action == "cyclePreviousTab:")
        return on(m_tabRenderer && m_tabRenderer->GetNumTabs() > 1);
    if (action == "showSearchableStructures:" || action == "showInnerStructures:" || action == "deselectStructures:" ||
        action == "resetView:")
        return on(detail);
    if (action == "showAllViews:")
        return on(detail && m_detailRenderer && !m_detailRenderer->AllSpacesVisible());
    if (action == "goToSnapbackBookmark:")
        return on(m_snapBackBookmark != nullptr);
    if (action == "toggleTransparentStructures:")
        return checked(detail, model.GetMeshDisplayStyle() == BrainExpressionModel::TRANSLUCENT_MESHES);
    if (action == "blendAtlasAnnotation:")
        return checked(detail, model.GetAnnotationAlpha() != 0.0f);
    if (action == "toggleExpandedView:")
        return checked(true, m_window && !m_window->listContainerView->isVisibleTo(m_window));
    if (action == "showViewSettings:")
        return atlas->HasHighResImageViews()
                   ? checked(true, m_window && m_window->viewSettingsContainer->isVisibleTo(m_window))
                   : checked(false, false);
    if (action == "changeGeneColorMode:")
    {
        if (!atlas->GetGeneColorModes().IsValidMode(tag) || (atlas->GetAtlasId() == 351 && tag == 0))
            return checked(false, false);
        return checked(detail, model.GetGeneColorMode() == tag);
    }
    if (action == "changeCompassMode:")
        return checked(detail, model.GetCompassLocation() == tag);
    if (action == "changeAtlasPlaneVisibility:")
        return checked(detail && !m_atlasLoading,
                       tag >= 0 && tag < 3 && model.UIGetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(tag)));
    if (action == "changeToolMode:")
        return checked(detail, model.GetToolMode() == tag);
    if (action == "toggleCuttingPlanes:")
        return checked(detail, model.GetCuttingPlanesVisible());
    if (action == "setExpressionThresholds:")
        return checked(detail, model.ThresholdControlsVisible());
    const QWidget* responder = m_window ? m_window->focusWidget() : nullptr;
    if (action == "copy:")
    {
        if (responder && responder == CurrentOutline())
            return on(OutlineLabel() != nullptr);
        return on(m_window && responder == m_window->geneListView && !rows.empty());
    }
    if (action == "delete:")
        return on(m_ontologyDisplayMode == kOntologyBookmarks && m_window && responder == m_window->bookmarksView &&
                  m_bookmarksDataController && m_bookmarksDataController->canDelete());
    if (action == "addBookmark:" || action == "addBookmarkGroup:" || action == "sortData:")
        return on(m_ontologyDisplayMode == kOntologyBookmarks);
    if (action == "toggleOntologyStructureSiblings:")
        return on(m_clickedStructure && m_ontologyDisplayMode == kOntologyHierarchy);
    if (action == "showFullResolutionAtlasImage:")
        return on(atlas->GetAtlasId() == 50000 || (atlas->HasHighResolutionAtlasImages() && detail &&
                                                   (model.GetProbeAtlasSpace() || model.GetSelectedExpressor())));
    if (action == "centerViewOnSelection:")
        return on(centerViewOnSelectionValid());
    if (action == "showEnclosingStructure:")
    {
        const AnnotationLabel* structure = selectedStructure();
        return on(detail && (model.GetSelectedExpressor() || (structure && structure->parent) ||
                             (!structure && model.GetProbeVisible())));
    }
    return on(true);
}

bool CorvaneDoc::readFromFile(const std::string& path, const std::string&)
{
    try
    {
        auto dataSet = std::make_shared<GeneExpression>();
        dataSet->LoadAtlasSpace(path.c_str(), nullptr);
        // A data set without a space, or whose space has no atlas, belongs to no open atlas.
        const AtlasSpace* space = dataSet->GetNumAtlasSpaces() > 0 ? dataSet->GetAtlasSpace(0) : nullptr;
        if (!space || space->GetAtlas() != m_expressionModel->GetAtlas())
            throw std::runtime_error("Incorrect atlas");
        return m_expressionModel->AddGeneExpression(dataSet, true);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(FormatMessage("Could not open file %@\n\n%s", path, e.what()));
    }
    catch (...)
    {
        ShowAlertBox(FormatMessage("Could not open file %@", path));
    }
    return false;
}

// --- Structures ---

const AnnotationLabel* CorvaneDoc::OutlineLabel() const
{
    const QTreeView* outline = CurrentOutline();
    if (!outline || !outline->selectionModel())
        return nullptr;
    const QModelIndexList rows = outline->selectionModel()->selectedRows();
    const std::shared_ptr<BrainOntology> ontology = m_expressionModel->GetAtlas()->GetOntology();
    if (rows.isEmpty() || !ontology)
        return nullptr;
    const auto* source = qobject_cast<const OntologyDataSource*>(outline->model());
    return source ? source->labelAt(rows.first()) : nullptr;
}

void CorvaneDoc::toggleOntologyStructureCheckbox(const AnnotationLabel* clicked, Qt::KeyboardModifiers modifiers)
{
    if (!clicked)
        return;
    Selector selector = m_expressionModel->GetStructureSelector();
    const bool shown = selector.Intersects(clicked->selector);
    const bool hierarchy = m_ontologyDisplayMode == kOntologyHierarchy;
    if (hierarchy && (modifiers & kOptionModifier))
        SetSiblings(selector, *clicked, !shown);
    else if (hierarchy && m_expressionModel->GetAtlas()->GetAtlasId() == 351)
        selector.Set(clicked->subtreeSelector, !shown);
    else
        selector.Set(clicked->selector, !shown);
    m_expressionModel->SetStructureSelector(selector, true);
}

void CorvaneDoc::toggleOntologyExpressionCheckbox(const AnnotationLabel* clicked, Qt::KeyboardModifiers modifiers)
{
    if (!clicked)
        return;
    Selector selector = m_expressionModel->GetExpressionSelector();
    const bool shown = selector.Intersects(clicked->selector);
    if (m_ontologyDisplayMode == kOntologyHierarchy && (modifiers & kOptionModifier))
        SetSiblings(selector, *clicked, !shown);
    else if (m_ontologyDisplayMode != kOntologyAlphabetical)
        selector.Set(clicked->subtreeSelector, !shown);
    else
        selector.Set(clicked->selector, !shown);
    m_expressionModel->SetExpressionSelector(selector, true);
}

void CorvaneDoc::toggleOntologyStructureSiblings(const AnnotationLabel* clicked)
{
    if (!clicked || m_ontologyDisplayMode != kOntologyHierarchy)
        return;
    Selector selector = m_expressionModel->GetStructureSelector();
    SetSiblings(selector, *clicked, !selector.Intersects(clicked->selector));
    if (clicked->parent)
        selector.Set(clicked->parent->selector, false);
    m_expressionModel->SetStructureSelector(selector, true);
}

void CorvaneDoc::showSearchableStructures()
{
    m_expressionModel->ShowSearchableStructures();
}

void CorvaneDoc::showInnerStructures()
{
    m_expressionModel->ShowInnerStructures();
}

void CorvaneDoc::deselectStructures()
{
    m_expressionModel->SetStructureSelector(Selector(LabelCount(), false), true);
}

void CorvaneDoc::blendAtlasAnnotation()
{
    m_expressionModel->SetAnnotationAlpha(m_expressionModel->GetAnnotationAlpha() > 0.0f ? 0.0f : 0.15f, true);
}

void CorvaneDoc::showFullResolutionAtlasImage()
{
    if (!m_detailRenderer)
        return;
    if (m_expressionModel->GetImageDisplayMode() == BrainExpressionModel::SECTION_IMAGE)
        m_expressionModel->SetImageDisplayMode(BrainExpressionModel::CORONAL_PLATE, false);
    m_detailRenderer->ShowAtlasImage();
}

const AnnotationLabel* CorvaneDoc::StructureAtProbe() const
{
    AtlasSpace* space = m_expressionModel->GetProbeAtlasSpace();
    // A probe shown before it was placed in any space has nothing under it.
    Image3d* annotation = space ? space->GetAnnotationImage() : nullptr;
    if (!annotation)
        return nullptr;
    const float* probe = m_expressionModel->GetProbeLocation();
    const float r = space->GetViewResolution()[0];
    const float value =
        annotation->GetValue(annotation->GetSize(0) * probe[0] * r, annotation->GetSize(1) * probe[1] * r,
                             annotation->GetSize(2) * probe[2] * r);
    const std::shared_ptr<BrainOntology> ontology = m_expressionModel->GetAtlas()->GetOntology();
    if (value <= 0.0f || !ontology)
        return nullptr;
    return ontology->GetAnnotationLabel(static_cast<unsigned short>(value));
}

void CorvaneDoc::showEnclosingStructure()
{
    BrainExpressionModel& model = *m_expressionModel;
    const AnnotationLabel* structure = nullptr;
    if (const Expressor* expressor = model.GetSelectedExpressor())
        structure = expressor->label;
    else if (model.GetProbeVisible())
        structure = StructureAtProbe();
    else if (const AnnotationLabel* selected = selectedStructure())
        structure = selected->parent;
    const bool atlas351 = model.GetAtlas()->GetAtlasId() == 351;
    while (atlas351 && structure && !structure->hasMesh)
        structure = structure->parent;
    if (!structure || structure->index == 0)
        return;
    Selector selector = model.GetStructureSelector();
    if (selector.Intersects(structure->selector))
        return;
    selector.Merge(atlas351 ? structure->subtreeSelector : structure->selector);
    model.SetStructureSelector(selector, true);
    model.SelectExpressor(nullptr, nullptr, nullptr, true);
    model.SelectStructure(structure, true);
}

int CorvaneDoc::OntologyScrollRow(int selected, int visible, int count)
{
    if (selected + visible / 2 >= count)
        return count - 1;
    if (selected < visible)
        return selected;
    return selected + visible / 2;
}

void CorvaneDoc::setOntologyDisplayMode(int mode)
{
    if (mode == m_ontologyDisplayMode || !m_window || mode < 0 || mode > 2)
        return;
    QWidget* panes[] = {m_window->alphaOntologyView, m_window->hierOntologyView, m_window->bookmarksView};
    const int old = m_ontologyDisplayMode;
    panes[mode]->setVisible(true);
    m_ontologyDisplayMode = mode;
    panes[old]->setVisible(false);
    panes[mode]->setFocus();
    // The bookmark commands depend on the mode; the focus change above revalidates them only in the active window.
    validateMenuItem();
    if (mode == kOntologyBookmarks)
        return;
    updateOntologySelection();
    ScrollOutlineSelectionToMiddle();
}

std::vector<QModelIndex> CorvaneDoc::OutlineRows() const
{
    std::vector<QModelIndex> rows;
    const QTreeView* outline = CurrentOutline();
    if (!outline || !outline->model())
        return rows;
    for (QModelIndex row = outline->model()->index(0, 0); row.isValid(); row = outline->indexBelow(row))
        if (!outline->isRowHidden(row.row(), row.parent()))
            rows.push_back(row);
    return rows;
}

void CorvaneDoc::ScrollOutlineSelectionToMiddle()
{
    QTreeView* outline = CurrentOutline();
    const std::vector<QModelIndex> rows = OutlineRows();
    if (!outline || rows.empty() || !outline->selectionModel())
        return;
    const QModelIndexList selection = outline->selectionModel()->selectedRows();
    const auto selected = selection.isEmpty() ? rows.end() : std::find(rows.begin(), rows.end(), selection.first());
    const int rowHeight = outline->visualRect(rows.front()).height();
    if (selected == rows.end() || rowHeight <= 0)
        return;
    const int visible = outline->viewport()->height() / rowHeight;
    const int target =
        OntologyScrollRow(static_cast<int>(selected - rows.begin()), visible, static_cast<int>(rows.size()));
    outline->scrollTo(rows[static_cast<std::size_t>(target)], QAbstractItemView::EnsureVisible);
}

void CorvaneDoc::searchForStructure(const QString& text)
{
    if (m_ontologyAlphaDataSource)
        m_ontologyAlphaDataSource->setFilterString(text.toStdString());
}

// --- Searches ---

void CorvaneDoc::OpenSearchPage(const std::string& pattern, const std::string& argument)
{
    if (pattern.empty())
        return;
    std::string url;
    try
    {
        // The argument is one query value, escaped as the program's own searches escape their terms.
        url = (boost::format(pattern) % GeneQuery::EncodeQueryValue(argument)).str();
    }
    catch (const boost::io::format_error&)
    {
        // A page that wants other arguments cannot be opened with this one.
        return;
    }
    OSUtils::OpenBrowser(url);
}

void CorvaneDoc::searchForGene(const QString& text)
{
    const std::string term = text.trimmed().toStdString();
    if (term.empty())
        return;
    Atlas* atlas = m_expressionModel->GetAtlas();
    if (!atlas->HasIntegratedSearch())
        OpenSearchPage(SearchUrl(&Atlas::GetGeneSearchUrl, atlas, ""), term);
    else
        m_docWrapper->SearchForGene(term.c_str(), "", term.c_str(), false);
}

void CorvaneDoc::findGenesByAnatomy()
{
    Atlas* atlas = m_expressionModel->GetAtlas();
    const std::string url = SearchUrl(&Atlas::GetDifferentialSearchUrl, atlas, "");
    const AnnotationLabel* structure = selectedStructure();
    if (url.empty() || !structure)
        return;
    if (!atlas->HasIntegratedSearch())
        OpenSearchPage(url, structure->name);
    else
        m_docWrapper->SearchForDifferentialExpression("", RootDatabaseId(), structure->databaseId, 0);
}

void CorvaneDoc::findProjectionsFromStructure()
{
    Atlas* atlas = m_expressionModel->GetAtlas();
    const AnnotationLabel* structure = selectedStructure();
    if (SearchUrl(&Atlas::GetGeneSearchUrl, atlas, "").empty() || !structure)
        return;
    m_docWrapper->SearchForGene(structure->abbreviation.c_str(), atlas->GetProjectionProjectCode().c_str(),
                                std::to_string(structure->databaseId).c_str(), false);
}

void CorvaneDoc::findProjectionsToStructure()
{
    Atlas* atlas = m_expressionModel->GetAtlas();
    const AnnotationLabel* structure = selectedStructure();
    if (SearchUrl(&Atlas::GetDifferentialSearchUrl, atlas, "").empty() || !structure)
        return;
    m_docWrapper->SearchForDifferentialExpression(atlas->GetProjectionProjectCode().c_str(), RootDatabaseId(),
                                                  structure->databaseId, 0);
}

void CorvaneDoc::findSimilarGenes()
{
    const std::shared_ptr<GeneExpression> gene = SelectedGene();
    if (!gene)
        return;
    Atlas* atlas = m_expressionModel->GetAtlas();
    if (!atlas->HasIntegratedSearch())
        OpenSearchPage(SearchUrl(&Atlas::GetCorrelationSearchUrl, atlas, ""), std::to_string(gene->GetExperimentId()));
    else if (GeneQuery::CanQuellar(gene.get()))
        m_docWrapper->SearchForSimilarGenes(gene->GetSymbol().c_str(), gene->GetProjectCode().c_str(),
                                            gene->GetImageSeriesId());
    else
        ShowAlertBox("Not enough information to find similar data sets.");
}

// --- Data sets ---

std::vector<int> CorvaneDoc::selectedGeneRows() const
{
    std::vector<int> rows;
    const QItemSelectionModel* selection = m_window ? m_window->geneListView->selectionModel() : nullptr;
    if (!selection)
        return rows;
    for (const QModelIndex& index : selection->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::shared_ptr<GeneExpression> CorvaneDoc::SelectedGene() const
{
    const std::vector<int> rows = selectedGeneRows();
    return rows.empty() || rows.front() >= m_expressionModel->GetNumGenes() ? nullptr
                                                                            : m_expressionModel->GetGene(rows.front());
}

void CorvaneDoc::closeGene()
{
    const std::vector<int> rows = selectedGeneRows();
    if (rows.empty())
        return;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        m_expressionModel->RemoveGene(*row);
    reloadGeneList();
    const int row = std::min(rows.front(), m_expressionModel->GetNumGenes() - 1);
    if (row < 0)
        return;
    m_window->geneListView->selectionModel()->clearSelection();
    selectGene(row);
}

void CorvaneDoc::chooseGeneColor()
{
    const std::shared_ptr<GeneExpression> gene = SelectedGene();
    if (!gene || !m_window)
        return;
    if (!m_colorPanel)
    {
        m_colorPanel = new QColorDialog(m_window);
        m_colorPanel->setObjectName("colorPanel");
        connect(m_colorPanel, &QColorDialog::colorSelected, this, [this](const QColor& color) {
            try
            {
                changeGeneColor(color);
            }
            catch (const std::exception& e)
            {
                ShowAlertBox(e.what());
            }
        });
    }
    const float* rgb = gene->GetColor();
    m_colorPanel->setCurrentColor(QColor::fromRgbF(rgb[0], rgb[1], rgb[2], 1.0f));
    m_colorPanel->show();
    m_colorPanel->raise();
}

void CorvaneDoc::changeGeneColor(const QColor& color)
{
    const std::vector<int> rows = selectedGeneRows();
    if (!rows.empty())
        m_expressionModel->SetGeneColor(rows.front(), static_cast<float>(color.redF()),
                                        static_cast<float>(color.greenF()), static_cast<float>(color.blueF()));
}

void CorvaneDoc::toggleGeneVisible(int row)
{
    if (row >= 0 && row < m_expressionModel->GetNumGenes())
        m_expressionModel->SetGeneVisible(row, !m_expressionModel->GetGene(row)->IsVisible());
}

void CorvaneDoc::showGeneInfo()
{
    std::vector<GeneExpression*> genes;
    for (int row : selectedGeneRows())
        genes.push_back(m_expressionModel->GetGene(row).get());
    std::vector<std::string> urls;
    m_expressionModel->GetExperimentURLs(genes, urls);
    for (const std::string& url : urls)
        OSUtils::OpenBrowser(url);
}

void CorvaneDoc::viewGeneImages()
{
    if (!selectedGeneRows().empty() && m_detailRenderer && m_detailRenderer->CanShowImageInBrowser())
        m_detailRenderer->ShowImageInBrowser();
}

void CorvaneDoc::copyGeneInfo()
{
    const std::vector<int> rows = selectedGeneRows();
    if (rows.empty())
        return;
    std::string text = "Symbol\tName\tImage Series ID\n";
    for (int row : rows)
    {
        const std::shared_ptr<GeneExpression> gene = m_expressionModel->GetGene(row);
        text += gene->GetSymbol() + "\t" + gene->GetName() + "\t" + std::to_string(gene->GetImageSeriesId()) + "\n";
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void CorvaneDoc::copy()
{
    const QWidget* responder = m_window ? m_window->focusWidget() : nullptr;
    if (!responder)
        return;
    if (responder == m_window->geneListView)
    {
        copyGeneInfo();
        return;
    }
    const AnnotationLabel* label = responder == CurrentOutline() ? OutlineLabel() : nullptr;
    if (label)
        QGuiApplication::clipboard()->setText(QString::fromStdString(label->name + " (" + label->abbreviation + ")"));
}

void CorvaneDoc::copyImage()
{
    if (m_window)
        m_window->sceneView->CopyToPasteboard();
}

void CorvaneDoc::deleteSelection()
{
    if (m_ontologyDisplayMode != kOntologyBookmarks || !m_window || m_window->focusWidget() != m_window->bookmarksView)
        return;
    if (m_bookmarksDataController && m_bookmarksDataController->canDelete())
        m_bookmarksDataController->deleteSelection();
}

void CorvaneDoc::OpenCsvPanel(void (CorvaneDoc::*done)(const std::string&))
{
    if (!m_window)
        return;
    auto* panel = new QFileDialog(m_window, tr("Open"), QString(), tr("CSV files (*.csv)"));
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // Once only, as the document's Open panel: Returns queued for the closed panel would import the file again.
    connect(
        panel, &QFileDialog::finished, this,
        [this, panel, done](int result) {
            const QStringList files = panel->selectedFiles();
            const std::string path =
                result == QDialog::Accepted && !files.isEmpty() ? files.first().toStdString() : std::string();
            try
            {
                (this->*done)(path);
            }
            catch (...)
            {
                ShowAlertBox("The file could not be opened.");
            }
        },
        Qt::SingleShotConnection);
    panel->open();
}

void CorvaneDoc::importGeneList()
{
    OpenCsvPanel(&CorvaneDoc::importGeneListDidEnd);
}

void CorvaneDoc::importGeneRelations()
{
    OpenCsvPanel(&CorvaneDoc::importGeneRelationsDidEnd);
}

void CorvaneDoc::importGeneListDidEnd(const std::string& path)
{
    if (path.empty())
        return;
    try
    {
        m_docWrapper->SwitchToListTab();
        if (PagedGeneList* list = m_docWrapper->GetSearchList())
        {
            list->LoadFile(m_expressionModel->GetAtlas(), path.c_str());
            m_docWrapper->UpdateActiveTabName();
        }
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
}

void CorvaneDoc::importGeneRelationsDidEnd(const std::string& path)
{
    if (path.empty())
        return;
    try
    {
        m_docWrapper->LoadDirectedGraphFile(path.c_str());
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
}

// --- Tabs ---

void CorvaneDoc::newTab()
{
    if (m_docWrapper->CanCreateTab())
        m_docWrapper->CreateNewTab(true, kTabList);
}

void CorvaneDoc::closeTab()
{
    if (m_tabRenderer && m_tabRenderer->GetActiveTab() >= 1)
        m_tabRenderer->CloseTab(m_tabRenderer->GetActiveTab());
}

void CorvaneDoc::cycleNextTab()
{
    const int count = m_tabRenderer ? m_tabRenderer->GetNumTabs() : 0;
    if (count >= 2)
        m_tabRenderer->SwitchTab((m_tabRenderer->GetActiveTab() + 1) % count);
}

void CorvaneDoc::cyclePreviousTab()
{
    const int count = m_tabRenderer ? m_tabRenderer->GetNumTabs() : 0;
    if (count >= 2)
        m_tabRenderer->SwitchTab((m_tabRenderer->GetActiveTab() + count - 1) % count);
}

// --- The scene's view settings ---

void CorvaneDoc::resetView()
{
    m_expressionModel->ResetView();
}

void CorvaneDoc::showAllViews()
{
    if (m_detailRenderer)
        m_detailRenderer->ZoomToSubview(nullptr);
}

void CorvaneDoc::centerViewOnSelection()
{
    if (!m_detailRenderer)
        return;
    BrainExpressionModel& model = *m_expressionModel;
    const Expressor* expressor = model.GetSelectedExpressor();
    if (expressor && model.GetSelectedExpressorsGene() && model.GetSelectedExpressorsSpace())
    {
        m_detailRenderer->CenterViewAt(expressor->position, false, model.GetSelectedExpressorsSpace());
        return;
    }
    const AnnotationLabel* structure = selectedStructure();
    if (structure && model.GetStructureSelector().Intersects(structure->selector))
        m_detailRenderer->CenterViewAt(structure, false, nullptr);
}

void CorvaneDoc::toggleCuttingPlanes()
{
    m_expressionModel->SetCuttingPlanesVisible(!m_expressionModel->GetCuttingPlanesVisible(), true);
}

void CorvaneDoc::toggleTransparentStructures()
{
    const bool translucent = m_expressionModel->GetMeshDisplayStyle() == BrainExpressionModel::TRANSLUCENT_MESHES;
    m_expressionModel->SetMeshDisplayStyle(
        translucent ? BrainExpressionModel::OPAQUE_MESHES : BrainExpressionModel::TRANSLUCENT_MESHES, true);
}

void CorvaneDoc::showAllExpression()
{
    Selector all(LabelCount(), false);
    all.Invert(LabelCount());
    m_expressionModel->SetExpressionSelector(all, true);
}

void CorvaneDoc::hideAllExpression()
{
    m_expressionModel->SetExpressionSelector(Selector(LabelCount(), false), true);
}

void CorvaneDoc::toggleAllExpression()
{
    // Only the ontology's labels flip: the bits past the last one stay clear, or they would name labels
    // that do not exist.
    Selector inverted = m_expressionModel->GetExpressionSelector();
    inverted.Invert(LabelCount());
    m_expressionModel->SetExpressionSelector(inverted, true);
}

void CorvaneDoc::changeGeneColorMode(int tag)
{
    m_expressionModel->SetGeneColorMode(tag, true);
}

void CorvaneDoc::changeCompassMode(int tag)
{
    if (m_expressionModel->GetCompassLocation() != tag)
        m_expressionModel->SetCompassLocation(static_cast<BrainExpressionModel::CompassLocation>(tag), true);
}

void CorvaneDoc::setExpressionThresholds()
{
    m_expressionModel->ShowThresholdControls(!m_expressionModel->ThresholdControlsVisible(), true);
}

void CorvaneDoc::toggleExpandedView()
{
    if (m_window)
        m_window->listContainerView->setVisible(!m_window->listContainerView->isVisibleTo(m_window));
    validateMenuItem();
}

void CorvaneDoc::showViewSettings()
{
    if (!m_window)
        return;
    const bool shown = m_window->viewSettingsContainer->isVisibleTo(m_window);
    if (!shown && !m_expressionModel->GetAtlas()->HasHighResImageViews())
        return;
    m_window->viewSettingsContainer->setVisible(!shown);
    validateMenuItem();
}

void CorvaneDoc::changeToolMode(int tag)
{
    m_expressionModel->SetToolMode(static_cast<BrainExpressionModel::ToolMode>(tag));
    if (m_window)
        m_window->selectionTools->SetSelectedSegment(tag);
}

void CorvaneDoc::setToolMode(int segment)
{
    const int tag = m_window ? m_window->selectionTools->GetTag(segment) : -1;
    if (tag >= 0)
        m_expressionModel->SetToolMode(static_cast<BrainExpressionModel::ToolMode>(tag));
}

void CorvaneDoc::changeAtlasPlaneVisibility(int plane)
{
    if (m_atlasLoading || plane < 0 || plane > 2)
        return;
    const bool visible = !m_expressionModel->UIGetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(plane));
    setMPRPlaneVisibility(plane, visible);
    // The sections control lists the planes sagittal, coronal, horizontal.
    static const int segments[] = {1, 2, 0};
    if (m_window)
        m_window->atlasPlaneToggleBar->SetSelected(visible, segments[plane]);
}

// --- Bookmarks ---

void CorvaneDoc::addBookmark()
{
    if (!m_window || !m_bookmarksDataController)
        return;
    if (!m_bookmarkEditor)
    {
        m_bookmarkEditor = new BookmarkEditor(m_window);
        m_bookmarkEditor->setWindowModality(Qt::WindowModal);
        connect(m_bookmarkEditor, &QDialog::finished, this, [this](int code) {
            if (code != 1 || !m_bookmarksDataController || !m_bookmarkEditor)
                return;
            m_bookmarksDataController->addBookmark(std::make_unique<Bookmark>(
                m_bookmarkEditor->name(), m_bookmarkEditor->bookmarkType(), m_expressionModel.get()));
        });
    }
    m_bookmarkEditor->restrictToFilterExpression(!m_showingDetailViewMode);
    m_bookmarkEditor->open();
}

void CorvaneDoc::addBookmarkGroup()
{
    if (m_bookmarksDataController)
        m_bookmarksDataController->addGroup();
}

void CorvaneDoc::sortBookmarks()
{
    if (m_bookmarksDataController)
        m_bookmarksDataController->sortData();
}

void CorvaneDoc::restoreBookmarkFromView(const Bookmark* bookmark, Qt::KeyboardModifiers modifiers)
{
    if (!bookmark || (modifiers & (Qt::ShiftModifier | kControlModifier | kCommandModifier)))
        return;
    markSnapbackBookmark();
    if (m_showingDetailViewMode && m_detailRenderer)
        m_detailRenderer->GoToBookmark(*bookmark, (modifiers & kOptionModifier) != 0);
    else
        bookmark->Restore(m_expressionModel.get());
}

void CorvaneDoc::markSnapbackBookmark()
{
    m_snapBackBookmark = std::make_unique<Bookmark>(
        "Snapback", m_showingDetailViewMode ? Bookmark::EVERYTHING : Bookmark::EXPRESSION_FILTER,
        m_expressionModel.get());
}

void CorvaneDoc::goToSnapbackBookmark()
{
    if (m_snapBackBookmark && m_detailRenderer)
        m_detailRenderer->GoToBookmark(*m_snapBackBookmark, false);
}

void CorvaneDoc::performClose()
{
    if (m_window)
        m_window->close();
}

void CorvaneDoc::windowWillClose()
{
    if (m_closed)
        return;
    m_closed = true;
    // A load still running stops here; it changes nothing any more.
    m_loadingThread.reset();
    m_atlasLoading = false;
    try
    {
        if (m_bookmarksDataController && m_bookmarksDataController->userModified())
        {
            SaveBookmarks(*m_bookmarksDataController, BookmarksController::rootNode());
            m_bookmarksDataController->clearUserModified();
        }
        m_expressionModel->SaveSettings();
        const bool expanded = m_window && !m_window->listContainerView->isVisibleTo(m_window);
        const bool imageControls = m_window && m_window->viewSettingsContainer->isVisibleTo(m_window);
        UserPreferences::GetPreferences()->SaveViewSettings(m_ontologyDisplayMode, expanded, imageControls);
        DefaultsStore& store = PlatformHooks::GetDefaultsStore();
        if (m_window)
            store.SetValue(kWindowFrameKey, m_window->saveGeometry().toBase64().toStdString());
        store.Synchronize();
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
    if (sCurrentDoc == this)
        windowDidResignKey();
    emit Closed(this);
}

void CorvaneDoc::windowDidBecomeKey()
{
    sCurrentDoc = this;
    updateActiveWindowMenuItems(false);
}

void CorvaneDoc::windowDidResignKey()
{
    if (sCurrentDoc == this)
        sCurrentDoc = nullptr;
    updateActiveWindowMenuItems(true);
}

void CorvaneDoc::setMPRPlaneVisibility(int plane, bool visible)
{
    if (m_atlasLoading)
        return;
    // The spaces are chosen here, on the main thread: the worker touches only these.
    std::vector<AtlasSpace*> spaces;
    for (int i = 0; m_detailRenderer && i < m_detailRenderer->GetNumVisibleAtlasSpaces(); ++i)
        if (AtlasSpace* space = m_detailRenderer->GetVisibleAtlasSpace(i))
            spaces.push_back(space);
    if (!std::all_of(spaces.begin(), spaces.end(), [](const AtlasSpace* s) { return s->FullAtlasIsLoaded(); }))
    {
        m_atlasLoading = true;
        m_loadingThread = std::make_unique<AtlasLoadingThread>(this, spaces, MPRVisibilityInfo(plane, visible));
        return;
    }
    try
    {
        m_expressionModel->UISetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(plane), visible, true);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
    showModelPlanes();
}

void CorvaneDoc::loadAtlasEnded()
{
    // The worker has handed over its last update: joining it does not wait.
    m_loadingThread.reset();
    m_atlasLoading = false;
    if (m_window && m_showingDetailViewMode)
        m_window->atlasPlaneToggleBar->setEnabled(true);
    validateMenuItem();
}

void CorvaneDoc::showModelPlanes()
{
    if (m_toolbar)
        m_toolbar->ShowModelPlanes();
}

void CorvaneDoc::showAnatomicSearch()
{
    if (!m_window)
        return;
    try
    {
        if (!m_anatomicSearchPanel)
        {
            m_anatomicSearchPanel = std::make_unique<AnatomicSearchController>(
                m_expressionModel->GetAtlas()->GetSearchConfig(), m_window.data());
            connect(m_anatomicSearchPanel->window(), &QDialog::finished, this, &CorvaneDoc::anatomicSearchSheetDidEnd);
        }
        m_anatomicSearchPanel->window()->open();
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(AtlasFileError::WithFile(e));
    }
}

void CorvaneDoc::anatomicSearchSheetDidEnd(int returnCode)
{
    m_anatomicSearchPanel->window()->hide();
    const std::string term = m_anatomicSearchPanel->searchString();
    const std::string name = m_anatomicSearchPanel->displayString();
    if (returnCode == 0 || term.empty())
        return;
    try
    {
        m_docWrapper->SearchForGene(name.c_str(), "", term.c_str(), false);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
}

void CorvaneDoc::findSimilarGenes(const std::string& name, int imageSeriesId)
{
    if (!m_window)
        return;
    try
    {
        if (!m_correlationChooser)
        {
            m_correlationChooser = std::make_unique<CorrelationDomainChooser>(
                m_expressionModel->GetAtlas()->GetSearchConfig(), m_window.data());
            connect(m_correlationChooser->window(), &QDialog::finished, this,
                    &CorvaneDoc::correlationDomainSheetDidEnd);
        }
        m_correlationChooser->setData(name.c_str(), imageSeriesId, m_lastCorrelationDomain,
                                      m_lastCorrelationPlaneRestriction, m_lastCorrelationGraphAnalysis);
        m_correlationChooser->window()->open();
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(AtlasFileError::WithFile(e));
    }
}

void CorvaneDoc::correlationDomainSheetDidEnd(int returnCode)
{
    m_correlationChooser->window()->hide();
    if (returnCode == 0)
        return;
    m_lastCorrelationDomain = m_correlationChooser->domain();
    m_lastCorrelationPlaneRestriction = m_correlationChooser->planeRestriction();
    m_lastCorrelationGraphAnalysis = false;
    try
    {
        // The sheet's graph choice builds the similar-gene graph; the next sheet starts without it again.
        m_docWrapper->SearchForSimilarGenes(m_correlationChooser->displayString(), "",
                                            m_correlationChooser->imageSeriesId(), m_lastCorrelationDomain,
                                            m_lastCorrelationPlaneRestriction, m_correlationChooser->graphAnalysis());
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
}

std::shared_ptr<GeneExpression> CorvaneDoc::SimilarSearchSeed() const
{
    const QModelIndexList rows =
        m_window ? m_window->geneListView->selectionModel()->selectedRows() : QModelIndexList();
    const std::shared_ptr<GeneExpression> gene =
        rows.isEmpty() ? nullptr : m_expressionModel->GetGene(rows.first().row());
    // The sheet's search runs within the program, on a data set the server can compare.
    const bool searchable =
        gene && m_expressionModel->GetAtlas()->HasIntegratedSearch() && GeneQuery::CanQuellar(gene.get());
    return searchable ? gene : nullptr;
}

void CorvaneDoc::FindSimilarGenesOfSelection()
{
    if (const std::shared_ptr<GeneExpression> seed = SimilarSearchSeed())
        findSimilarGenes(seed->GetSymbol(), seed->GetImageSeriesId());
}
