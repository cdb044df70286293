#include "views/QuellarGraphBuilder.h"
#include "views/QuellarGraphBuilderListener.h"
#include "views/RelationGraph.h"

#include "GraphTestSupport.h"

#include <algorithm>
#include <cmath>
#include <map>

using GeneRelation::QuellarGraphBuilder;
using GeneRelation::RelationGraph;

namespace
{

class BuildRecorder : public GeneRelation::QuellarGraphBuilderListener
{
public:
    void GraphBuildUpdate(const char* text) override { events.push_back(text); }
    void GraphBuildComplete(QuellarGraphBuilder*) override { events.push_back("complete"); }
    void GraphBuildError(QuellarGraphBuilder*, const char* text) override
    {
        events.push_back(std::string("error ") + text);
    }
    bool Ended() const
    {
        return !events.empty() && (events.back() == "complete" || events.back().rfind("error ", 0) == 0);
    }
    std::vector<std::string> events;
};

// Every relation of the graph, keyed by its ordered pair of image-series ids.
std::map<std::pair<int, int>, float> Relations(const RelationGraph& graph)
{
    std::map<std::pair<int, int>, float> relations;
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        for (auto edge = node->second->EdgeBegin(); edge != node->second->EdgeEnd(); ++edge)
        {
            const int a = node->first, b = edge->first->GetImageSeriesId();
            relations.emplace(std::make_pair(std::min(a, b), std::max(a, b)), edge->second);
        }
    return relations;
}

} // namespace

TEST_F(DemoServerTest, BuilderSearchesTheSeedAndItsFirstTenHits)
{
    const int seed = FirstSeries();
    ASSERT_NE(0, seed);
    RelationGraph graph;
    BuildRecorder recorder;
    const std::size_t before = server->Log().size();
    {
        QuellarGraphBuilder builder(&graph, &recorder);
        builder.Quellar(atlas.get(), "Seed", seed, domain, 0);
        ASSERT_TRUE(RunEventsUntil([&] { return recorder.Ended(); }, TIMEOUT_MS));
    }
    const std::vector<int> searched = SearchedSeeds(before);
    ASSERT_EQ("complete", recorder.events.back());
    EXPECT_EQ("Starting search", recorder.events.front());

    const std::vector<Hit> first = SimilarTo(seed);
    ASSERT_GT(first.size(), 2u);
    EXPECT_EQ(seed, first[0].seriesId); // the server answers the seed first
    std::vector<int> expectedSeeds{seed};
    for (std::size_t i = 1; i < first.size() && i <= 10; ++i)
        expectedSeeds.push_back(first[i].seriesId);
    EXPECT_EQ(expectedSeeds, searched);
    EXPECT_LE(searched.size(), 11u);
    EXPECT_EQ(1, std::count(searched.begin(), searched.end(), seed));
    EXPECT_EQ(expectedSeeds.size() + 1, recorder.events.size()); // one update per search, then complete

    // The hits of each search, related to the data set searched; negative scores relate nothing and a
    // pair met again keeps its first weight.
    std::map<std::pair<int, int>, float> expected;
    for (const int searchedSeed : expectedSeeds)
        for (const Hit& hit : SimilarTo(searchedSeed))
        {
            if (hit.seriesId == searchedSeed)
                continue;
            if (!(hit.score >= 0.0f))
                continue;
            expected.emplace(std::make_pair(std::min(searchedSeed, hit.seriesId), std::max(searchedSeed, hit.seriesId)),
                             hit.score);
        }
    EXPECT_EQ(expected, Relations(graph));
    ASSERT_NE(nullptr, graph.GetNode(first[1].seriesId));
    EXPECT_EQ(first[1].geneId, graph.GetNode(first[1].seriesId)->GetGeneId());
}

TEST_F(DemoServerTest, BuilderEndsOnSeedsWithoutHitsAndOnFailures)
{
    const struct
    {
        int seed;
        std::string last;
    } cases[] = {
        {123456789, "complete"}, // no such series: no hits
        {9990500, "error Error: "},
    };
    for (const auto& c : cases)
    {
        RelationGraph graph;
        BuildRecorder recorder;
        const std::size_t before = server->Log().size();
        auto builder = std::make_unique<QuellarGraphBuilder>(&graph, &recorder);
        builder->Quellar(atlas.get(), "Seed", c.seed, domain, 0);
        ASSERT_TRUE(RunEventsUntil([&] { return recorder.Ended(); }, TIMEOUT_MS)) << c.seed;
        EXPECT_EQ(c.last, recorder.events.back().substr(0, c.last.size())) << c.seed;
        EXPECT_EQ(2u, recorder.events.size()) << c.seed;
        EXPECT_EQ((std::vector<int>{c.seed}), SearchedSeeds(before));
        EXPECT_EQ(0, graph.GetNumNodes());
        builder.reset();
        RunEventsFor(50);
    }
}

TEST_F(DemoServerTest, BuilderStartedAgainAbandonsTheFirstBuild)
{
    const int seed = FirstSeries();
    RelationGraph graph;
    BuildRecorder recorder;
    QuellarGraphBuilder builder(&graph, &recorder);
    builder.Quellar(atlas.get(), "Slow", 9990005, domain, 0);
    RunEventsFor(100);
    recorder.events.clear();
    builder.Quellar(atlas.get(), "Seed", seed, domain, 0);
    ASSERT_TRUE(RunEventsUntil([&] { return recorder.Ended(); }, TIMEOUT_MS));
    EXPECT_EQ("complete", recorder.events.back());
    EXPECT_GT(graph.GetNumNodes(), 1);
}
