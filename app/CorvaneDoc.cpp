#include "app/CorvaneDoc.h"

#include "app/BookmarksController.h"
#include "app/BookmarksDataSource.h"
#include "app/BookmarksOutlineView.h"
#include "app/BookmarksStorage.h"
#include "app/ColorSwatchShapeCell.h"
#include "app/AnatomicSearchController.h"
#include "app/AtlasLoadingThread.h"
#include "app/ContextMenuTableView.h"
#include "app/CorrelationDomainChooser.h"
#include "app/CorvaneDocWrapper.h"
#include "app/CorvaneWindowController.h"
#include "app/DocumentToolbar.h"
#include "app/GeneTableModel.h"
#include "app/OntologyDataSource.h"
#include "app/ProgressAndTextCell.h"
#include "app/SegmentedControl.h"
#include "app/SingleDocumentController.h"
#include "app/ViewController3d.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/Alerts.h"
#include "core/DefaultsStore.h"
#include "core/Image3dPlane.h"
#include "core/OSUtils.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "expression/Bookmark.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/GeneQuery.h"
#include "gl/GLView.h"
#include "gl/GLViewWrapper.h"
#include "gl/TabControlRenderer.h"
#include "scene/BrainSceneRenderer.h"

#include <QAction>
#include <QByteArray>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTreeView>

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

CorvaneDoc* CorvaneDoc::initWithAtlas(unsigned int atlasId)
{
    try
    {
        // An atlas that is not installed gives no document.
        const std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(atlasId);
        return atlas ? new CorvaneDoc(atlas) : nullptr;
    }
    catch (...)
    {
        return nullptr;
    }
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
    ReleaseDisplay();
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
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
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
    SetUpGeneListMenu();
    DefaultsStore& store = PlatformHooks::GetDefaultsStore();
    if (store.HasValue(kWindowFrameKey))
        window->restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(store.GetValue(kWindowFrameKey))));

    m_geneTable = new GeneTableModel(m_expressionModel.get(), this);
    window->geneListView->setModel(m_geneTable);
    window->geneListView->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    window->geneListView->setItemDelegateForColumn(GeneTableModel::kColorColumn,
                                                   new ColorSwatchShapeCell(window->geneListView));
    connect(window->geneListView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_window->geneListView->selectionModel()->selectedRows();
        const std::shared_ptr<GeneExpression> gene =
            rows.isEmpty() ? nullptr : m_expressionModel->GetGene(rows.first().row());
        m_expressionModel->SelectGene(gene.get(), true);
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
            [this](const QString& text) { m_ontologyAlphaDataSource->setFilterString(text.toStdString()); });
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
    const AnnotationLabel* label = m_expressionModel->GetSelectedStructure();
    return label && label->index != 0 ? label : nullptr;
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
    if (!window)
        return;
    window->closeTabAction->setEnabled(m_docWrapper->CanCloseTab());
    window->newTabAction->setEnabled(m_docWrapper->CanCreateTab());
    window->zScoreAction->setEnabled(m_expressionModel->GetAtlas()->HasExpressionZScore());
    window->showViewSettingsAction->setChecked(window->viewSettingsContainer->isVisibleTo(window));
    window->expandedViewAction->setChecked(!window->listContainerView->isVisibleTo(window));
    window->searchAction->setEnabled(true);
    SingleDocumentController* documents = SingleDocumentController::Instance();
    window->openAction->setEnabled(documents->validateOpenDocument());
    AtlasSet* atlases = AtlasSet::GetAtlases();
    window->newAction->setEnabled(atlases && atlases->GetNumAtlases() > 0);
    window->showSearchableAction->setEnabled(m_showingDetailViewMode);
    window->showInnerAction->setEnabled(m_showingDetailViewMode);
    window->anatomicSearchAction->setEnabled(m_expressionModel->GetAtlas()->HasIntegratedSearch());
    window->similarSearchAction->setEnabled(SimilarSearchSeed() != nullptr);
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

void CorvaneDoc::searchForGene(const QString& text)
{
    const std::string term = text.trimmed().toStdString();
    if (term.empty())
        return;
    Atlas* atlas = m_expressionModel->GetAtlas();
    try
    {
        if (!atlas->HasIntegratedSearch())
        {
            std::string url = atlas->GetGeneSearchUrl("");
            const std::size_t at = url.find("%1%");
            if (at != std::string::npos)
                url.replace(at, 3, term);
            OSUtils::OpenBrowser(url);
            return;
        }
        m_docWrapper->SearchForGene(term.c_str(), "", term.c_str(), false);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
}

void CorvaneDoc::newTab()
{
    if (m_docWrapper->CanCreateTab())
        m_docWrapper->CreateNewTab(true, kTabList);
}

void CorvaneDoc::closeTab()
{
    if (m_docWrapper->CanCloseTab())
        m_tabRenderer->CloseTab(m_tabRenderer->GetActiveTab());
}

void CorvaneDoc::toggleExpandedView()
{
    if (m_window)
        m_window->listContainerView->setVisible(!m_window->listContainerView->isVisibleTo(m_window));
    validateMenuItem();
}

void CorvaneDoc::showViewSettings()
{
    if (m_window)
        m_window->viewSettingsContainer->setVisible(!m_window->viewSettingsContainer->isVisibleTo(m_window));
    validateMenuItem();
}

void CorvaneDoc::setOntologyDisplayMode(int mode)
{
    if (mode == m_ontologyDisplayMode || !m_window || mode < 0 || mode > 2)
        return;
    QTreeView* outlines[] = {m_window->alphaOntologyView, m_window->hierOntologyView, m_window->bookmarksView};
    outlines[mode]->setVisible(true);
    outlines[m_ontologyDisplayMode]->setVisible(false);
    m_ontologyDisplayMode = mode;
    outlines[mode]->setFocus();
    if (mode != kOntologyBookmarks)
        updateOntologySelection();
}

void CorvaneDoc::setToolMode(int segment)
{
    const int tag = m_window ? m_window->selectionTools->GetTag(segment) : -1;
    if (tag >= 0)
        m_expressionModel->SetToolMode(static_cast<BrainExpressionModel::ToolMode>(tag));
}

void CorvaneDoc::showSearchableStructures()
{
    m_expressionModel->ShowSearchableStructures();
}

void CorvaneDoc::showInnerStructures()
{
    m_expressionModel->ShowInnerStructures();
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
        ShowAlertBox(e.what());
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
        ShowAlertBox(e.what());
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

void CorvaneDoc::SetUpGeneListMenu()
{
    auto* table = qobject_cast<ContextMenuTableView*>(m_window->geneListView);
    if (!table)
        return;
    auto* menu = new QMenu(table);
    menu->setObjectName("geneListMenu");
    QAction* similar =
        menu->addAction(tr("Similar Data Set Search..."), this, [this] { FindSimilarGenesOfSelection(); });
    connect(menu, &QMenu::aboutToShow, this, [this, similar] { similar->setEnabled(SimilarSearchSeed() != nullptr); });
    table->setMenu(menu);
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
