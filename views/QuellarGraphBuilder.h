#pragma once

#include "expression/PagedGeneListListener.h"

#include <memory>
#include <string>

class Atlas;
class PagedGeneList;

namespace GeneRelation
{

class RelationGraph;
class QuellarGraphBuilderListener;

// Grows a two-level relation graph around one data set from similar-gene searches: the seed's hits, then the
// hits of each of the first ten of those, every hit related to the data set searched by the hit's score.
// One search runs at a time. Main thread only.
class QuellarGraphBuilder : public PagedGeneListListener
{
public:
    static constexpr int PAGE_SIZE = 11;
    static constexpr int MAX_SEED_INDEX = 10;

    // Neither the graph nor the listener (which may be null) is owned.
    QuellarGraphBuilder(RelationGraph* graph, QuellarGraphBuilderListener* listener);
    ~QuellarGraphBuilder() override;
    QuellarGraphBuilder(const QuellarGraphBuilder&) = delete;
    QuellarGraphBuilder& operator=(const QuellarGraphBuilder&) = delete;

    // Starts a build around the image series seriesId; a build already running is abandoned.
    void Quellar(Atlas* atlas, const char* symbol, int seriesId, int domainId, int planeRestriction);
    void PagedGeneListChanged(int code, PagedGeneList* list, int index) override;

private:
    void PrepareList(std::unique_ptr<PagedGeneList>& list);
    void AddHit(PagedGeneList* list, int index);
    // Starts the search of the next usable first-level entry; false when none is left.
    bool SearchNextSeed();
    void StartSearch(PagedGeneList& list);

    RelationGraph* m_graph;
    QuellarGraphBuilderListener* m_listener;
    std::unique_ptr<PagedGeneList> m_seedList;
    std::unique_ptr<PagedGeneList> m_resultList;
    std::string m_seedName;
    std::string m_seedSymbol;
    Atlas* m_atlas = nullptr;
    int m_seedSeriesId = 0;
    int m_seedGeneId = 0;
    int m_domainId = -1;
    int m_planeRestriction = 0;
    int m_nextSeedIndex = 0;
};

} // namespace GeneRelation
