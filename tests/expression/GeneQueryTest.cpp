#include "expression/GeneQuery.h"

#include "atlas/AtlasSpace.h"
#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"

#include "ExpressionTestSupport.h"
#include "GeneratedAtlases.h"
#include "SearchTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Strings = std::vector<std::string>;
const std::string BASE = "http://127.0.0.1:8470";

class GeneQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        list.AddListener(&recorder);
    }

    Atlas* Get(unsigned int id)
    {
        auto& atlas = atlases[std::to_string(id)];
        if (!atlas)
            atlas = OpenGeneratedAtlas(id);
        return atlas.get();
    }

    // A copy of a micro atlas with its Info.xml patched.
    Atlas* Patched(const std::string& key, unsigned int id,
                   const std::vector<std::pair<std::string, std::string>>& edits)
    {
        auto& atlas = atlases[key];
        if (!atlas)
        {
            const std::string folder = copies.File(key);
            RunShell("cp -r '" + OpenGeneratedAtlas(id)->GetPath() + "' '" + folder + "'");
            for (const auto& [from, to] : edits)
                PatchFile(folder + "/Info.xml", from, to);
            atlas = std::make_shared<Atlas>(folder);
        }
        return atlas.get();
    }

    Atlas* Developing3()
    {
        return Patched(
            "350v3", 350,
            {{"version=\"4\"", "version=\"3\""}, {"gene?start=%2%&amp;num=%3%&amp;term=%4%", "gene?term=%2%"}});
    }

    ScriptedNetwork net;
    TempDir copies;
    std::map<std::string, std::shared_ptr<Atlas>> atlases;
    PagedGeneList list{10};
    ListRecorder recorder;
};

TEST_F(GeneQueryTest, RequestsFollowTheAtlasTable)
{
    using Start = std::function<void(PagedGeneList&)>;
    const auto term = [](Atlas* a, const std::string& code, const std::string& t) -> Start {
        return [=](PagedGeneList& l) { l.Search(a, code, t, "list"); };
    };
    const auto similar = [](Atlas* a, int seed) -> Start {
        return [=](PagedGeneList& l) { l.Quellar(a, "", seed, 7, "list", 8, 9); };
    };
    const auto differential = [](Atlas* a, const std::string& code) -> Start {
        return [=](PagedGeneList& l) { l.DifferentialSearch(a, code, 997, 1089, 3); };
    };
    Atlas* adult = Get(310);
    Atlas* developing = Get(350);
    Atlas* developing3 = Developing3();
    Atlas* rat = Get(50000);
    Atlas* connectivity = Get(378);
    const struct
    {
        Start start;
        std::string url;
    } cases[] = {
        {term(adult, "", "Gad1"), BASE + "/search/0310/gene?start=0&num=10&term=Gad1"},
        {term(adult, "", "a&b #c+d%"), BASE + "/search/0310/gene?start=0&num=10&term=a%26b%20%23c%2Bd%25"},
        {term(adult, "", "genesym=Gad1"), BASE + "/search/0310/gene?start=0&num=10&term=genesym=Gad1"},
        {term(adult, "", "structac=CA1[xlevel=2;xdensity=1] or x"),
         BASE + "/search/0310/gene?start=0&num=10&term=structac=CA1[xlevel=2;xdensity=1]%20or%20x"},
        {term(adult, "", "\xC3\xA9?\"<"), BASE + "/search/0310/gene?start=0&num=10&term=%C3%A9%3F%22%3C"},
        {[=](PagedGeneList& l) { l.Search(adult, "", 42, "Gad1 (all)"); },
         BASE + "/search/0310/gene?start=0&num=10&term=geneid=42"},
        {differential(adult, ""),
         BASE + "/search/0310/differential?start=0&num=10&target=997&contrast=1089&plane=coronal"},
        {similar(adult, 3100001), BASE + "/search/0310/correlation?start=0&num=10&seed=3100001&plane=both"},
        {term(adult, "0378", "1089"), BASE + "/search/0378/gene?start=0&num=10&term=1089"},
        {term(connectivity, "", "Gad1"), BASE + "/search/0378/gene?start=0&num=10&term=Gad1"},
        {differential(connectivity, "0378"),
         BASE + "/search/0378/differential?start=0&num=10&target=997&contrast=1089&plane=coronal"},
        {term(developing, "", "x"), BASE + "/search/0350/gene?start=0&num=10&term=x"},
        {similar(developing, 5), BASE + "/search/0350/correlation?start=0&num=10&seed=5"},
        {differential(developing, ""), BASE + "/search/0350/gene?start=0&num=10&term="},
        {term(developing3, "", "x"), BASE + "/search/0350/gene?term=x"},
        {similar(developing3, 5), BASE + "/search/0350/gene?term="},
        {term(rat, "", "x y"), BASE + "/rat/search/50000/gene?term=x%20y"},
        {similar(rat, 5), BASE + "/rat/search/50000/gene?term="},
    };
    for (const auto& c : cases)
    {
        c.start(list);
        EXPECT_EQ(c.url, net.LastUrl());
        EXPECT_EQ("Searching...", list.GetStatus()) << c.url;
    }
}

TEST_F(GeneQueryTest, RequestsThatCannotBeSentEndInTheError)
{
    Atlas* noDifferential =
        Patched("378-", 378, {{"<differentialSearch>", "<unused>"}, {"</differentialSearch>", "</unused>"}});
    Atlas* overfull = Patched("50000+", 50000, {{"gene?term=%2%", "gene?term=%2%&amp;x=%3%"}});
    const struct
    {
        std::function<void()> start;
        std::string status; // empty: any "Error: " text
        bool refuse;
    } cases[] = {
        {[&] { list.Search(Get(310), "9999", "x", "l"); }, "Error: URLs not found for project 9999", false},
        {[&] { list.DifferentialSearch(noDifferential, "", 1, 2, 0); }, "Error: The atlas has no URL for this search.",
         false},
        {[&] { list.Search(overfull, "", "x", "l"); }, "", false},
        {[&] { list.Search(Get(310), "", "x", "l"); }, "Error: Could not open connection.", true},
        {[&] { list.Search(nullptr, "", "x", "l"); }, "Error: No atlas to search.", false},
    };
    for (const auto& c : cases)
    {
        net.transport.requests.clear();
        net.transport.refuse = c.refuse;
        recorder.events.clear();
        c.start();
        EXPECT_TRUE(net.transport.requests.empty());
        if (c.status.empty())
            EXPECT_EQ(0u, list.GetStatus().rfind("Error: ", 0)) << list.GetStatus();
        else
            EXPECT_EQ(c.status, list.GetStatus());
        ASSERT_EQ(2u, recorder.events.size());
        EXPECT_EQ("3 Searching...", recorder.events[0]);
        EXPECT_EQ("7 " + list.GetStatus(), recorder.events[1]);
    }
}

const std::string GENE_ANSWER = R"(<?xml version="1.0" encoding="UTF-8"?>
<genes total-entries="6">
<gene><id>11</id><gene-symbol>Gad1</gene-symbol><name>glutamate &amp; decarboxylase é</name>
<image-series>
 <image-series><id>101</id><storage-directory>/s/101/</storage-directory>
  <plane-of-section>Sagittal</plane-of-section><score>0.75</score><age>P14</age>
  <correlation-search-available>TRUE</correlation-search-available></image-series>
 <image-series><id>102</id><plane-of-section>oblique</plane-of-section><age>Adult</age></image-series>
 <image-series><id>103</id><plane-of-section>coronal</plane-of-section><age>E15.5</age>
  <correlation-search-available>false</correlation-search-available></image-series>
</image-series></gene>
<gene><gene-symbol>Sst</gene-symbol>
<image-series><image-series><id>104</id><score>x</score><unknown><id>9</id></unknown></image-series></image-series>
</gene>
</genes>
)";

TEST_F(GeneQueryTest, AnswersReadAlikeInEveryChunking)
{
    const Strings rows = {
        "Gad1|glutamate & decarboxylase \xC3\xA9||/s/101/|P14|1|101|11|0.75|corr|space",
        "Gad1|glutamate & decarboxylase \xC3\xA9||/s/101/|E15.5|0|103|11|0.75|nocorr|space",
        "Sst|||||0|104|0|0|corr|space",
        "-",
        "-",
        "-",
    };
    const Strings events = {"3 Searching...", "2 0 Receiving results list...", "4 6", "0", "4 6", "6"};
    std::vector<std::vector<std::size_t>> chunkings = {{0}, {1}, {2}, {3}, {7}, {64}};
    for (unsigned int seed = 1; seed <= 12; ++seed)
        chunkings.push_back(RandomChunks(seed, GENE_ANSWER.size()));
    for (const auto& sizes : chunkings)
    {
        recorder.events.clear();
        list.Search(Get(350), "", "Gad1", "Gad1");
        Answer(net, GENE_ANSWER, sizes);
        EXPECT_EQ(rows, Rows(list)) << sizes.size() << " chunks";
        EXPECT_EQ(events, recorder.events) << sizes.size() << " chunks";
        EXPECT_EQ("Gad1", list.GetName());
        EXPECT_EQ(list.GetGene(2)->GetAtlasSpace(0), Get(350)->GetSpace(0u));
    }
}

std::string Records(int first, int count, const std::string& total)
{
    std::string xml = "<genes" + (total == "none" ? std::string() : " total-entries=\"" + total + "\"") + "><gene>" +
                      "<id>5</id><gene-symbol>G</gene-symbol><image-series>";
    for (int i = first; i < first + count; ++i)
        xml += "<image-series><id>" + std::to_string(i) + "</id></image-series>";
    return xml + "</image-series></gene></genes>";
}

TEST_F(GeneQueryTest, AnnouncedTotalsAreBoundedAndNeverShrinkTheList)
{
    const struct
    {
        std::string total;
        int size;
    } cases[] = {
        {"2147483647", GeneQuery::MAX_ENTRIES},
        {"99999999999999999999", GeneQuery::MAX_ENTRIES},
        {"25", 25},
        {"12abc", 12},
        {"abc", 3},
        {"-5", 3},
        {"0", 3},
        {"none", 3},
    };
    for (const auto& c : cases)
    {
        list.Search(Get(310), "", "G", "G");
        Answer(net, Records(1, 3, c.total));
        EXPECT_EQ(c.size, list.GetNumGenes()) << c.total;
        EXPECT_EQ(1, list.GetGene(0)->GetImageSeriesId());
        EXPECT_EQ(3, list.GetGene(2)->GetImageSeriesId());
    }

    list.Search(Get(310), "", "G", "G");
    Answer(net, Records(1, 10, "25"));
    std::vector<const GeneExpression*> shown;
    for (int i = 0; i < 10; ++i)
        shown.push_back(list.GetGene(i));
    list.ChangePage(2);
    EXPECT_EQ(BASE + "/search/0310/gene?start=20&num=10&term=G", net.LastUrl());
    Answer(net, Records(21, 5, "5"));
    ASSERT_EQ(25, list.GetNumGenes());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(shown[i], list.GetGene(i));
    EXPECT_EQ(nullptr, list.GetGene(19));
    EXPECT_EQ(25, list.GetGene(24)->GetImageSeriesId());
}

TEST_F(GeneQueryTest, ProjectionRecordsOfTheProjectionCode)
{
    const std::string answer = R"(<data-sets total-entries="2">
<data-set><id>3785001</id><structure-id>1089</structure-id><abbreviation>HiF</abbreviation>
<name>Hippocampal formation</name><score>0.5</score><transgenic-line>Cre</transgenic-line>
<section-data-set><storage-directory>/s/p1/</storage-directory></section-data-set></data-set>
<data-set><id>3785002</id><abbreviation>CA1</abbreviation><name>Field CA1</name>
<image-series><id>77</id></image-series></data-set>
</data-sets>)";
    list.Search(Get(310), "0378", "1089", "projections");
    Answer(net, answer, {5});
    EXPECT_EQ((Strings{"HiF|Hippocampal formation|0378|/s/p1/||0|3785001|1089|0.5|corr|space",
                       "CA1|Field CA1|0378|/s/p1/||0|3785002|1089|0.5|corr|space"}),
              Rows(list));

    // The same answer in gene mode has no records.
    list.Search(Get(310), "0310", "1089", "genes");
    Answer(net, answer);
    EXPECT_EQ((Strings{"-", "-"}), Rows(list));
}

TEST_F(GeneQueryTest, SimilarGeneSearchesNeedASeedAndATemplate)
{
    const GeneExpression unplaced("n", "s", "", "", "", 0, 7, 0, 1.0f);
    EXPECT_FALSE(GeneQuery::CanQuellar(nullptr));
    EXPECT_FALSE(GeneQuery::CanQuellar(&unplaced));

    list.Search(Get(50000), "", "G", "G");
    Answer(net, "<genes><gene><image-series><image-series><id>7</id></image-series></image-series></gene></genes>");
    ASSERT_EQ(1, list.GetNumGenes());
    EXPECT_FALSE(GeneQuery::CanQuellar(list.GetGene(0))); // the atlas has no similar-gene search

    list.Search(Get(310), "", "G", "G");
    Answer(net, R"(<genes><gene><image-series>
<image-series><id>7</id></image-series>
<image-series><id>8</id><correlation-search-available>false</correlation-search-available></image-series>
<image-series><id>0</id><correlation-search-available>true</correlation-search-available></image-series>
</image-series></gene></genes>)");
    ASSERT_EQ(3, list.GetNumGenes());
    EXPECT_TRUE(GeneQuery::CanQuellar(list.GetGene(0)));
    EXPECT_FALSE(GeneQuery::CanQuellar(list.GetGene(1)));
    EXPECT_FALSE(GeneQuery::CanQuellar(list.GetGene(2)));
}

TEST_F(GeneQueryTest, BrokenAnswersKeepTheRowsReadAndEndInTheError)
{
    const std::string two = "<genes total-entries=\"4\"><gene><image-series><image-series><id>1</id></image-series>"
                            "<image-series><id>2</id></image-series>";
    const std::string readError = "Error: The search results could not be read.";
    const struct
    {
        std::string body, mimeType;
        bool finish;
        std::function<void(ScriptedNetwork&)> end;
        int rows;
        std::string status;
    } cases[] = {
        {two + "<</broken attribute=>", "application/xml", true, nullptr, 2, readError},
        {two, "application/xml", true, nullptr, 2, readError},
        {"", "application/xml", true, nullptr, 0, readError},
        {"<!DOCTYPE html><html><body><p>busy</p></body></html>", "text/html", true, nullptr, 0, readError},
        {two, "application/xml", false, [](ScriptedNetwork& n) { n.Fail("Connection closed"); }, 2,
         "Error: Connection closed"},
        {"", "text/html", false, [](ScriptedNetwork& n) { n.Respond("text/html", 9, 404); }, 0,
         "Error: Server returned error 404"},
    };
    for (const auto& c : cases)
    {
        recorder.events.clear();
        list.Search(Get(310), "", "G", "G");
        if (!c.body.empty() || c.finish)
            Answer(net, c.body, {3}, c.mimeType, c.finish);
        if (c.end)
            c.end(net);
        EXPECT_FALSE(net.transport.IsOpen());
        int present = 0;
        for (int i = 0; i < list.GetNumGenes(); ++i)
            present += list.GetGene(i) != nullptr;
        EXPECT_EQ(c.rows, present) << c.body;
        EXPECT_EQ(c.status, list.GetStatus()) << c.body;
        EXPECT_EQ("7 " + c.status, recorder.events.back());
    }
}

TEST_F(GeneQueryTest, HugeTextIsCut)
{
    list.Search(Get(310), "", "G", "G");
    const std::string symbol(3 << 20, 'x');
    Answer(net,
           "<genes><gene><gene-symbol>" + symbol +
               "</gene-symbol><image-series><image-series><id>1</id></image-series></image-series></gene></genes>",
           {100000});
    ASSERT_EQ(1, list.GetNumGenes());
    EXPECT_EQ(std::size_t(1) << 20, list.GetGene(0)->GetSymbol().size());
    EXPECT_EQ("", list.GetStatus());
}

// A listener deletes the list at each kind of change; ASan catches any use afterwards.
TEST_F(GeneQueryTest, ListenerMayDeleteTheListAtAnyChange)
{
    for (const int code : {3, 2, 4, 0, 6, 7})
    {
        auto* doomed = new PagedGeneList(10);
        ListRecorder watcher;
        doomed->AddListener(&watcher);
        watcher.onChange = [&](int changed, PagedGeneList* l, int) {
            if (changed == code && doomed)
            {
                EXPECT_EQ(doomed, l);
                delete l;
                doomed = nullptr;
            }
        };
        doomed->Search(Get(310), "", "G", "G");
        if (doomed && net.transport.IsOpen())
            Answer(net, code == 7 ? "<genes><" : Records(1, 5, "5"), {2});
        EXPECT_EQ(nullptr, doomed) << code;
        EXPECT_FALSE(net.transport.IsOpen()) << code;
        delete doomed;
    }
}

TEST_F(GeneQueryTest, AbortingFromARowStopsTheRest)
{
    recorder.onChange = [&](int code, PagedGeneList* l, int index) {
        if (code == 0 && index == 1)
            l->AbortSearch();
    };
    list.Search(Get(310), "", "G", "G");
    Answer(net, Records(1, 5, "5"));
    EXPECT_FALSE(net.transport.IsOpen());
    EXPECT_EQ(5, list.GetNumGenes());
    EXPECT_NE(nullptr, list.GetGene(1));
    EXPECT_EQ(nullptr, list.GetGene(2));
    EXPECT_EQ("2 0 ", recorder.events.back());
    EXPECT_EQ("", list.GetStatus());
}

} // namespace
