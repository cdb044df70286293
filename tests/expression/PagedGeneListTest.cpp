#include "expression/PagedGeneList.h"

#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "expression/GeneExpression.h"

#include "ExpressionTestSupport.h"
#include "GeneratedAtlases.h"
#include "SearchTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

using Strings = std::vector<std::string>;

std::unique_ptr<GeneExpression> Row(int id)
{
    return std::make_unique<GeneExpression>("name", ("S" + std::to_string(id)).c_str(), "", id, 0, -1.0f);
}

void Fill(PagedGeneList& list, int rows)
{
    for (int i = 0; i < rows; ++i)
        list.AddGene(Row(i + 1));
}

template <class Exception, class Function>
std::string Thrown(Function&& function)
{
    try
    {
        function();
    }
    catch (const Exception& error)
    {
        return error.what();
    }
    return "no error";
}

TEST(PagedGeneListTest, RefusesBadSizesAndIndices)
{
    EXPECT_EQ("Page size cannot be less than or equal to zero.",
              Thrown<std::invalid_argument>([] { PagedGeneList list(0); }));
    EXPECT_EQ("Page size cannot be less than or equal to zero.",
              Thrown<std::invalid_argument>([] { PagedGeneList list(-4); }));
    PagedGeneList list(10);
    EXPECT_EQ("AddGene index out of range.", Thrown<std::invalid_argument>([&] { list.AddGene(Row(1), -1); }));
    EXPECT_EQ("Gene list size out of range.", Thrown<std::invalid_argument>([&] { list.Resize(-1); }));
    EXPECT_EQ(0, list.GetNumGenes());
}

TEST(PagedGeneListTest, PagesShowTheirRows)
{
    PagedGeneList list(10);
    ListRecorder recorder;
    recorder.logRows = true;
    Fill(list, 23);
    list.AddListener(&recorder);
    EXPECT_EQ(3, list.GetNumPages());
    const struct
    {
        int page, current;
        Strings events;
    } steps[] = {
        {-3, 0, {}},
        {99, 2, {"5 2", "0 20", "0 21", "0 22"}},
        {1, 1, {"5 1", "0 10", "0 11", "0 12", "0 13", "0 14", "0 15", "0 16", "0 17", "0 18", "0 19"}},
        {1, 1, {}},
        {-1, 0, {"5 0", "0 0", "0 1", "0 2", "0 3", "0 4", "0 5", "0 6", "0 7", "0 8", "0 9"}},
    };
    for (const auto& step : steps)
    {
        recorder.events.clear();
        list.ChangePage(step.page);
        EXPECT_EQ(step.current, list.GetCurrentPage()) << step.page;
        EXPECT_EQ(step.events, recorder.events) << step.page;
    }

    // Missing rows without a query: only the page changes.
    list.Resize(30);
    recorder.events.clear();
    list.ChangePage(2);
    EXPECT_EQ(Strings{"5 2"}, recorder.events);
    EXPECT_EQ("", list.GetStatus());

    PagedGeneList empty(10);
    empty.AddListener(&recorder);
    recorder.events.clear();
    empty.ChangePage(4); // no pages: no page but the first
    EXPECT_EQ(0, empty.GetCurrentPage());
    EXPECT_EQ(Strings{}, recorder.events);
}

TEST(PagedGeneListTest, ShrinkingKeepsTheRowsBefore)
{
    PagedGeneList list(10);
    Fill(list, 8);
    std::vector<GeneExpression*> kept;
    for (int i = 0; i < 5; ++i)
        kept.push_back(list.GetGene(i));
    list.Resize(5);
    ASSERT_EQ(5, list.GetNumGenes());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(kept[i], list.GetGene(i));
    EXPECT_EQ(nullptr, list.GetGene(5));
    EXPECT_EQ(nullptr, list.GetGene(-1));
    EXPECT_TRUE(list.IsSizeKnown());

    list.AddGene(Row(40), 12);
    EXPECT_EQ(13, list.GetNumGenes());
    EXPECT_EQ(2, list.GetNumPages());
    EXPECT_EQ(nullptr, list.GetGene(11));
    list.AddGene(Row(41), 12); // replaces (and destroys) the row there
    EXPECT_EQ(41, list.GetGene(12)->GetImageSeriesId());
}

TEST(PagedGeneListTest, StatusLineNamesSizeAndRows)
{
    const struct
    {
        std::function<void(PagedGeneList&)> setUp;
        std::string line;
    } cases[] = {
        {[](PagedGeneList& l) { l.Resize(25), l.ChangePage(2); }, "     25 experiments, displaying 21-25"},
        {[](PagedGeneList& l) { Fill(l, 23), l.Resize(23); }, "     23 experiments, displaying 1-10"},
        {[](PagedGeneList& l) { Fill(l, 3); }, ", displaying 1-3"},
        {[](PagedGeneList& l) { l.RemoveGenes(true), l.GeneQueryResponseReceived(nullptr); },
         "Receiving results list..."},
        {[](PagedGeneList& l) { Fill(l, 3), l.GeneQueryComplete(nullptr), l.GeneQueryError(nullptr, "lost"); },
         "Error: lost     3 experiments, displaying 1-3"},
        {[](PagedGeneList&) {}, ""},
    };
    for (const auto& c : cases)
    {
        PagedGeneList list(10);
        c.setUp(list);
        std::string line = "stale";
        list.GetStatusString(line);
        EXPECT_EQ(c.line, line);
    }
}

TEST(PagedGeneListTest, ListenersAreKeptOnceAndMayLeaveDuringANotification)
{
    PagedGeneList list(10);
    ListRecorder first, second;
    list.AddListener(nullptr);
    list.AddListener(&first);
    list.AddListener(&first);
    list.AddListener(&second);
    first.onChange = [&](int, PagedGeneList* l, int) { l->RemoveListener(&second); };
    list.NotifyListeners(6, 0);
    EXPECT_EQ(Strings{"6"}, first.events);
    EXPECT_TRUE(second.events.empty());
    list.RemoveListener(nullptr);
    list.NotifyListeners(6, 0);
    EXPECT_EQ(2u, first.events.size());
}

class PagedGeneListSearchTest : public ::testing::Test
{
protected:
    void SetUp() override { REQUIRE_GENERATOR(); }
    ScriptedNetwork net;
};

TEST_F(PagedGeneListSearchTest, SearchesSetNameAndGeneIdFlag)
{
    const std::shared_ptr<Atlas> atlas = OpenGeneratedAtlas(310);
    const AnnotationLabel* label = atlas->GetOntology()->GetAnnotationLabelByIndex(3);
    ASSERT_NE(nullptr, label);
    PagedGeneList list(10);
    const struct
    {
        std::function<void()> start;
        std::string name;
        bool byGeneId;
    } cases[] = {
        {[&] { list.Search(atlas.get(), "", "Gad1", "Gad1"); }, "Gad1", false},
        {[&] { list.Search(atlas.get(), "", 42, "Gad1 (all)"); }, "Gad1 (all)", true},
        {[&] { list.Quellar(atlas.get(), "", 7, 1, "similar", 0, 0); }, "similar", true},
        {[&] { list.DifferentialSearch(atlas.get(), "", 2000, label->databaseId, 0); }, label->abbreviation, false},
        {[&] { list.DifferentialSearch(atlas.get(), "", 2000, 123456, 0); }, "123456", false},
        {[&] { list.DifferentialSearch(nullptr, "", 2000, 654321, 0); }, "654321", false},
    };
    for (const auto& c : cases)
    {
        c.start();
        EXPECT_EQ(c.name, list.GetName());
        EXPECT_EQ(c.byGeneId, list.CanSearchByGeneId()) << c.name;
    }
}

// Gene-list files are written by Python's csv module, as a spreadsheet export would be: CR LF line ends
// and quotes where a field needs them.
class GeneListImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifndef CORVANE_PYTHON
        GTEST_SKIP() << "no Python interpreter";
#endif
        REQUIRE_GENERATOR();
        list.AddListener(&recorder);
    }

    static std::string Json(const std::vector<Strings>& rows)
    {
        std::string json = "[";
        for (const Strings& row : rows)
        {
            json += json.size() > 1 ? ",[" : "[";
            for (std::size_t i = 0; i < row.size(); ++i)
            {
                json += i ? ",\"" : "\"";
                for (const char c : row[i])
                    json += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
                json += "\"";
            }
            json += "]";
        }
        return json + "]";
    }

    std::string WriteCsv(const std::string& name, const std::vector<Strings>& rows)
    {
#ifdef CORVANE_PYTHON
        const std::string script = dir.Write("write.py", "import csv, json, sys\n"
                                                         "rows = json.load(open(sys.argv[2]))\n"
                                                         "with open(sys.argv[1], 'w', newline='') as out:\n"
                                                         "    csv.writer(out).writerows(rows)\n");
        const std::string json = dir.Write(name + ".json", Json(rows));
        const std::string path = dir.File(name);
        RunShell(std::string("'") + CORVANE_PYTHON + "' '" + script + "' '" + path + "' '" + json + "'");
        return path;
#else
        (void)name, (void)rows;
        return "";
#endif
    }

    static Strings Imported(const PagedGeneList& list)
    {
        Strings rows;
        for (int i = 0; i < list.GetNumGenes(); ++i)
        {
            const GeneExpression* row = list.GetGene(i);
            const AtlasSpace* space = row->GetAtlasSpace(0);
            rows.push_back(row->GetSymbol() + "|" + row->GetName() + "|" + std::to_string(row->GetImageSeriesId()) +
                           "|" + std::to_string(row->GetGeneId()) + "|" + (space ? space->GetName() : "-"));
        }
        return rows;
    }

    ScriptedNetwork net;
    RecordingAlerts alerts;
    TempDir dir;
    PagedGeneList list{10};
    ListRecorder recorder;
};

TEST_F(GeneListImportTest, BothFormsAndTheirEdgeCases)
{
    const std::shared_ptr<Atlas> adult = OpenGeneratedAtlas(310);
    const std::shared_ptr<Atlas> developing = OpenGeneratedAtlas(350);
    const struct
    {
        Atlas* atlas;
        std::vector<Strings> rows;
        Strings imported;
        bool byGeneId;
    } cases[] = {
        {adult.get(),
         {{"id", "geneName", "geneSymbol"},
          {"11", "glutamate, decarboxylase", "Gad1"},
          {"0", "nothing", "Zero"},
          {},
          {"12", "say \"hi\""}},
         {"Gad1|glutamate, decarboxylase|0|11|P56", "|say hi|0|12|P56"},
         true},
        {developing.get(), {{"id", "geneName", "geneSymbol"}, {"11", "n", "Gad1"}}, {}, true},
        {developing.get(),
         {{"atlasSpace", "seriesId", "symbol", "GeneID", "GENENAME"},
          {"P14", "501", "Gad1", "11", "name1"},
          {"E15.5", "502", "Sst", "0", "n"},
          {"Adult", "503", "X", "1", ""},
          {"", "504", "Y", "2", ""},
          {"P14", "0", "Z", "0", ""}},
         {"Gad1|name1|501|11|P14", "Sst|n|502|0|E15.5"},
         true},
        {developing.get(),
         {{"AtlasSpace", "seriesId", "symbol"}, {"P14", "77", "Gad1"}, {"E15.5"}},
         {"Gad1||77|77|P14"},
         false},
        {adult.get(),
         {{"symbol", "seriesId", "extra"}, {"Gad1", "601"}, {"Short"}, {"B", "x7"}, {"C", "-3"}},
         {"Gad1||601|0|P56", "C||-3|0|P56"},
         false},
    };
    for (const auto& c : cases)
    {
        recorder.events.clear();
        const std::string path = WriteCsv("genes.csv", c.rows);
        ASSERT_NE(std::string::npos, ReadBytes(path).find("\r\n"));
        list.LoadFile(c.atlas, path.c_str());
        EXPECT_EQ(c.imported, Imported(list)) << c.rows[0][0];
        EXPECT_EQ(c.byGeneId, list.CanSearchByGeneId()) << c.rows[0][0];
        EXPECT_EQ("genes.csv", list.GetName());
        EXPECT_EQ("", list.GetStatus());
        EXPECT_EQ("", list.GetProjectCode());
        EXPECT_EQ("4 " + std::to_string(c.imported.size()), recorder.events.back());
        EXPECT_EQ("3 ", recorder.events.front());
    }
}

TEST_F(GeneListImportTest, FailuresAreReportedWithTheirTexts)
{
    const std::shared_ptr<Atlas> adult = OpenGeneratedAtlas(310);
    const std::string single = WriteCsv("single.csv", {{"symbol"}, {"Gad1", "5"}});
    const std::string empty = dir.Write("empty.csv", "");
    const std::string missing = dir.File("missing.csv");
    EXPECT_EQ("The gene list file is not in the expected format: " + single,
              Thrown<std::runtime_error>([&] { list.LoadFile(adult.get(), single.c_str()); }));
    EXPECT_EQ((Strings{"3 ", "4 0"}), recorder.events);
    EXPECT_EQ("", list.GetStatus());
    EXPECT_EQ("Gene list file could not be opened: " + missing,
              Thrown<std::runtime_error>([&] { list.LoadFile(adult.get(), missing.c_str()); }));
    EXPECT_EQ("Missing atlas", Thrown<std::invalid_argument>([&] { list.LoadFile(nullptr, single.c_str()); }));
    recorder.events.clear();
    list.LoadFile(adult.get(), empty.c_str());
    EXPECT_EQ((Strings{"3 ", "4 0"}), recorder.events);
    EXPECT_TRUE(list.IsSizeKnown());
}

TEST_F(GeneListImportTest, LongListsAskOnceToGoOn)
{
    const std::shared_ptr<Atlas> adult = OpenGeneratedAtlas(310);
    std::vector<Strings> rows = {{"symbol", "seriesId"}};
    for (int i = 1; i <= 5001; ++i)
        rows.push_back({"G" + std::to_string(i), std::to_string(i)});
    const std::string path = WriteCsv("long.csv", rows);
    const std::string question = "5000 data sets have been imported so far. Do you want to continue?";
    for (const bool answer : {false, true})
    {
        alerts.answer = answer;
        alerts.confirmations.clear();
        recorder.events.clear();
        recorder.logRows = true;
        list.LoadFile(adult.get(), path.c_str());
        EXPECT_EQ(Strings{question}, alerts.confirmations);
        EXPECT_EQ(answer ? 5001 : 5000, list.GetNumGenes());
        EXPECT_EQ(answer ? 501 : 500, list.GetNumPages());
        // Row codes for the first page only, then the size.
        EXPECT_EQ(12u, recorder.events.size());
        EXPECT_EQ("0 9", recorder.events[10]);
    }
}

} // namespace
