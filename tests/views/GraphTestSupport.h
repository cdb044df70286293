#pragma once

// What the graph tests share against the demo server: the program's settings pointed at its generated
// atlases, the real Qt transport, and the similar-gene hits of a seed as an independent list sees them.

#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/BrainOntology.h"
#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"

#include "expression/DemoServerSession.h"
#include "expression/SearchTestSupport.h"
#include "platform/EventLoopSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class DemoServerTest : public ::testing::Test
{
protected:
    static const int TIMEOUT_MS = 30000;

    void SetUp() override
    {
        std::string reason;
        if (!session.Start(reason))
            GTEST_SKIP() << reason;
        server = session.server;
        atlas = AtlasSet::GetAtlasWithId(310);
        ASSERT_NE(nullptr, atlas);
        domain = static_cast<int>(atlas->GetOntology()->GetAnnotationLabelByIndex(1)->databaseId);
    }

    void TearDown() override { session.Stop(); }

    // Runs a search on a list of its own; false when it did not complete.
    bool RunSearch(PagedGeneList& list, const std::function<void()>& start)
    {
        ListRecorder recorder;
        list.AddListener(&recorder);
        start();
        const auto ended = [&] {
            return !recorder.events.empty() &&
                   (recorder.events.back() == "6" || recorder.events.back().rfind("7 ", 0) == 0);
        };
        const bool done = RunEventsUntil(ended, TIMEOUT_MS) && recorder.events.back() == "6";
        list.RemoveListener(&recorder);
        return done;
    }

    // The image-series id of the first data set of the atlas.
    int FirstSeries()
    {
        PagedGeneList list(10);
        EXPECT_TRUE(RunSearch(list, [&] { list.Search(atlas.get(), "", "", "all"); }));
        return list.GetGene(0) ? list.GetGene(0)->GetImageSeriesId() : 0;
    }

    // The first page of 11 hits (id, gene id, score) of the seed's similar-gene search.
    struct Hit
    {
        int seriesId, geneId;
        float score;
    };
    std::vector<Hit> SimilarTo(int seed)
    {
        PagedGeneList list(11);
        EXPECT_TRUE(RunSearch(list, [&] { list.Quellar(atlas.get(), "", seed, domain, "", 0, 11); })) << seed;
        std::vector<Hit> hits;
        for (int i = 0; i < list.GetNumGenes(); ++i)
            if (const GeneExpression* row = list.GetGene(i))
                hits.push_back({row->GetImageSeriesId(), row->GetGeneId(), row->GetScore()});
        return hits;
    }

    std::vector<int> SearchedSeeds(std::size_t since) const
    {
        std::vector<int> seeds;
        const std::vector<LoggedRequest> log = server->Log();
        for (std::size_t i = since; i < log.size(); ++i)
        {
            if (log[i].path != "/search/0310/correlation")
                continue;
            const std::size_t at = log[i].query.find("seed=");
            seeds.push_back(at == std::string::npos ? -1 : std::atoi(log[i].query.c_str() + at + 5));
        }
        return seeds;
    }

    DemoServerSession session;
    DemoServer* server = nullptr;
    std::shared_ptr<Atlas> atlas;
    int domain = 0;
};
