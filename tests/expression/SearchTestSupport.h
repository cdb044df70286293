#pragma once

// What the search tests share: a listener that writes down every change of a result list, a printout of
// a row, and answers fed to a query through the scripted network in chunks of chosen sizes.

#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"
#include "expression/PagedGeneListListener.h"

#include "ExpressionTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

class ListRecorder : public PagedGeneListListener
{
public:
    void PagedGeneListChanged(int code, PagedGeneList* list, int index) override
    {
        std::string entry = std::to_string(code);
        if (code == LIST_PAGE_CHANGED || code == LIST_STATUS_CHANGED || (code == LIST_GENE_ADDED && logRows))
            entry += " " + std::to_string(index);
        if (code == LIST_STATUS_CHANGED || code == LIST_CLEARED_FOR_SEARCH || code == LIST_QUERY_FAILED)
            entry += " " + list->GetStatus();
        if (code == LIST_SIZE_KNOWN)
            entry += " " + std::to_string(list->GetNumGenes());
        if (code != LIST_GENE_ADDED || logRows || events.empty() || events.back() != "0")
            events.push_back(entry);
        if (onChange)
            onChange(code, list, index);
    }

    // Runs of row codes are written as one "0" unless logRows is set.
    bool logRows = false;
    std::vector<std::string> events;
    std::function<void(int, PagedGeneList*, int)> onChange;
};

inline std::string RowText(const GeneExpression* row)
{
    if (!row)
        return "-";
    char score[32];
    std::snprintf(score, sizeof score, "%g", row->GetScore());
    const AtlasSpace* space = row->GetAtlasSpace(0);
    return row->GetSymbol() + "|" + row->GetName() + "|" + row->GetProjectCode() + "|" + row->GetStorageDirectory() +
           "|" + row->GetCondition() + "|" + std::to_string(row->GetPlaneOfSection()) + "|" +
           std::to_string(row->GetImageSeriesId()) + "|" + std::to_string(row->GetGeneId()) + "|" + score + "|" +
           (row->IsCorrelationSearchAvailable() ? "corr" : "nocorr") + "|" + (space ? "space" : "nospace") +
           (row->IsLoaded() ? "|loaded" : "");
}

inline std::vector<std::string> Rows(const PagedGeneList& list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list.GetNumGenes(); ++i)
        rows.push_back(RowText(list.GetGene(i)));
    return rows;
}

// Feeds the answer of the request in flight in pieces: each size in turn (the last repeats), 0 meaning
// the whole rest; then ends the transfer.
inline void Answer(ScriptedNetwork& net, const std::string& body, const std::vector<std::size_t>& sizes = {0},
                   const std::string& mimeType = "application/xml", bool finish = true)
{
    net.Respond(mimeType, body.size());
    if (!net.transport.IsOpen())
        return;
    std::size_t at = 0;
    for (std::size_t k = 0; at < body.size(); ++k)
    {
        const std::size_t size = sizes[std::min(k, sizes.size() - 1)];
        const std::size_t take = size == 0 ? body.size() - at : std::min(size, body.size() - at);
        net.Data(body.substr(at, take));
        at += take;
        if (!net.transport.IsOpen())
            return;
    }
    if (finish && net.transport.IsOpen())
        net.Finish();
}

inline std::vector<std::size_t> RandomChunks(unsigned int seed, std::size_t total)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> size(1, std::max<std::size_t>(1, total / 4));
    std::vector<std::size_t> sizes;
    for (std::size_t sum = 0; sum < total;)
        sum += sizes.emplace_back(size(random));
    return sizes;
}
