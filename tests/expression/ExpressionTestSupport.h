#pragma once

// Stand-ins for the platform that the expression tests share: a confirmation hook that records what it
// was asked, a document that records what it was told to search and download, and the settings and
// network hooks installed for the life of a test.

#include "core/MemoryDefaultsStore.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "expression/SearchController.h"

#include "RecordingHooks.h"
#include "ScriptedTransport.h"

#include <cstdio>
#include <string>
#include <vector>

inline std::string ColorText(const float* rgb)
{
    if (!rgb)
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.4f/%.4f/%.4f", rgb[0], rgb[1], rgb[2]);
    return text;
}

// Writes each request as one line.
class RecordingController : public SearchController
{
public:
    void SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesSearch) override
    {
        calls.push_back(std::string("gene ") + listName + " " + projectCode + " " + term + " " +
                        (seriesSearch ? "series" : "list"));
    }
    void SearchForGeneById(const char* geneName, const char* projectCode, int geneId) override
    {
        calls.push_back(std::string("geneid ") + geneName + " " + projectCode + " " + std::to_string(geneId));
    }
    void SearchForSimilarGenes(const char* name, const char* projectCode, int seedId) override
    {
        calls.push_back(std::string("similar ") + name + " " + projectCode + " " + std::to_string(seedId));
    }
    void FetchExpressionData(const char* url, const float* rgb) override
    {
        calls.push_back(std::string("expression ") + url + " " + ColorText(rgb));
    }
    void FetchMicroarrayData(const char* url, unsigned int donorId, unsigned int wellId,
                             unsigned int structureId) override
    {
        calls.push_back(std::string("microarray ") + url + " " + std::to_string(donorId) + " " +
                        std::to_string(wellId) + " " + std::to_string(structureId));
    }
    int GetNumQueuedExpressionDownloads() override { return queued; }

    int queued = 0;
    std::vector<std::string> calls;
};

// The settings store and a scripted network for the life of a test.
class ScriptedNetwork
{
public:
    ScriptedNetwork()
    {
        PlatformHooks::SetDefaultsStore(&m_store);
        PlatformHooks::SetNetTransport(&transport);
        UserPreferences::ResetPreferences();
    }
    ~ScriptedNetwork()
    {
        PlatformHooks::SetNetTransport(nullptr);
        UserPreferences::ResetPreferences();
        PlatformHooks::SetDefaultsStore(nullptr);
    }
    ScriptedNetwork(const ScriptedNetwork&) = delete;
    ScriptedNetwork& operator=(const ScriptedNetwork&) = delete;

    void Respond(const std::string& mimeType, unsigned long length, int status = 200)
    {
        transport.client->ConnectionResponse(status, mimeType, length);
    }
    void Data(const std::string& bytes) { transport.client->ConnectionData(bytes.data(), bytes.size()); }
    void Finish() { transport.client->ConnectionFinished(); }
    void Fail(const std::string& message) { transport.client->ConnectionFailed(message); }
    std::string LastUrl() const { return transport.requests.empty() ? "" : transport.requests.back().url; }

    ScriptedTransport transport;

private:
    MemoryDefaultsStore m_store;
};
