#include "views/QuellarGraphBuilder.h"

#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"
#include "views/QuellarGraphBuilderListener.h"
#include "views/RelationGraph.h"

namespace GeneRelation
{

QuellarGraphBuilder::QuellarGraphBuilder(RelationGraph* graph, QuellarGraphBuilderListener* listener)
    : m_graph(graph)
    , m_listener(listener)
{
}

// The lists go first (members die in reverse order), which ends their searches.
QuellarGraphBuilder::~QuellarGraphBuilder() = default;

void QuellarGraphBuilder::Quellar(Atlas* atlas, const char* symbol, int seriesId, int domainId, int planeRestriction)
{
    m_atlas = atlas;
    m_seedSeriesId = seriesId;
    m_domainId = domainId;
    m_planeRestriction = planeRestriction;
    m_seedSymbol = symbol ? symbol : "";
    m_seedName.clear();
    m_seedGeneId = 0;
    m_nextSeedIndex = 1;
    PrepareList(m_resultList);
    PrepareList(m_seedList);
    if (m_listener)
        m_listener->GraphBuildUpdate("Starting search");
    // The search empties the list again; until then the seed stands as entry 0, which is never searched.
    m_seedList->AddGene(
        std::make_unique<GeneExpression>(m_seedSymbol.c_str(), m_seedSymbol.c_str(), "", seriesId, 0, 0.0f));
    StartSearch(*m_seedList);
}

void QuellarGraphBuilder::PrepareList(std::unique_ptr<PagedGeneList>& list)
{
    if (list)
    {
        list->AbortSearch();
        list->RemoveGenes(false);
        return;
    }
    list = std::make_unique<PagedGeneList>(PAGE_SIZE);
    list->AddListener(this);
}

void QuellarGraphBuilder::StartSearch(PagedGeneList& list)
{
    list.Quellar(m_atlas, "", m_seedSeriesId, m_domainId, "", m_planeRestriction, PAGE_SIZE);
}

void QuellarGraphBuilder::PagedGeneListChanged(int code, PagedGeneList* list, int index)
{
    if (code == LIST_GENE_ADDED)
        AddHit(list, index);
    else if (code == LIST_QUERY_COMPLETE)
    {
        if (!SearchNextSeed() && m_listener)
            m_listener->GraphBuildComplete(this);
    }
    else if (code == LIST_QUERY_FAILED && m_listener)
    {
        std::string status;
        list->GetStatusString(status);
        m_listener->GraphBuildError(this, status.c_str());
    }
}

void QuellarGraphBuilder::AddHit(PagedGeneList* list, int index)
{
    const GeneExpression* hit = list->GetGene(index);
    if (!hit || hit->GetImageSeriesId() == m_seedSeriesId)
        return;
    // The graph refuses weights that are no finite number of 0 or more.
    m_graph->AddRelation(m_seedSeriesId, m_seedGeneId, m_seedName.c_str(), m_seedSymbol.c_str(),
                         hit->GetImageSeriesId(), hit->GetGeneId(), hit->GetName().c_str(), hit->GetSymbol().c_str(),
                         hit->GetScore());
}

bool QuellarGraphBuilder::SearchNextSeed()
{
    while (m_nextSeedIndex < m_seedList->GetNumGenes() && m_nextSeedIndex <= MAX_SEED_INDEX)
    {
        const GeneExpression* entry = m_seedList->GetGene(m_nextSeedIndex++);
        if (!entry || entry->GetImageSeriesId() == 0)
            continue;
        m_seedSeriesId = entry->GetImageSeriesId();
        m_seedGeneId = entry->GetGeneId();
        m_seedName = entry->GetName();
        m_seedSymbol = entry->GetSymbol();
        if (m_listener)
            m_listener->GraphBuildUpdate(("Searching for " + m_seedName).c_str());
        m_resultList->RemoveGenes(false);
        StartSearch(*m_resultList);
        return true;
    }
    return false;
}

} // namespace GeneRelation
