// Searches, downloads and URL requests of the program against the demo server, through the real Qt
// transport; the server's request log shows what was asked for.

#include "atlas/Atlas.h"
#include "atlas/AtlasSet.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/MemoryStreamRef.h"
#include "core/StringUtils.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/GeneFetcher.h"
#include "expression/PagedGeneList.h"
#include "expression/SearchController.h"
#include "expression/UrlProtocolParser.h"

#include "DemoServerSession.h"
#include "ExpressionTestSupport.h"
#include "SearchTestSupport.h"
#include "platform/EventLoopSupport.h"

#include <boost/format.hpp>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Strings = std::vector<std::string>;
const int TIMEOUT_MS = 30000;

std::map<std::string, std::string> QueryOf(const std::string& query)
{
    std::map<std::string, std::string> values;
    std::vector<std::string> pieces;
    StringUtils::SplitLine(query, pieces, '&');
    for (const std::string& piece : pieces)
    {
        const std::size_t equals = piece.find('=');
        values[piece.substr(0, equals)] = equals == std::string::npos ? "" : piece.substr(equals + 1);
    }
    return values;
}

std::string Fill(const std::string& pattern, const std::string& a, const std::string& b = "")
{
    boost::format format(pattern);
    format.exceptions(boost::io::no_error_bits);
    return (format % a % b).str();
}

// Keeps the bytes and every progress report of one download.
class FetchRecorder : public GeneFetchCompletionListener
{
public:
    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size) override
    {
        bytes.assign(static_cast<const char*>(data), size);
        End(fetcher);
    }
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override
    {
        error = message;
        End(fetcher);
    }
    void GeneDataReceived(GeneFetcher*, float value) override { progress.push_back(value); }

    void End(GeneFetcher* fetcher)
    {
        done = true;
        if (deleteFetcher)
            delete fetcher;
    }

    std::string bytes, error;
    std::vector<float> progress;
    bool done = false;
    bool deleteFetcher = false;
};

// The document side as the application shell gives it: searches go into its two lists, data sets are
// downloaded with fetchers of its own and added to its model; microarray requests are written down.
class TestDocument : public SearchController, public GeneFetchCompletionListener
{
public:
    explicit TestDocument(std::shared_ptr<Atlas> atlas)
        : atlas(atlas)
        , model(atlas)
    {
    }

    void SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesSearch) override
    {
        (seriesSearch ? seriesList : list).Search(atlas.get(), projectCode, term, listName);
    }
    void SearchForGeneById(const char* geneName, const char* projectCode, int geneId) override
    {
        seriesList.Search(atlas.get(), projectCode, geneId, std::string(geneName) + " (all)");
    }
    void SearchForSimilarGenes(const char* name, const char* projectCode, int seedId) override
    {
        const AnnotationLabel* root = atlas->GetOntology()->GetAnnotationLabelByIndex(1);
        list.Quellar(atlas.get(), projectCode, seedId, static_cast<int>(root->databaseId), name, 0, 0);
    }
    void FetchExpressionData(const char* url, const float* rgb) override
    {
        fetchers.push_back(std::make_unique<GeneFetcher>("", url, this, nullptr, rgb));
    }
    void FetchMicroarrayData(const char* url, unsigned int donorId, unsigned int wellId,
                             unsigned int structureId) override
    {
        microarrays.push_back(std::string(url) + " " + std::to_string(donorId) + " " + std::to_string(wellId) + " " +
                              std::to_string(structureId));
    }
    int GetNumQueuedExpressionDownloads() override { return static_cast<int>(fetchers.size()); }

    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size) override
    {
        try
        {
            auto dataSet = std::make_shared<GeneExpression>();
            MemoryStreamRef stream(data, static_cast<unsigned int>(size));
            dataSet->LoadAtlasSpace(stream, false, atlas.get());
            if (const float* rgb = fetcher->GetColor())
                dataSet->SetColor(rgb[0], rgb[1], rgb[2]);
            model.AddGeneExpression(dataSet, fetcher->GetColor() == nullptr);
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

    // The finished download goes inside its own callback.
    void Forget(GeneFetcher* fetcher)
    {
        for (auto it = fetchers.begin(); it != fetchers.end(); ++it)
            if (it->get() == fetcher)
            {
                fetchers.erase(it);
                return;
            }
    }

    std::shared_ptr<Atlas> atlas;
    BrainExpressionModel model;
    PagedGeneList list{10};
    PagedGeneList seriesList{10};
    std::vector<std::unique_ptr<GeneFetcher>> fetchers;
    Strings microarrays, errors;
};

class SearchEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string reason;
        if (!session.Start(reason))
            GTEST_SKIP() << reason;
        server = session.server;
    }

    void TearDown() override { session.Stop(); }

    static std::shared_ptr<Atlas> AtlasOf(unsigned int id)
    {
        std::shared_ptr<Atlas> atlas = AtlasSet::GetAtlasWithId(id);
        if (!atlas)
            throw std::runtime_error("atlas " + std::to_string(id) + " is not installed");
        return atlas;
    }

    // Waits for the search in flight to end; true when it completed.
    static bool Finish(const ListRecorder& recorder)
    {
        const auto ended = [&] {
            return !recorder.events.empty() &&
                   (recorder.events.back() == "6" || recorder.events.back().rfind("7 ", 0) == 0);
        };
        return RunEventsUntil(ended, TIMEOUT_MS) && recorder.events.back() == "6";
    }

    std::vector<LoggedRequest> NewRequests(std::size_t since) const
    {
        std::vector<LoggedRequest> log = server->Log();
        return std::vector<LoggedRequest>(log.begin() + std::min(since, log.size()), log.end());
    }

    // The bytes at url, fetched by a fetcher that its listener deletes when done.
    FetchRecorder Download(const std::string& url)
    {
        FetchRecorder recorder;
        recorder.deleteFetcher = true;
        new GeneFetcher("", url, &recorder, nullptr, nullptr);
        EXPECT_TRUE(RunEventsUntil([&] { return recorder.done; }, TIMEOUT_MS)) << url;
        return recorder;
    }

    DemoServerSession session;
    DemoServer* server = nullptr;
};

TEST_F(SearchEndToEndTest, GeneSearchGoesPageByPage)
{
    const std::shared_ptr<Atlas> atlas = AtlasOf(310);
    PagedGeneList list(10);
    ListRecorder recorder;
    list.AddListener(&recorder);
    const std::size_t before = server->Log().size();
    list.Search(atlas.get(), "", "", "everything");
    ASSERT_TRUE(Finish(recorder));
    const int total = list.GetNumGenes();
    ASSERT_GT(total, 30);
    const std::string sized = "4 " + std::to_string(total);
    EXPECT_EQ((Strings{"3 Searching...", "2 0 Receiving results list...", sized, "0", sized, "6"}), recorder.events);
    std::vector<LoggedRequest> sent = NewRequests(before);
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("/search/0310/gene", sent[0].path);
    EXPECT_EQ("start=0&num=10&term=", sent[0].query);
    EXPECT_NE(nullptr, list.GetGene(9));
    EXPECT_EQ(nullptr, list.GetGene(10));

    recorder.events.clear();
    list.ChangePage(2);
    ASSERT_TRUE(Finish(recorder));
    EXPECT_EQ((Strings{"5 2", "2 2 Searching...", "2 0 Receiving results list...", sized, "0", sized, "6"}),
              recorder.events);
    sent = NewRequests(before);
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ("start=20&num=10&term=", sent[1].query);
    for (int row = 20; row < 30; ++row)
        EXPECT_NE(nullptr, list.GetGene(row)) << row;

    recorder.events.clear();
    list.ChangePage(-3);
    EXPECT_EQ((Strings{"5 0", "0"}), recorder.events);
    EXPECT_EQ(2u, NewRequests(before).size());

    recorder.events.clear();
    list.ChangePage(99);
    const int last = list.GetNumPages() - 1;
    EXPECT_EQ(last, list.GetCurrentPage());
    ASSERT_TRUE(Finish(recorder));
    EXPECT_EQ("start=" + std::to_string(10 * last) + "&num=10&term=", NewRequests(before).back().query);
    std::string status;
    list.GetStatusString(status);
    EXPECT_EQ("     " + std::to_string(total) + " experiments, displaying " + std::to_string(10 * last + 1) + "-" +
                  std::to_string(total),
              status);
}

TEST_F(SearchEndToEndTest, TermsArriveAsTyped)
{
    const std::shared_ptr<Atlas> atlas = AtlasOf(310);
    TempDir dir;
    for (const std::string term : {"a&b #c+d%", "\xC3\xA9=[x;y]?"})
    {
        PagedGeneList list(10);
        ListRecorder recorder;
        list.AddListener(&recorder);
        list.Search(atlas.get(), "", term, "typed");
        ASSERT_TRUE(Finish(recorder));
        const std::string query = dir.Write("query", server->Log().back().query);
        const std::string decoded = dir.File("decoded");
        RunShell(std::string("'") + CORVANE_PYTHON +
                 "' -c 'import sys, urllib.parse; query = open(sys.argv[1]).read(); "
                 "open(sys.argv[2], \"wb\").write(dict(urllib.parse.parse_qsl(query))[\"term\"].encode())' '" +
                 query + "' '" + decoded + "'");
        EXPECT_EQ(term, ReadBytes(decoded));
    }
}

TEST_F(SearchEndToEndTest, EveryKindOfAtlasSendsItsRequest)
{
    const std::shared_ptr<Atlas> adult = AtlasOf(310);
    const std::shared_ptr<Atlas> developing = AtlasOf(350);
    const std::shared_ptr<Atlas> rat = AtlasOf(50000);
    TempDir copies;
    const std::string folder = copies.File("350");
    RunShell("cp -r '" + server->ProgramAtlas(350) + "' '" + folder + "'");
    PatchFile(folder + "/Info.xml", "version=\"4\"", "version=\"3\"");
    PatchFile(folder + "/Info.xml", "gene?start=%2%&amp;num=%3%&amp;term=%4%", "gene?term=%2%");
    const auto developing3 = std::make_shared<Atlas>(folder);

    const std::shared_ptr<BrainOntology> ontology = adult->GetOntology();
    const std::string root = std::to_string(ontology->GetAnnotationLabelByIndex(1)->databaseId);
    const std::string target = std::to_string(ontology->GetAnnotationLabelByIndex(4)->databaseId);
    PagedGeneList list(10);
    ListRecorder recorder;
    list.AddListener(&recorder);
    list.Search(adult.get(), "", "", "seed");
    ASSERT_TRUE(Finish(recorder));
    const std::string seed = std::to_string(list.GetGene(0)->GetImageSeriesId());
    list.Search(developing.get(), "", "", "seed");
    ASSERT_TRUE(Finish(recorder));
    const std::string developingSeed = std::to_string(list.GetGene(0)->GetImageSeriesId());

    using Start = std::function<void()>;
    const struct
    {
        Start start;
        std::string path, query;
        bool completes;
    } cases[] = {
        {[&] { list.DifferentialSearch(adult.get(), "", std::stoul(root), std::stoul(target), 0); },
         "/search/0310/differential", "start=0&num=10&target=" + root + "&contrast=" + target + "&plane=coronal", true},
        {[&] { list.Quellar(adult.get(), "", std::stoi(seed), 1, "similar", 0, 0); }, "/search/0310/correlation",
         "start=0&num=10&seed=" + seed + "&plane=both", true},
        {[&] { list.Search(developing.get(), "", "enriched", "enriched"); }, "/search/0350/gene",
         "start=0&num=10&term=enriched", true},
        {[&] { list.Quellar(developing.get(), "", std::stoi(developingSeed), 1, "similar", 0, 0); },
         "/search/0350/correlation", "start=0&num=10&seed=" + developingSeed, true},
        {[&] { list.Search(developing3.get(), "", "enriched", "enriched"); }, "/search/0350/gene", "term=enriched",
         false},
        {[&] { list.Quellar(developing3.get(), "", std::stoi(developingSeed), 1, "similar", 0, 0); },
         "/search/0350/gene", "term=", false},
        {[&] { list.Search(rat.get(), "", "enriched", "enriched"); }, "/rat/search/50000/gene", "term=enriched", false},
    };
    for (const auto& c : cases)
    {
        recorder.events.clear();
        const std::size_t before = server->Log().size();
        c.start();
        EXPECT_EQ(c.completes, Finish(recorder)) << c.path << " " << list.GetStatus();
        const std::vector<LoggedRequest> sent = NewRequests(before);
        ASSERT_EQ(1u, sent.size()) << c.path;
        EXPECT_EQ(c.path, sent[0].path);
        EXPECT_EQ(c.query, sent[0].query);
        if (c.completes)
        {
            EXPECT_GT(list.GetNumGenes(), 0) << c.path;
        }
    }
}

TEST_F(SearchEndToEndTest, ConnectivityAtlasFindsGenesAndProjections)
{
    const std::shared_ptr<Atlas> atlas = AtlasOf(378);
    AtlasSpace* p56 = atlas->GetSpace("P56");
    ASSERT_NE(nullptr, p56);
    const std::string root = std::to_string(atlas->GetOntology()->GetAnnotationLabelByIndex(1)->databaseId);
    BrainExpressionModel model(atlas);
    PagedGeneList names(10);
    ListRecorder namesRecorder;
    names.AddListener(&namesRecorder);
    names.Search(atlas.get(), "", "enriched", "any gene");
    ASSERT_TRUE(Finish(namesRecorder));
    ASSERT_NE(nullptr, names.GetGene(0));
    const std::string symbol = names.GetGene(0)->GetSymbol();
    const struct
    {
        std::string code, term, project;
        int dataType;
    } kinds[] = {{"", symbol, "", GeneExpression::GENE_EXPRESSION}, {"0378", root, "0378", GeneExpression::PROJECTION}};
    for (const auto& kind : kinds)
    {
        SCOPED_TRACE(kind.term);
        PagedGeneList list(10);
        ListRecorder recorder;
        list.AddListener(&recorder);
        list.Search(atlas.get(), kind.code, kind.term, kind.term);
        ASSERT_TRUE(Finish(recorder));
        ASSERT_GT(list.GetNumGenes(), 0);
        for (int i = 0; i < 10 && i < list.GetNumGenes(); ++i)
        {
            const GeneExpression* row = list.GetGene(i);
            ASSERT_NE(nullptr, row);
            EXPECT_EQ(p56, row->GetAtlasSpace(0));
            EXPECT_EQ(kind.project, row->GetProjectCode());
            EXPECT_EQ(kind.code.empty() ? "P56" : "", row->GetCondition());
            if (kind.dataType == GeneExpression::GENE_EXPRESSION)
            {
                EXPECT_EQ(378, row->GetImageSeriesId() / 10000); // the genes of atlas 378
            }
        }
        const GeneExpression* row = list.GetGene(0);
        if (kind.dataType == GeneExpression::GENE_EXPRESSION)
        {
            EXPECT_EQ(symbol, row->GetSymbol());
        }
        const std::string grid = atlas->GetGridDownloadUrl(kind.code.c_str());
        const std::string id = std::to_string(row->GetImageSeriesId());

        const FetchRecorder thumbnail = Download(Fill(grid, id, "thumbnail"));
        ASSERT_EQ("", thumbnail.error);
        GeneExpression light(row->GetName().c_str(), row->GetSymbol().c_str(), kind.project.c_str(),
                             row->GetImageSeriesId(), row->GetGeneId(), row->GetScore());
        light.AddAtlasSpace(p56);
        MemoryStreamRef lightBytes(thumbnail.bytes.data(), static_cast<unsigned int>(thumbnail.bytes.size()));
        ASSERT_NO_THROW(light.LoadAtlasSpace(lightBytes, true, nullptr));
        EXPECT_FALSE(light.GetExpressors(p56)->empty());

        const FetchRecorder full = Download(Fill(grid, id, "visualize"));
        ASSERT_EQ("", full.error);
        auto dataSet = std::make_shared<GeneExpression>();
        MemoryStreamRef bytes(full.bytes.data(), static_cast<unsigned int>(full.bytes.size()));
        ASSERT_NO_THROW(dataSet->LoadAtlasSpace(bytes, false, atlas.get()));
        EXPECT_EQ(kind.dataType, dataSet->GetDataType());
        EXPECT_EQ(row->GetImageSeriesId(), dataSet->GetExperimentId());
        EXPECT_TRUE(model.AddGeneExpression(dataSet, true));
    }
    EXPECT_EQ(2, model.GetNumGenes());
}

TEST_F(SearchEndToEndTest, ServerFaultsEndTheSearchAsTheyShould)
{
    const std::shared_ptr<Atlas> atlas = AtlasOf(310);
    PagedGeneList reference(10);
    ListRecorder referenceRecorder;
    reference.AddListener(&referenceRecorder);
    reference.Search(atlas.get(), "", "enriched", "enriched");
    ASSERT_TRUE(Finish(referenceRecorder));
    ASSERT_GT(reference.GetNumGenes(), 3);

    const std::string readError = "Error: The search results could not be read.";
    const struct
    {
        std::string term, status;
        bool someRows;
    } cases[] = {
        {"fault-404", "Error: Server returned error 404", false},
        {"fault-500", "Error: Server returned error 500", false},
        {"enriched fault-html", readError, false},
        {"enriched fault-malformed", readError, true},
        {"enriched fault-truncated", readError, true},
        {"enriched fault-chunked", "", true},
    };
    for (const auto& c : cases)
    {
        PagedGeneList list(10);
        ListRecorder recorder;
        list.AddListener(&recorder);
        list.Search(atlas.get(), "", c.term, c.term);
        EXPECT_EQ(c.status.empty(), Finish(recorder)) << c.term;
        EXPECT_EQ(c.status, list.GetStatus()) << c.term;
        int present = 0;
        for (int i = 0; i < list.GetNumGenes(); ++i)
        {
            present += list.GetGene(i) != nullptr;
            if (list.GetGene(i))
            {
                EXPECT_EQ(RowText(reference.GetGene(i)), RowText(list.GetGene(i))) << c.term;
            }
        }
        EXPECT_EQ(c.someRows, present > 0) << c.term;
        if (c.status.empty())
        {
            EXPECT_EQ(Rows(reference), Rows(list));
        }
    }

    PagedGeneList slow(10);
    ListRecorder recorder;
    slow.AddListener(&recorder);
    slow.Search(atlas.get(), "", "enriched fault-slow", "slow");
    ASSERT_TRUE(RunEventsUntil([&] { return recorder.events.size() >= 2; }, TIMEOUT_MS));
    EXPECT_EQ("2 0 Receiving results list...", recorder.events[1]);
    recorder.events.clear();
    slow.AbortSearch();
    RunEventsFor(800);
    EXPECT_EQ(Strings{"2 0 "}, recorder.events);
    EXPECT_EQ("", slow.GetStatus());
}

TEST_F(SearchEndToEndTest, FetcherReportsProgressAndFailures)
{
    const std::shared_ptr<Atlas> atlas = AtlasOf(310);
    const std::string grid = atlas->GetGridDownloadUrl("");
    PagedGeneList list(10);
    ListRecorder recorder;
    list.AddListener(&recorder);
    list.Search(atlas.get(), "", "enriched", "enriched");
    ASSERT_TRUE(Finish(recorder));
    const std::string id = std::to_string(list.GetGene(0)->GetImageSeriesId());

    const FetchRecorder whole = Download(Fill(grid, id, "visualize"));
    ASSERT_EQ("", whole.error);
    ASSERT_GE(whole.progress.size(), 2u);
    EXPECT_EQ(0.0f, whole.progress.front());
    EXPECT_EQ(1.0f, whole.progress.back());
    for (std::size_t i = 1; i < whole.progress.size(); ++i)
        EXPECT_LE(whole.progress[i - 1], whole.progress[i]);

    const FetchRecorder chunked = Download(Fill(grid, "9990006", "visualize"));
    ASSERT_EQ("", chunked.error);
    EXPECT_FALSE(chunked.bytes.empty());
    for (const float progress : chunked.progress)
        EXPECT_EQ(0.0f, progress);

    EXPECT_EQ("Server returned error 404", Download(Fill(grid, "9990404", "visualize")).error);
    EXPECT_EQ("Server returned error 500", Download(Fill(grid, "9990500", "visualize")).error);
}

std::string FirstAppLink(const std::string& page)
{
    const std::size_t start = page.find("href=\"corv://");
    if (start == std::string::npos)
        return "";
    std::string link = page.substr(start + 6, page.find('"', start + 6) - start - 6);
    for (std::size_t at = 0; (at = link.find("&amp;", at)) != std::string::npos; ++at)
        link.replace(at, 5, "&");
    return link;
}

TEST_F(SearchEndToEndTest, LinksOfTheSearchPagesRequestTheirData)
{
    const std::shared_ptr<Atlas> rat = AtlasOf(50000);
    const std::string ratLink = FirstAppLink(Download(Fill(rat->GetGeneSearchUrl(""), "")).bytes);
    ASSERT_FALSE(ratLink.empty());
    UrlProtocolParser ratRequest(ratLink);
    EXPECT_EQ(50000u, ratRequest.GetAtlasId());
    TestDocument document(AtlasSet::GetAtlasWithId(ratRequest.GetAtlasId()));
    ratRequest.RequestData(&document);
    ASSERT_EQ(1, document.GetNumQueuedExpressionDownloads());
    ASSERT_TRUE(RunEventsUntil([&] { return document.fetchers.empty(); }, TIMEOUT_MS));
    EXPECT_EQ(Strings{}, document.errors);
    ASSERT_EQ(1, document.model.GetNumGenes());
    EXPECT_TRUE(document.model.GetGene(0)->IsLoaded());
    EXPECT_EQ(rat->GetSpace(0u), document.model.GetGene(0)->GetAtlasSpace(0));

    const std::shared_ptr<Atlas> primate = AtlasOf(351);
    const std::string primateLink = FirstAppLink(Download(Fill(primate->GetGeneSearchUrl(""), "")).bytes);
    ASSERT_NE(std::string::npos, primateLink.find("probes="));
    UrlProtocolParser primateRequest(primateLink);
    const std::map<std::string, std::string> values = QueryOf(primateLink.substr(primateLink.find('?') + 1));
    TestDocument primateDocument(primate);
    primateRequest.RequestData(&primateDocument);
    EXPECT_EQ(
        Strings{"http" + primateLink.substr(4) + " " + values.at("selectedDonor") + " " + values.at("well") + " 0"},
        primateDocument.microarrays);
    EXPECT_TRUE(primateDocument.fetchers.empty());
}

} // namespace
