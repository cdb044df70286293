#include "core/AlertPresenter.h"
#include "core/PlatformHooks.h"
#include "views/RelationGraph.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <tuple>

namespace
{

using GeneRelation::GraphNode;
using GeneRelation::RelationGraph;

// Runs the table writer, which writes with Python's csv module; input goes to its standard input.
std::string WriteTable(const TempDir& dir, const std::string& mode, const std::string& input = "")
{
    const std::string path = dir.File("relations.csv");
    const std::string command = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) +
                                "/tests/views/relation_table.py' '" + path + "' " + mode;
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::fwrite(input.data(), 1, input.size(), pipe);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return path;
}

// Answers the import's question as the test says and notes when it was asked.
class ScriptedPresenter : public AlertPresenter
{
public:
    ScriptedPresenter() { PlatformHooks::SetAlertPresenter(this); }
    ~ScriptedPresenter() override { PlatformHooks::SetAlertPresenter(nullptr); }
    void ShowAlert(const std::string& message) override { alerts.push_back(message); }
    bool ShowConfirmation(const std::string& message) override
    {
        questions.push_back(message);
        if (onQuestion)
            onQuestion();
        return answer;
    }
    std::vector<std::string> alerts;
    std::vector<std::string> questions;
    std::function<void()> onQuestion;
    bool answer = false;
};

struct NodeText
{
    int seriesId;
    int geneId;
    std::string name;
    std::string symbol;
    float repulsionWeight;
};

using Edge = std::tuple<int, int, float>;

std::vector<Edge> EdgesOf(const RelationGraph& graph)
{
    std::vector<Edge> edges;
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        for (auto edge = node->second->EdgeBegin(); edge != node->second->EdgeEnd(); ++edge)
            if (node->first <= edge->first->GetImageSeriesId())
                edges.emplace_back(node->first, edge->first->GetImageSeriesId(), edge->second);
    return edges;
}

std::size_t RelationCount(const RelationGraph& graph)
{
    return EdgesOf(graph).size();
}

struct ImportCase
{
    const char* title;
    const char* rows; // JSON, written by the csv module
    std::size_t truncateBy;
    std::vector<NodeText> nodes;
    std::vector<Edge> edges;
};

const ImportCase IMPORT_CASES[] = {
    {"5 to 8 fields: symbols double as names, further fields ignored",
     R"([[11, "Shh", 12, "Ptch1", 0.75], [12, "Ptch1", 13, "Gli1", "0.25", "extra", "x", "y"]])",
     0,
     {{11, 0, "Shh", "Shh", 0.75f}, {12, 0, "Ptch1", "Ptch1", 1.0f}, {13, 0, "Gli1", "Gli1", 0.25f}},
     {{11, 12, 0.75f}, {12, 13, 0.25f}}},
    {"9 or more fields, quoted fields holding commas",
     R"([[21, 501, "Shh", "sonic hedgehog, signalling", 22, 502, "Ptch1", "patched 1", "0.5", "ignored"]])",
     0,
     {{21, 501, "sonic hedgehog, signalling", "Shh", 0.5f}, {22, 502, "patched 1", "Ptch1", 0.5f}},
     {{21, 22, 0.5f}}},
    {"ids 0, not numbers or beyond int, weights not finite or negative, short lines",
     R"([[0, "Z", 31, "A", 0.5], ["abc", "T", 31, "A", 0.5], ["series1", "symbol1", "series2", "symbol2", "w"],
         [31, "A", 32, "B", "nan"], [31, "A", 32, "B", "inf"], [31, "A", 32, "B", "1e40"], [31, "A", 32, "B", -1],
         [31, "A", 32, "B"], ["4294967327", "W", 32, "B", 0.5], [31, "A", 33, "C", "text"]])",
     0,
     {{31, 0, "A", "A", 0.0f}, {33, 0, "C", "C", 0.0f}},
     {{31, 33, 0.0f}}},
    {"a repeated or reversed pair keeps the first weight",
     R"([[41, "A", 42, "B", 0.5], [41, "A", 42, "B", 0.9], [42, "B", 41, "A", 0.7]])",
     0,
     {{41, 0, "A", "A", 0.5f}, {42, 0, "B", "B", 0.5f}},
     {{41, 42, 0.5f}}},
    {"a self relation is one edge whose weight counts once",
     R"([[51, "A", 51, "A", 0.6], [51, "A", 52, "B", 0.25]])",
     0,
     {{51, 0, "A", "A", 0.85f}, {52, 0, "B", "B", 0.25f}},
     {{51, 51, 0.6f}, {51, 52, 0.25f}}},
    {"a node keeps the texts of the line that made it",
     R"([[61, "Shh", 62, "B", 0.5], [61, 7, "Other", "renamed", 63, 8, "C", "c name", 0.5]])",
     0,
     {{61, 0, "Shh", "Shh", 1.0f}, {62, 0, "B", "B", 0.5f}, {63, 8, "c name", "C", 0.5f}},
     {{61, 62, 0.5f}, {61, 63, 0.5f}}},
    {"a file cut in its last line",
     R"([[71, "A", 72, "B", 0.5], [71, "A", 73, "C", 0.25]])",
     8,
     {{71, 0, "A", "A", 0.5f}, {72, 0, "B", "B", 0.5f}},
     {{71, 72, 0.5f}}},
};

TEST(RelationGraphImport, ReadsTheFieldFormsAndSkipsWhatHoldsNoRelation)
{
    ScriptedPresenter presenter;
    for (const ImportCase& test : IMPORT_CASES)
    {
        SCOPED_TRACE(test.title);
        TempDir dir;
        const std::string path = WriteTable(dir, "rows", test.rows);
        std::filesystem::resize_file(path, std::filesystem::file_size(path) - test.truncateBy);
        RelationGraph graph;
        graph.ImportFile(path.c_str());

        ASSERT_EQ(test.nodes.size(), static_cast<std::size_t>(graph.GetNumNodes()));
        auto node = graph.Begin();
        for (const NodeText& expected : test.nodes)
        {
            const GraphNode& actual = *(node++)->second;
            EXPECT_EQ(expected.seriesId, actual.GetImageSeriesId());
            EXPECT_EQ(expected.geneId, actual.GetGeneId());
            EXPECT_EQ(expected.name, actual.GetName());
            EXPECT_EQ(expected.symbol, actual.GetSymbol());
            EXPECT_FLOAT_EQ(expected.repulsionWeight, actual.GetRepulsionWeight());
        }
        EXPECT_EQ(test.edges, EdgesOf(graph));
    }
    EXPECT_TRUE(presenter.questions.empty());
}

struct QuestionCase
{
    int relations;
    bool answer;
    bool asked;
    std::size_t kept;
};

// Every relation of the grid comes after a line that must be skipped and not counted.
TEST(RelationGraphImport, AsksOnceExactlyAtThe5001stKeptRelation)
{
    const QuestionCase cases[] = {
        {5000, false, false, 5000}, {5001, false, true, 5000}, {5001, true, true, 5001}, {5200, true, true, 5200}};
    for (const QuestionCase& test : cases)
    {
        SCOPED_TRACE(test.relations);
        TempDir dir;
        const std::string path = WriteTable(dir, "grid " + std::to_string(test.relations));
        RelationGraph graph;
        ScriptedPresenter presenter;
        presenter.answer = test.answer;
        std::size_t keptWhenAsked = 0;
        presenter.onQuestion = [&]() { keptWhenAsked = RelationCount(graph); };
        graph.ImportFile(path.c_str());

        ASSERT_EQ(test.asked ? 1u : 0u, presenter.questions.size());
        if (test.asked)
        {
            EXPECT_EQ("5000 rows have been imported so far. Do you want to continue?", presenter.questions[0]);
            EXPECT_EQ(5000u, keptWhenAsked);
        }
        EXPECT_EQ(test.kept, RelationCount(graph));
        EXPECT_EQ(nullptr, graph.GetNode(9005));
        // What was kept is laid out, as after a whole file.
        EXPECT_GT(graph.GetAverageSize(), 0.0f);
        for (auto node = graph.Begin(); node != graph.End(); ++node)
            for (int d = 0; d < 2; ++d)
                EXPECT_NEAR(0.5f, node->second->GetPosition()[d], 0.55f);
    }
}

TEST(RelationGraphImport, ASecondFileReplacesTheNodesAndAnEmptyOneLeavesNone)
{
    TempDir dir;
    RelationGraph graph;
    graph.ImportFile(
        WriteTable(dir, "rows", R"([[1, "A", 2, "B", 1], [2, "B", 3, "C", 1], [3, "C", 1, "A", 1]])").c_str());
    const float firstAverage = graph.GetAverageSize();
    graph.ImportFile(WriteTable(dir, "rows", R"([[7, "X", 8, "Y", 0.5], [7, "X", 9, "Z", 0.5]])").c_str());

    ASSERT_EQ(3, graph.GetNumNodes());
    EXPECT_EQ(nullptr, graph.GetNode(1));
    float sizes = 0.0f;
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        sizes += node->second->GetSize();
    EXPECT_FLOAT_EQ(sizes / 3.0f, graph.GetAverageSize());
    EXPECT_NE(firstAverage, graph.GetAverageSize());

    graph.ImportFile(WriteTable(dir, "rows", "[]").c_str());
    EXPECT_EQ(0, graph.GetNumNodes());
    EXPECT_EQ(0.0f, graph.GetAverageSize());
}

TEST(RelationGraphImport, AFileThatCannotBeOpenedEmptiesTheGraphAndNamesThePath)
{
    TempDir dir;
    const std::string table = WriteTable(dir, "rows", R"([[1, "A", 2, "B", 1]])");
    for (const std::string& path : {dir.File("missing.csv"), dir.Path()})
    {
        RelationGraph graph;
        graph.ImportFile(table.c_str());
        EXPECT_EQ("Gene relation file could not be opened: " + path,
                  ErrorOf([&]() { graph.ImportFile(path.c_str()); }));
        EXPECT_EQ(0, graph.GetNumNodes());
    }
}

TEST(RelationGraphImport, HostileBytesAreSkippedAndTheRelationsAroundThemKept)
{
    TempDir dir;
    std::string bytes = "1,A,2,B,0.5\n";
    bytes += std::string("\0\xff\x01,,\",\n", 9);
    bytes += "3,\"unclosed,4,D,0.5\n";
    // Kept whole, this line would be a relation; no table line comes near its length.
    bytes += "5,E,6,F,1," + std::string(2 << 20, 'x') + "\n";
    bytes += "\r\n\n,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,\n";
    bytes += "7,G,8,H,0.25";
    const std::string path = dir.Write("hostile.csv", bytes);
    RelationGraph graph;
    graph.ImportFile(path.c_str());
    EXPECT_EQ((std::vector<Edge>{{1, 2, 0.5f}, {7, 8, 0.25f}}), EdgesOf(graph));
}

} // namespace
