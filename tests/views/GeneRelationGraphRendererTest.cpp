#include "views/GeneRelationGraphRenderer.h"

#include "expression/GeneExpression.h"
#include "expression/SearchController.h"
#include "gl/TabControlRenderer.h"
#include "gl/support/GLTest.h"
#include "gl/support/RecordingDisplay.h"
#include "views/ExpressionThumbnail.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace
{

using GeneRelation::GraphNode;

class RecordingSearches : public SearchController
{
public:
    void SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesSearch) override
    {
        calls.push_back(std::string("gene ") + listName + "|" + projectCode + "|" + term + "|" +
                        (seriesSearch ? "series" : "list"));
    }
    void SearchForGeneById(const char* geneName, const char* projectCode, int geneId) override
    {
        calls.push_back(std::string("byId ") + geneName + "|" + projectCode + "|" + std::to_string(geneId));
    }
    void SearchForSimilarGenes(const char* name, const char* projectCode, int seedId) override
    {
        calls.push_back(std::string("similar ") + name + "|" + projectCode + "|" + std::to_string(seedId));
    }
    void FetchExpressionData(const char*, const float*) override {}
    void FetchMicroarrayData(const char*, unsigned int, unsigned int, unsigned int) override {}
    int GetNumQueuedExpressionDownloads() override { return 0; }
    std::vector<std::string> calls;
};

// Rows of a relation table in the nine-field form, written with Python's csv module.
std::string WriteRows(const TempDir& dir, const std::string& name, const std::string& json)
{
    const std::string path = dir.File(name);
    const std::string command =
        "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) + "/tests/views/relation_table.py' '" + path + "' rows";
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    std::fwrite(json.data(), 1, json.size(), pipe);
    if (pclose(pipe) != 0)
        throw std::runtime_error("failed: " + command);
    return path;
}

// A hub (series 101, gene 11) with four neighbours; series 102 has no gene id.
const char* const STAR = R"([
 ["101", "11", "Aa", "Alpha, the hub", "102", "0", "Bb", "Beta", "1"],
 ["101", "11", "Aa", "Alpha, the hub", "103", "13", "Cc", "Gamma", "0.9"],
 ["101", "11", "Aa", "Alpha, the hub", "104", "14", "Dd", "Delta", "0.8"],
 ["101", "11", "Aa", "Alpha, the hub", "105", "15", "Ee", "Epsilon", "0.7"],
 ["102", "0", "Bb", "Beta", "103", "13", "Cc", "Gamma", "0.2"]
])";

class GraphViewTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        tabs.AddTab("Scene", false, nullptr);
        tabs.AddTab("Graph", true, nullptr);
        tabs.SwitchTab(1);
        view = std::make_unique<GeneRelationGraphRenderer>(&display, nullptr, &tabs, &searches);
        display.SetRenderer(view.get());
    }
    void TearDown() override
    {
        display.SetRenderer(nullptr);
        view.reset();
        GLTest::TearDown();
    }

    void LoadStar() { view->LoadFile(WriteRows(dir, "star.csv", STAR).c_str()); }

    // The window position (y from the top) of a node's drawn centre.
    void WindowPoint(int seriesId, int& x, int& y)
    {
        float cx, cy;
        view->DrawnCentre(*view->GetGraph().GetNode(seriesId), cx, cy);
        x = int(std::lround(cx * view->GetZoom() + view->GetPanX()));
        y = display.GetHeight() - 1 - int(std::lround(cy * view->GetZoom() + view->GetPanY()));
    }

    TempDir dir;
    RecordingDisplay display{400, 300};
    TabControlRenderer tabs{&display, nullptr};
    RecordingSearches searches;
    std::unique_ptr<GeneRelationGraphRenderer> view;
};

TEST_F(GraphViewTest, WheelZoomsInStepsBetweenOneAndTwo)
{
    LoadStar();
    const struct
    {
        int delta;
        float zoom;
    } steps[] = {{-120, 1.0f}, {120, 1.2f},  {120, 1.4f}, {120, 1.6f},  {120, 1.8f},  {120, 2.0f},  {120, 2.0f},
                 {0, 2.0f},    {-120, 1.8f}, {-1, 1.6f},  {-120, 1.4f}, {-120, 1.2f}, {-120, 1.0f}, {-120, 1.0f}};
    for (const auto& step : steps)
    {
        EXPECT_FALSE(view->OnMouseWheel(10, 10, 0, step.delta, 0));
        EXPECT_NEAR(step.zoom, view->GetZoom(), 1e-5f) << step.delta;
    }
}

TEST_F(GraphViewTest, ClicksOnNodesStartSearches)
{
    LoadStar();
    // Spread the nodes by hand, clear of the tab bar along the top.
    const float places[][2] = {{0.5f, 0.5f}, {0.2f, 0.3f}, {0.8f, 0.3f}, {0.2f, 0.6f}, {0.8f, 0.6f}};
    for (int id = 101; id <= 105; ++id)
    {
        view->GetGraph().GetNode(id)->GetPosition()[0] = places[id - 101][0];
        view->GetGraph().GetNode(id)->GetPosition()[1] = places[id - 101][1];
    }
    view->OnMouseWheel(0, 0, 0, 120, 0); // hit tests must follow the zoom
    const struct
    {
        int button;
        int seriesId;
        std::string call;
    } cases[] = {
        {kLeftButton, 101, "byId Aa||11"},
        {kLeftButton, 102, "gene Beta||genesym=Bb|series"},
        {kRightButton, 103, "similar Cc||103"},
        {kRightButton, 102, "similar Bb||102"},
    };
    for (const auto& c : cases)
    {
        searches.calls.clear();
        int x, y;
        WindowPoint(c.seriesId, x, y);
        EXPECT_FALSE(view->OnButtonDown(c.button, x, y, 0, 0)) << c.call;
        ASSERT_EQ(1u, searches.calls.size()) << c.call;
        EXPECT_EQ(c.call, searches.calls[0]);
        view->OnButtonUp(c.button, x, y, 0, 0);
    }
}

TEST_F(GraphViewTest, ClickOnEmptySpaceMovesTheMarkerOnly)
{
    LoadStar();
    view->GraphBuildUpdate("old status");
    // Drawing point (10, 10), well below and left of the unit square that starts at 50.
    const int x = int(view->GetPanX()) + 10, y = display.GetHeight() - 1 - 10;
    EXPECT_FALSE(view->OnButtonDown(kLeftButton, x, y, 0, 0));
    EXPECT_TRUE(searches.calls.empty());
    EXPECT_FLOAT_EQ(10.0f, view->GetClickedX());
    EXPECT_FLOAT_EQ(10.0f, view->GetClickedY());
    const TextBoxRecord* status = nullptr;
    for (const auto& record : display.textBoxes)
        if (record->width == 400)
            status = record.get();
    ASSERT_NE(nullptr, status);
    EXPECT_EQ((std::vector<std::string>{"old status", ""}), status->texts);

    // The red marker shows where the click landed, and nothing else there.
    view->Display();
    const auto pixel = Framebuffer().Pixel(x, 10);
    EXPECT_GT(pixel[0], 200);
    EXPECT_LT(pixel[1], 50);
    const auto beside = Framebuffer().Pixel(x + 6, 10);
    EXPECT_LT(beside[0], 50);
}

TEST_F(GraphViewTest, NodesAreDrawnGreenWithTheirLabels)
{
    LoadStar();
    display.Resize(GLTest::kWidth, GLTest::kHeight);
    view->Reshape(GLTest::kWidth, GLTest::kHeight);
    Framebuffer().Bind();
    view->Display();
    int greenNodes = 0;
    for (const auto& drawn : view->GetNodes())
    {
        float cx, cy;
        view->DrawnCentre(*drawn->graphNode, cx, cy);
        const auto pixel = Framebuffer().Pixel(int(cx + view->GetPanX()), int(cy + view->GetPanY()));
        if (!drawn->thumbnail && pixel[1] > pixel[0] && pixel[1] > pixel[2])
            ++greenNodes;
        EXPECT_NE(nullptr, display.FindTextBox(drawn->graphNode->GetSymbol()));
    }
    int plain = 0;
    for (const auto& drawn : view->GetNodes())
        plain += drawn->thumbnail ? 0 : 1;
    EXPECT_EQ(plain, greenNodes);
}

// A graph of one or two nodes is drawn whole and in the middle, loaded into a view of any shape or resized
// after, at a size that the nodes of a larger graph have.
TEST_F(GraphViewTest, SmallGraphsAreDrawnWholeInTheMiddleAtEverySize)
{
    LoadStar();
    float smallest = 1.0f, largest = 0.0f;
    for (const auto& drawn : view->GetNodes())
    {
        smallest = std::min(smallest, drawn->graphNode->GetSize());
        largest = std::max(largest, drawn->graphNode->GetSize());
    }
    const std::string single = dir.Write("single.csv", "3100044,Bad6,3100044,Bad6,0.9\n");
    const std::string pair = dir.Write("pair.csv", "3100044,Bad6,3100045,Bax,0.9\n");
    const struct
    {
        std::string file;
        int loadWidth, loadHeight, width, height;
    } cases[] = {
        {single, 400, 300, 400, 300}, {single, 300, 500, 300, 500}, {single, 400, 300, 260, 420},
        {single, 260, 420, 900, 300}, {pair, 700, 260, 700, 260},   {pair, 260, 420, 400, 300},
        {pair, 400, 300, 300, 900},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.file + " loaded at " + std::to_string(c.loadWidth) + "x" + std::to_string(c.loadHeight) +
                     ", shown at " + std::to_string(c.width) + "x" + std::to_string(c.height));
        view->Reshape(c.loadWidth, c.loadHeight);
        view->OnButtonDown(kMiddleButton, 200, 200, 0, 0); // a pan that the load forgets
        view->OnMouseMove(230, 180, 0, 0);
        view->OnButtonUp(kMiddleButton, 230, 180, 0, 0);
        view->LoadFile(c.file.c_str());
        view->Reshape(c.width, c.height);
        float middle[2] = {0.0f, 0.0f};
        for (const auto& drawn : view->GetNodes())
        {
            float cx, cy;
            view->DrawnCentre(*drawn->graphNode, cx, cy);
            cx = cx * view->GetZoom() + view->GetPanX();
            cy = cy * view->GetZoom() + view->GetPanY();
            const float size = drawn->graphNode->GetSize();
            EXPECT_GE(size, smallest);
            EXPECT_LE(size, largest);
            const float half = size * float(std::min(c.width, c.height)) * (drawn->thumbnail ? 1.25f : 1.0f) * 0.5f;
            EXPECT_TRUE(cx - half >= 0.0f && cx + half <= c.width && cy - half >= 0.0f &&
                        cy + half <= c.height - tabs.GetHeight())
                << "cut at " << cx << ", " << cy << " by " << half;
            middle[0] += cx / float(view->GetNodes().size());
            middle[1] += cy / float(view->GetNodes().size());
        }
        EXPECT_NEAR(c.width * 0.5f, middle[0], 1.0f);
        EXPECT_NEAR(c.height * 0.5f, middle[1], 1.0f);
    }
}

TEST_F(GraphViewTest, OnlyNodesOfAtLeastFourFifthsOfTheAverageSizeGetThumbnails)
{
    LoadStar();
    ASSERT_EQ(5u, view->GetNodes().size());
    const float average = view->GetGraph().GetAverageSize();
    int with = 0, without = 0;
    int previous = 0;
    for (const auto& drawn : view->GetNodes())
    {
        EXPECT_GT(drawn->graphNode->GetImageSeriesId(), previous);
        previous = drawn->graphNode->GetImageSeriesId();
        const bool large = drawn->graphNode->GetSize() >= 0.8f * average;
        EXPECT_EQ(large, drawn->thumbnail != nullptr) << previous;
        ASSERT_NE(nullptr, drawn->label);
        (large ? with : without)++;
    }
    EXPECT_GT(with, 0);
    EXPECT_GT(without, 0);
    // Without a model there is no atlas to read a thumbnail onto: it gives up quietly.
    for (const auto& drawn : view->GetNodes())
        if (drawn->thumbnail)
        {
            EXPECT_EQ("3D not available", drawn->thumbnail->GetStatus());
            EXPECT_EQ(drawn->graphNode->GetImageSeriesId(), drawn->thumbnail->GetGene()->GetImageSeriesId());
            EXPECT_EQ(drawn->graphNode->GetName(), drawn->thumbnail->GetGene()->GetSymbol());
        }
}

TEST_F(GraphViewTest, LabelsGiveWayToLargerNearNeighbours)
{
    LoadStar();
    // Place the hub and node 103 by hand: 103 is smaller, and its symbol "Cc" wants 20 pixels.
    GraphNode* hub = view->GetGraph().GetNode(101);
    GraphNode* small = view->GetGraph().GetNode(103);
    const float m = float(std::min(display.GetWidth(), display.GetHeight()));
    const struct
    {
        float hubSize, smallSize, gapPixels;
        bool hidden;
    } cases[] = {
        {0.2f, 0.1f, 19.0f, true},  // larger neighbour nearer than the label is wide
        {0.2f, 0.1f, 21.0f, false}, // far enough
        {0.1f, 0.2f, 5.0f, false},  // the neighbour is the smaller one
        {0.1f, 0.1f, 5.0f, false},  // equal sizes: both labels show
    };
    for (const auto& c : cases)
    {
        for (auto it = view->GetGraph().Begin(); it != view->GetGraph().End(); ++it)
        {
            it->second->GetPosition()[0] = 0.9f; // every other node far away
            it->second->GetPosition()[1] = 0.9f - 0.1f * float(it->first - 100);
        }
        hub->GetPosition()[0] = 0.1f;
        hub->GetPosition()[1] = 0.1f;
        small->GetPosition()[0] = 0.1f + c.gapPixels / m;
        small->GetPosition()[1] = 0.1f;
        hub->SetSize(c.hubSize);
        small->SetSize(c.smallSize);
        for (auto it = view->GetGraph().Begin(); it != view->GetGraph().End(); ++it)
            it->second->ComputeNeighborDistance();
        ASSERT_EQ(hub, small->GetClosestNeighbor());
        for (const auto& drawn : view->GetNodes())
        {
            if (drawn->graphNode == small)
            {
                EXPECT_EQ(c.hidden, view->IsLabelHidden(*drawn)) << c.gapPixels << " " << c.hubSize;
            }
        }
    }
    // What is hidden is not drawn.
    const TextBoxRecord* label = display.FindTextBox("Cc");
    ASSERT_NE(nullptr, label);
    hub->SetSize(0.2f);
    small->SetSize(0.1f);
    small->GetPosition()[0] = 0.1f + 5.0f / m;
    small->ComputeNeighborDistance();
    const std::size_t before = label->draws.size();
    Framebuffer().Bind();
    view->Display();
    EXPECT_EQ(before, label->draws.size());
    EXPECT_GT(display.FindTextBox("Aa")->draws.size(), 0u);
}

TEST_F(GraphViewTest, FileLoadsRenameTheTabAndFailuresKeepTheGraph)
{
    LoadStar();
    EXPECT_TRUE(view->IsReady());
    std::string noise(3000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 7919 % 251);
    const std::string missing = dir.File("gone") + "/missing.csv";
    const std::string noiseFile = dir.Write("noise.csv", noise), prose = dir.Write("prose.csv", "Dear reader,\n");
    const std::string pairs = dir.Write("pairs.csv", "3100044,3100300,0.9\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {missing, "Gene relation file could not be opened: " + missing},
        {noiseFile, "No gene relation could be read from \"" + noiseFile + "\""},
        {prose, "No gene relation could be read from \"" + prose + "\""},
        // The alert says the forms that the reader takes, not one that it refuses.
        {pairs, "No gene relation could be read from \"" + pairs +
                    "\": no line of it holds, separated by commas, five fields (data-set id, gene symbol, data-set id"},
    };
    for (const auto& [path, message] : cases)
    {
        try
        {
            view->LoadFile(path.c_str());
            ADD_FAILURE() << "no exception: " << path;
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_EQ(0u, std::string(error.what()).find(message)) << error.what();
        }
        EXPECT_TRUE(view->IsReady());
        EXPECT_EQ(5, view->GetGraph().GetNumNodes());
        EXPECT_EQ(5u, view->GetNodes().size());
    }
    EXPECT_NE(nullptr, display.FindTextBox("star.csv"));
    for (const char* name : {"missing.csv", "noise.csv", "prose.csv"})
        EXPECT_EQ(nullptr, display.FindTextBox(name)) << name;
}

TEST_F(GraphViewTest, DoubleClickReleaseEndsAPanDrag)
{
    LoadStar();
    for (const bool asDoubleClick : {false, true})
    {
        const float panX = view->GetPanX(), panY = view->GetPanY();
        EXPECT_TRUE(view->OnButtonDown(kMiddleButton, 100, 100, 0, 0));
        EXPECT_TRUE(view->OnMouseMove(110, 95, 0, 0));
        EXPECT_FLOAT_EQ(panX + 10.0f, view->GetPanX());
        EXPECT_FLOAT_EQ(panY + 5.0f, view->GetPanY());
        if (asDoubleClick)
            view->OnDoubleClick(kMiddleButton, 110, 95, 0, 0);
        else
            view->OnButtonUp(kMiddleButton, 110, 95, 0, 0);
        EXPECT_FALSE(view->OnMouseMove(150, 150, 0, 0)) << asDoubleClick;
        EXPECT_FLOAT_EQ(panX + 10.0f, view->GetPanX());
    }
}

TEST_F(GraphViewTest, SpaceTogglesTheSpinOnlyWhenReady)
{
    EXPECT_FALSE(view->OnKeyDown(32, 0, 0));
    LoadStar();
    view->SetActive(true);
    EXPECT_TRUE(display.TimerRunning());
    display.FireTimer(2);
    EXPECT_FLOAT_EQ(358.0f, view->GetAngle()); // 0.5, then wrapped to 359
    EXPECT_TRUE(view->OnKeyDown(32, 0, 0));
    EXPECT_FALSE(display.TimerRunning());
    view->SetActive(false);
    view->SetActive(true); // the user's stop holds
    EXPECT_FALSE(display.TimerRunning());
}

} // namespace
