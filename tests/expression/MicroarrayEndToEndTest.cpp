// Microarray data from the demo server: a link of an atlas 351 search page goes through the URL request,
// the document's microarray download and LoadExpression into a model of the generated atlas.

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/GeneFetcher.h"
#include "expression/MicroarrayExpression.h"
#include "expression/MicroarrayFetcher.h"
#include "expression/SearchController.h"
#include "expression/UrlProtocolParser.h"

#include "DemoServerSession.h"
#include "MicroarrayTestSupport.h"
#include "platform/EventLoopSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using Strings = std::vector<std::string>;
const int TIMEOUT_MS = 30000;

// The document side: microarray requests become downloads whose data go into its model.
class MicroarrayDocument : public SearchController, public GeneFetchCompletionListener
{
public:
    explicit MicroarrayDocument(std::shared_ptr<Atlas> atlas)
        : model(std::move(atlas))
    {
        model.AddListener(&recorder);
    }
    ~MicroarrayDocument() override { model.RemoveListener(&recorder); }

    void SearchForGene(const char*, const char*, const char*, bool) override {}
    void SearchForGeneById(const char*, const char*, int) override {}
    void SearchForSimilarGenes(const char*, const char*, int) override {}
    void FetchExpressionData(const char*, const float*) override {}
    void FetchMicroarrayData(const char* url, unsigned int donorId, unsigned int wellId,
                             unsigned int structureId) override
    {
        requests.push_back(std::string(url) + " " + std::to_string(donorId) + " " + std::to_string(wellId) + " " +
                           std::to_string(structureId));
        fetchers.push_back(
            std::make_unique<MicroarrayFetcher>(url, model.GetAtlas(), donorId, wellId, structureId, this));
    }
    int GetNumQueuedExpressionDownloads() override { return static_cast<int>(fetchers.size()); }

    void GeneLoaded(GeneFetcher* fetcher, const void*, unsigned long) override
    {
        try
        {
            static_cast<MicroarrayFetcher*>(fetcher)->LoadExpression(&model);
        }
        catch (const std::exception& error)
        {
            errors.push_back(error.what());
        }
        Forget(fetcher);
    }
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override
    {
        errors.push_back(message);
        Forget(fetcher);
    }
    void Forget(GeneFetcher* fetcher)
    {
        for (auto it = fetchers.begin(); it != fetchers.end(); ++it)
            if (it->get() == fetcher)
            {
                fetchers.erase(it);
                return;
            }
    }
    // The model's data-set additions and expressor selections.
    Strings Changes() const
    {
        Strings changes;
        for (const auto& [code, argument] : recorder.events)
            if (code == GENE_ADDED || code == SELECTED_EXPRESSOR_CHANGED)
                changes.push_back(std::to_string(code) + ":" + std::to_string(argument));
        return changes;
    }

    BrainExpressionModel model;
    Recorder recorder;
    std::vector<std::unique_ptr<MicroarrayFetcher>> fetchers;
    Strings requests, errors;
};

// Python's reading of the server's document: per probe and donor the levels, then each donor's samples.
const char* const PYTHON_DOCUMENT = R"(
import json, sys, urllib.request
document = json.load(urllib.request.urlopen(sys.argv[1]))
donors = [s["donor"]["id"] for s in document["samples"]]
for probe in document["probes"]:
    for donor in sorted(set(donors)):
        levels = [repr(float(v)) for v, d in zip(probe["expression_level"], donors) if d == donor]
        print("levels %d %d %s" % (probe["id"], donor, " ".join(levels)))
for s in document["samples"]:
    print("sample %d %d %d" % (s["donor"]["id"], s["sample"]["well"], s["structure"]["id"]))
)";

std::string QueryValue(const std::string& link, const std::string& key)
{
    const std::size_t at = link.find(key + "=");
    if (at == std::string::npos)
        return "";
    const std::size_t start = at + key.size() + 1;
    return link.substr(start, link.find('&', start) - start);
}

class MicroarrayEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string reason;
        if (!HavePython())
            GTEST_SKIP() << "no generator, Python or demo server in this build";
        if (!session.Start(reason))
            GTEST_SKIP() << reason;
        server = session.server;
        MicroarrayExpression::ResetProcessWideState();
    }

    void TearDown() override { session.Stop(); }

    // Runs a link of the application's scheme through its request into the document.
    static void Request(const std::string& link, MicroarrayDocument& document)
    {
        UrlProtocolParser request(link);
        request.RequestData(&document);
        ASSERT_TRUE(RunEventsUntil([&] { return document.fetchers.empty(); }, TIMEOUT_MS));
    }

    DemoServerSession session;
    DemoServer* server = nullptr;
};

TEST_F(MicroarrayEndToEndTest, ALinkOfTheSearchPageLoadsItsProbesAndSelectsTheWell)
{
    const std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(351);
    ASSERT_NE(nullptr, atlas);
    // The first link of the search page, asking for two probes.
    const std::string page = PythonOutput("import sys, urllib.request\n"
                                          "print(urllib.request.urlopen(sys.argv[1]).read().decode())\n",
                                          {server->Base() + "/search/0351/gene?term="});
    std::vector<std::string> probeIds;
    for (std::size_t at = 0; probeIds.size() < 2 && (at = page.find("probes=", at)) != std::string::npos; ++at)
        probeIds.push_back(page.substr(at + 7, page.find('&', at) - at - 7));
    const std::size_t start = page.find("corv://");
    ASSERT_NE(std::string::npos, start);
    ASSERT_EQ(2u, probeIds.size());
    std::string link = page.substr(start, page.find('"', start) - start);
    for (std::size_t at; (at = link.find("&amp;")) != std::string::npos;)
        link.replace(at, 5, "&");
    link.replace(link.find("probes=") + 7, probeIds[0].size(), probeIds[0] + "," + probeIds[1]);
    const unsigned int donor = static_cast<unsigned int>(std::stoul(QueryValue(link, "selectedDonor")));
    const unsigned int well = static_cast<unsigned int>(std::stoul(QueryValue(link, "well")));
    const std::string url = "http" + link.substr(4);

    MicroarrayDocument document(atlas);
    Request(link, document);
    EXPECT_EQ(Strings{url + " " + std::to_string(donor) + " " + std::to_string(well) + " 0"}, document.requests);
    EXPECT_EQ(Strings{}, document.errors);
    EXPECT_EQ((Strings{"3:0", "3:1", "18:0"}), document.Changes());
    ASSERT_EQ(2, document.model.GetNumGenes());

    // Per probe and donor, the levels are the document's as Python reads them.
    std::map<unsigned int, std::vector<std::pair<unsigned int, unsigned int>>> samples; // donor: (well, structure)
    for (const std::string& line : Lines(PythonOutput(PYTHON_DOCUMENT, {url})))
    {
        std::istringstream in(line);
        std::string kind;
        unsigned int a = 0, b = 0;
        in >> kind >> a >> b;
        if (kind == "sample")
        {
            unsigned int structure = 0;
            in >> structure;
            samples[a].emplace_back(b, structure);
            continue;
        }
        MicroarrayExpression* data = MicroarrayFetcher::FindProbeInModel(&document.model, a);
        ASSERT_NE(nullptr, data) << "probe " << a;
        AtlasSpace* space = nullptr;
        for (unsigned int s = 0; s < atlas->GetNumSpaces(); ++s)
            if (atlas->GetSpace(s)->GetSpaceId() == static_cast<int>(b))
                space = atlas->GetSpace(s);
        ASSERT_NE(nullptr, space) << "donor " << b;
        const std::vector<float>* levels = data->GetMicroarrayExpressionLevels(space);
        ASSERT_NE(nullptr, levels);
        std::vector<float> expected;
        for (std::string value; in >> value;)
            expected.push_back(static_cast<float>(std::strtod(value.c_str(), nullptr)));
        EXPECT_EQ(expected, std::vector<float>(levels->begin() + 2, levels->end())) << line;
    }
    ASSERT_EQ(atlas->GetNumSpaces(), samples.size());

    const MicroarrayExpression* selected =
        MicroarrayFetcher::FindProbeInModel(&document.model, static_cast<unsigned int>(std::stoul(probeIds[1])));
    EXPECT_EQ(selected, document.model.GetSelectedExpressorsGene());
    EXPECT_EQ(donor, static_cast<unsigned int>(document.model.GetSelectedExpressorsSpace()->GetSpaceId()));
    EXPECT_EQ(well, document.model.GetSelectedSampleId());

    // Asked again: nothing is added, and the well is selected once more.
    document.model.SelectExpressor(nullptr, nullptr, nullptr, false);
    document.recorder.events.clear();
    Request(link, document);
    EXPECT_EQ(Strings{"18:0"}, document.Changes());
    EXPECT_EQ(2, document.model.GetNumGenes());
    EXPECT_EQ(well, document.model.GetSelectedSampleId());

    // A well that no donor has: the first sample inside the requested structure is selected.
    const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
    const AnnotationLabel* cortex = ontology->GetAnnotationLabel(std::string("Cx"));
    unsigned int expectedWell = 0;
    for (const auto& [sampleWell, structure] : samples[donor])
        if (expectedWell == 0 &&
            ontology->GetAnnotationLabelByDatabaseId(structure)->selector.Intersects(cortex->subtreeSelector))
            expectedWell = sampleWell;
    ASSERT_NE(0u, expectedWell);
    std::string fallback = link;
    fallback.replace(fallback.find("well=") + 5, std::to_string(well).size(), "1");
    Request(fallback + "&structure=" + std::to_string(cortex->databaseId), document);
    EXPECT_EQ(expectedWell, document.model.GetSelectedSampleId());
    EXPECT_EQ(2, document.model.GetNumGenes());
    EXPECT_EQ(Strings{}, document.errors);
}

} // namespace
