#pragma once

// What the thumbnail browser tests share: the demo server's atlases and the real Qt transport, a settings
// store of each test's own, alerts and searches written down, a cache that counts its calls, and results
// made by hand. Free of GL headers, so that tests of real windows can use it too.

#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/MemoryGeneExpressionCache.h"
#include "expression/PagedGeneList.h"
#include "expression/SearchController.h"
#include "gl/support/GLTestContext.h"
#include "platform/EventLoopSupport.h"
#include "views/ExpressionThumbnailRenderer.h"

#include "RecordingHooks.h"
#include "expression/DemoServerSession.h"

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace thumbtest
{

constexpr int kTimeoutMs = 30000;
// Reserved data-set ids of the demo server.
constexpr int kNotFoundId = 9990404;
constexpr int kBadCrcId = 9990003;
constexpr int kSlowId = 9990005;

class RecordingSearches : public SearchController
{
public:
    void SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesSearch) override
    {
        calls.push_back(std::string("gene ") + listName + "|" + projectCode + "|" + term + "|" +
                        (seriesSearch ? "series" : "list"));
    }
    void SearchForGeneById(const char*, const char*, int) override { calls.push_back("by id"); }
    void SearchForSimilarGenes(const char* name, const char* projectCode, int seedId) override
    {
        calls.push_back(std::string("similar ") + name + "|" + projectCode + "|" + std::to_string(seedId));
    }
    void FetchExpressionData(const char*, const float*) override { calls.push_back("fetch"); }
    void FetchMicroarrayData(const char*, unsigned int, unsigned int, unsigned int) override
    {
        calls.push_back("microarray");
    }
    int GetNumQueuedExpressionDownloads() override { return 0; }
    std::vector<std::string> calls;
};

// Counts lookups, additions and the clean-ups that callers ask for (not those AddGene runs itself).
class CountingCache : public MemoryGeneExpressionCache
{
public:
    void AddGene(unsigned int id, int k, GeneIdType type, const unsigned char* data, unsigned long size) override
    {
        added.push_back(id);
        inAdd = true;
        MemoryGeneExpressionCache::AddGene(id, k, type, data, size);
        inAdd = false;
    }
    bool GetGene(unsigned int id, int k, GeneIdType type, MemoryStream& out) override
    {
        lookedUp.push_back(id);
        return MemoryGeneExpressionCache::GetGene(id, k, type, out);
    }
    void CleanCache() override
    {
        cleans += inAdd ? 0 : 1;
        MemoryGeneExpressionCache::CleanCache();
    }
    std::vector<unsigned int> added, lookedUp;
    int cleans = 0;
    bool inAdd = false;
};

// Settings, atlases, transport, alerts and a fresh thumbnail cache for one test.
class ServerEnvironment
{
public:
    // False (with the reason) when this build has no server or no display.
    bool Start(std::string& reason)
    {
        if (!session.Start(reason))
            return false;
        GLTestContext::Instance().MakeCurrent();
        ExpressionThumbnailRenderer::SetThumbnailCache(&cache);
        atlas = AtlasSet::GetAtlasWithId(310);
        server = session.server;
        return atlas != nullptr;
    }

    ~ServerEnvironment()
    {
        if (!session.transport)
            return;
        session.Stop();
        ExpressionThumbnailRenderer::SetThumbnailCache(nullptr);
    }

    // The atlas's data-set URL of an id ("thumbnail" or "visualize").
    std::string Url(int id, const char* kind) const
    {
        return (boost::format(atlas->GetGridDownloadUrl("")) % id % kind).str();
    }

    // Thumbnail requests in the server's log.
    int ThumbnailRequests() const
    {
        int count = 0;
        for (const LoggedRequest& request : server->Log())
            count += request.path.find("thumbnail") != std::string::npos;
        return count;
    }

    // A search result placed in the atlas's first space, as the search makes them.
    std::unique_ptr<GeneExpression> Result(int seriesId, int geneId, const std::string& symbol, int plane = 0,
                                           float score = -1.0f)
    {
        auto gene = std::make_unique<GeneExpression>(("name of " + symbol).c_str(), symbol.c_str(), "", "", "", plane,
                                                     seriesId, geneId, score);
        gene->AddAtlasSpace(atlas->GetSpace(0u));
        return gene;
    }

    DemoServerSession session;
    DemoServer* server = nullptr;
    RecordingAlerts alerts;
    CountingCache cache;
    std::shared_ptr<Atlas> atlas;
};

} // namespace thumbtest
