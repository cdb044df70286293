#include "app/CorvaneDocWrapper.h"

#include "app/BrainDocTab.h"
#include "app/CorvaneDoc.h"
#include "app/Notifications.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/GeneFetcher.h"
#include "expression/MicroarrayFetcher.h"
#include "expression/ModelChangeCode.h"
#include "expression/PagedGeneList.h"
#include "gl/GLViewWrapper.h"
#include "gl/TabControlRenderer.h"
#include "views/GeneRelationGraphRenderer.h"

#include <QObject>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace
{
constexpr int kMaxTabs = 5;

unsigned long RootDatabaseId(Atlas* atlas)
{
    const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
    const AnnotationLabel* root = ontology ? ontology->GetAnnotationLabelByIndex(1) : nullptr;
    return root ? root->databaseId : 0;
}
} // namespace

CorvaneDocWrapper::CorvaneDocWrapper(CorvaneDoc* doc)
    : m_doc(doc)
    , m_deferralContext(std::make_unique<QObject>())
{
    m_doc->expressionModel()->AddListener(this);
}

CorvaneDocWrapper::~CorvaneDocWrapper()
{
    m_doc->expressionModel()->RemoveListener(this);
    for (const auto& download : m_downloads)
        delete download.first;
    m_downloads.clear();
    DeleteClosedTabs();
}

void CorvaneDocWrapper::ModelChanged(int code, BrainExpressionModel* model, int argument)
{
    switch (code)
    {
    case EXPRESSION_SELECTOR_CHANGED:
    case STRUCTURE_SELECTOR_CHANGED:
        m_doc->redrawOntology();
        break;
    case GENE_ADDED:
        m_doc->reloadGeneList();
        m_doc->selectGene(argument);
        break;
    case ZOOM_CHANGED:
    case VIEW_RESET:
        emit Notifications::Instance()->ZoomChanged();
        break;
    case GENE_COLOR_CHANGED:
    case GENE_VISIBILITY_CHANGED:
        m_doc->redrawGeneList();
        break;
    case SELECTED_EXPRESSOR_CHANGED:
        m_doc->selectGene(model->GetSelectedExpressorsGeneIndex());
        break;
    case SELECTED_STRUCTURE_CHANGED:
        m_doc->updateOntologySelection();
        break;
    case IMAGE_ALPHA_CHANGED:
        emit Notifications::Instance()->ImageAlphaChanged();
        break;
    default:
        break;
    }
    m_doc->validateMenuItem();
}

void CorvaneDocWrapper::SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesTab)
{
    if (seriesTab)
        SwitchToSeriesSearchTab();
    else
        SwitchToListTab();
    PagedGeneList* list = GetSearchList();
    if (!list)
        return;
    list->Search(m_doc->expressionModel()->GetAtlas(), projectCode ? projectCode : "", term ? term : "",
                 listName ? listName : "");
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void CorvaneDocWrapper::SearchForGeneById(const char* symbol, const char* projectCode, int id)
{
    SwitchToSeriesSearchTab();
    PagedGeneList* list = GetSearchList();
    if (!list)
        return;
    list->Search(m_doc->expressionModel()->GetAtlas(), projectCode ? projectCode : "", id,
                 std::string(symbol ? symbol : "") + " (all)");
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void CorvaneDocWrapper::SearchForSimilarGenes(const char* name, const char* projectCode, int seriesId)
{
    SearchForSimilarGenes(name, projectCode, seriesId,
                          static_cast<int>(RootDatabaseId(m_doc->expressionModel()->GetAtlas())), 0, false);
}

void CorvaneDocWrapper::SearchForSimilarGenes(const char* name, const char* projectCode, int seriesId, int domainId,
                                              int planeRestriction, bool graph)
{
    if (domainId < 0)
        return;
    Atlas* atlas = m_doc->expressionModel()->GetAtlas();
    const std::string seed = name ? name : "";
    if (graph)
    {
        SwitchToDirectedGraphTab();
        BrainDocTab* tab = ActiveTab();
        if (!tab)
            return;
        const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
        const AnnotationLabel* domain =
            ontology ? ontology->GetAnnotationLabelByDatabaseId(static_cast<unsigned long>(domainId)) : nullptr;
        const std::string title = seed + " (" + (domain ? domain->name : std::string()) + ")";
        if (auto* graphRenderer = dynamic_cast<GeneRelationGraphRenderer*>(tab->renderer.get()))
            graphRenderer->LoadQuellar(title.c_str(), seed.c_str(), seriesId, domainId, planeRestriction);
        return;
    }
    SwitchToListTab();
    if (PagedGeneList* list = GetSearchList())
        list->Quellar(atlas, projectCode ? projectCode : "", seriesId, domainId, seed, planeRestriction, 0);
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void CorvaneDocWrapper::SearchForDifferentialExpression(const char* projectCode, unsigned long structureA,
                                                        unsigned long structureB, int planeRestriction)
{
    if (structureB == 0)
        return;
    SwitchToListTab();
    if (PagedGeneList* list = GetSearchList())
        list->DifferentialSearch(m_doc->expressionModel()->GetAtlas(), projectCode ? projectCode : "", structureA,
                                 structureB, planeRestriction);
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void CorvaneDocWrapper::LoadDirectedGraphFile(const char* path)
{
    // Read first: a file that gives no graph leaves the tabs as they were.
    const std::unique_ptr<GeneRelation::RelationGraph> graph = GeneRelationGraphRenderer::ReadFile(path);
    SwitchToDirectedGraphTab();
    BrainDocTab* tab = ActiveTab();
    if (!tab)
        return;
    if (auto* graphRenderer = dynamic_cast<GeneRelationGraphRenderer*>(tab->renderer.get()))
        graphRenderer->ShowFile(path, *graph);
}

void CorvaneDocWrapper::FetchExpressionData(const char* url, const float* rgb)
{
    // A fetcher that cannot start throws before it is counted.
    auto fetcher = std::make_unique<GeneFetcher>("", url ? url : "", this, nullptr, rgb);
    m_downloads.emplace(fetcher.release(), url ? url : "");
    UpdateDownloadStatusText();
}

void CorvaneDocWrapper::FetchMicroarrayData(const char* url, unsigned int donor, unsigned int well,
                                            unsigned int structure)
{
    auto fetcher = std::make_unique<MicroarrayFetcher>(url ? url : "", m_doc->expressionModel()->GetAtlas(), donor,
                                                       well, structure, this);
    m_downloads.emplace(fetcher.release(), url ? url : "");
    UpdateDownloadStatusText();
}

std::string CorvaneDocWrapper::FinishDownload(GeneFetcher* fetcher)
{
    std::string url;
    const auto found = m_downloads.find(fetcher);
    if (found != m_downloads.end())
    {
        url = found->second;
        m_downloads.erase(found);
        delete fetcher;
    }
    UpdateDownloadStatusText();
    return url;
}

void CorvaneDocWrapper::GeneLoaded(GeneFetcher* fetcher, const void* bytes, unsigned long size)
{
    std::string failure;
    bool failed = false;
    try
    {
        if (auto* microarray = dynamic_cast<MicroarrayFetcher*>(fetcher))
            microarray->LoadExpression(m_doc->expressionModel());
        else
        {
            auto dataSet = std::make_shared<GeneExpression>(bytes, size);
            const float* rgb = fetcher->GetColor();
            if (rgb)
                dataSet->SetColor(rgb[0], rgb[1], rgb[2]);
            m_doc->expressionModel()->AddGeneExpression(dataSet, rgb == nullptr);
        }
    }
    catch (const std::exception& e)
    {
        failed = true;
        failure = e.what();
    }
    catch (...)
    {
        failed = true;
    }
    const std::string url = FinishDownload(fetcher);
    if (failed)
        m_failures.push_back({"Unable to load data. " + failure, "", url});
    ReportFailures();
}

void CorvaneDocWrapper::GeneLoadError(GeneFetcher* fetcher, const std::string& message)
{
    // The message may belong to the fetcher: keep a copy before the fetcher goes.
    const std::string text = message;
    m_failures.push_back({text, "", FinishDownload(fetcher)});
    ReportFailures();
}

void CorvaneDocWrapper::StopDownloads()
{
    for (const auto& download : m_downloads)
        delete download.first;
    m_downloads.clear();
    UpdateDownloadStatusText();
    ReportFailures();
}

// The data sets of one request often fail together (the server went away): one alert when the last is done,
// rather than one for each, stacked on the window.
void CorvaneDocWrapper::ReportFailures()
{
    if (m_downloads.empty())
        GeneFetcher::ReportFailures(m_failures);
}

void CorvaneDocWrapper::UpdateDownloadStatusText()
{
    const std::size_t running = m_downloads.size();
    std::string text;
    if (running == 1)
        text = "Downloading data...";
    else if (running > 1)
        text = "Downloading data (" + std::to_string(running) + " remaining)";
    m_doc->setStatusText(text);
    if (QPushButton* stop = m_doc->stopButton())
        stop->setVisible(running > 0);
}

BrainDocTab* CorvaneDocWrapper::CreateNewTab(bool activate, TabType type)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return nullptr;
    m_doc->mainDisplay()->MakeCurrent();
    auto tab = std::make_unique<BrainDocTab>(m_doc->mainDisplay(), m_doc->expressionModel(), tabs, this, type);
    BrainDocTab* const made = tab.release();
    const int index = tabs->AddTab("Untitled", true, made);
    if (activate)
        tabs->SwitchTab(index);
    m_doc->updateActiveWindowMenuItems(false);
    return made;
}

BrainDocTab* CorvaneDocWrapper::ActiveTab()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    return tabs ? static_cast<BrainDocTab*>(tabs->GetTabData(tabs->GetActiveTab())) : nullptr;
}

BrainDocTab*& CorvaneDocWrapper::Remembered(TabType type)
{
    switch (type)
    {
    case kTabSeriesSearch:
        return m_seriesTab;
    case kTabDirectedGraph:
        return m_graphTab;
    default:
        return m_listTab;
    }
}

BrainDocTab* CorvaneDocWrapper::GetRememberedTab(TabType type) const
{
    return const_cast<CorvaneDocWrapper*>(this)->Remembered(type);
}

void CorvaneDocWrapper::SwitchToTab(TabType type)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return;
    BrainDocTab* active = ActiveTab();
    if (tabs->GetActiveTab() > 0 && active && active->type == type)
        return;
    const int remembered = FindTab(Remembered(type));
    if (remembered > 0)
    {
        tabs->SwitchTab(remembered);
        return;
    }
    Remembered(type) = CreateNewTab(true, type);
}

void CorvaneDocWrapper::SwitchToListTab()
{
    SwitchToTab(kTabList);
}

void CorvaneDocWrapper::SwitchToSeriesSearchTab()
{
    SwitchToTab(kTabSeriesSearch);
}

void CorvaneDocWrapper::SwitchToDirectedGraphTab()
{
    SwitchToTab(kTabDirectedGraph);
}

bool CorvaneDocWrapper::CanCreateTab()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    return tabs && m_doc->expressionModel()->GetAtlas()->HasIntegratedSearch() && tabs->GetNumTabs() < kMaxTabs;
}

bool CorvaneDocWrapper::CanCloseTab()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    return tabs && tabs->GetActiveTab() > 0;
}

void CorvaneDocWrapper::UpdateActiveTabName()
{
    BrainDocTab* tab = ActiveTab();
    if (tab && tab->list)
        m_doc->tabControlRenderer()->SetTabName(m_doc->tabControlRenderer()->GetActiveTab(),
                                                tab->list->GetName().c_str());
}

PagedGeneList* CorvaneDocWrapper::GetSearchList()
{
    BrainDocTab* tab = ActiveTab();
    return tab ? tab->list.get() : nullptr;
}

void CorvaneDocWrapper::TabWillSwitch(int index, void* data)
{
    auto* tab = static_cast<BrainDocTab*>(data);
    if (index >= 1 && tab && tab->type == kTabList)
        m_listTab = tab;
}

void CorvaneDocWrapper::TabSwitched(int, void* data)
{
    auto* tab = static_cast<BrainDocTab*>(data);
    m_doc->switchRenderer(tab ? tab->renderer.get() : nullptr);
}

void CorvaneDocWrapper::TabClosed(int index, void* data)
{
    auto* closed = static_cast<BrainDocTab*>(data);
    if (!closed)
        return;
    std::unique_ptr<BrainDocTab> owned(closed);
    // While the bar is destroyed it still holds the tab it reports: the search must pass it over.
    m_closedFrom = index;
    m_closingTab = closed;
    for (TabType type : {kTabList, kTabSeriesSearch, kTabDirectedGraph})
        if (Remembered(type) == closed)
            Remembered(type) = FindClosestTab(index, type);
    m_closedFrom = -1;
    m_closingTab = nullptr;
    if (m_releasing)
    {
        if (m_doc->mainDisplay())
            m_doc->mainDisplay()->MakeCurrent();
        owned.reset();
        return;
    }
    m_closedTabs.push_back(std::move(owned));
    QTimer::singleShot(0, m_deferralContext.get(), [this] { DeleteClosedTabs(); });
    m_doc->updateActiveWindowMenuItems(false);
}

void CorvaneDocWrapper::DeleteClosedTabs()
{
    if (m_closedTabs.empty())
        return;
    if (m_doc->mainDisplay())
        m_doc->mainDisplay()->MakeCurrent();
    m_closedTabs.clear();
}

int CorvaneDocWrapper::FindTab(void* tab)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tab || !tabs || tabs->GetNumTabs() < 2)
        return -1;
    for (int i = 1; i < tabs->GetNumTabs(); ++i)
        if (tabs->GetTabData(i) == tab)
            return i;
    return -1;
}

BrainDocTab* CorvaneDocWrapper::FindClosestTab(int index, TabType type)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return nullptr;
    // A bar that is going away still holds the tab it reports closed, and every tab after it is gone.
    const int count =
        m_closedFrom >= 0 && m_closedFrom < tabs->GetNumTabs() && tabs->GetTabData(m_closedFrom) == m_closingTab
            ? m_closedFrom
            : tabs->GetNumTabs();
    auto matches = [&](int i) {
        auto* tab = static_cast<BrainDocTab*>(tabs->GetTabData(i));
        return tab && tab->type == type ? tab : nullptr;
    };
    BrainDocTab* forward = nullptr;
    int forwardDistance = 0;
    for (int i = std::max(index, 0); i < count; ++i)
        if ((forward = matches(i)) != nullptr)
        {
            forwardDistance = i - index;
            break;
        }
    if (index < 1)
        return forward;
    for (int i = std::min(index, count - 1); i >= 1; --i)
        if (BrainDocTab* backward = matches(i))
            return forward && forwardDistance < index - i ? forward : backward;
    return forward;
}
