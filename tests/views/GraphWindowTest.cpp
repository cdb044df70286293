// The relation graph as users see it: a real GL view on the X server (Xvfb in the tests), at screen scale 1
// and, as CMake runs it too, 2: nodes drawn where the layout puts them (logical pixels) answer the pointer
// there, and the frame holds device pixels.

#include "expression/SearchController.h"
#include "gl/TabControlRenderer.h"
#include "gl/support/GLTestContext.h"
#include "gl/support/GLTestWindow.h"
#include "gl/support/RatioTwin.h"
#include "platform/EventLoopSupport.h"
#include "views/GeneRelationGraphRenderer.h"
#include "views/GraphNode.h"

#include "TestSupport.h"

#include <QPointF>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{

class SeriesSearches : public SearchController
{
public:
    void SearchForGene(const char*, const char*, const char* term, bool) override
    {
        calls.push_back(std::string("gene ") + term);
    }
    void SearchForGeneById(const char* geneName, const char*, int) override
    {
        calls.push_back(std::string("byId ") + geneName);
    }
    void SearchForSimilarGenes(const char* name, const char*, int) override
    {
        calls.push_back(std::string("similar ") + name);
    }
    void FetchExpressionData(const char*, const float*) override {}
    void FetchMicroarrayData(const char*, unsigned int, unsigned int, unsigned int) override {}
    int GetNumQueuedExpressionDownloads() override { return 0; }
    std::vector<std::string> calls;
};

constexpr int kWidth = 400;
constexpr int kHeight = 300;

TEST(GraphWindowTest, NodesAnswerThePointerWhereTheyShow)
{
    GLTestContext::Instance(); // the application object
    TempDir dir;
    // A hub (series 101) with four neighbours in the relation table's nine fields, written by Python's csv module.
    const std::string table = dir.File("star.csv");
    const std::string write = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) +
                              "/tests/views/relation_table.py' '" + table + "' rows <<'EOF'\n" + R"([
 ["101", "11", "Aa", "Alpha", "102", "0", "Bb", "Beta", "1"],
 ["101", "11", "Aa", "Alpha", "103", "13", "Cc", "Gamma", "0.9"],
 ["101", "11", "Aa", "Alpha", "104", "14", "Dd", "Delta", "0.8"],
 ["101", "11", "Aa", "Alpha", "105", "15", "Ee", "Epsilon", "0.7"],
 ["102", "0", "Bb", "Beta", "103", "13", "Cc", "Gamma", "0.2"]
])" + "\nEOF";
    ASSERT_EQ(0, std::system(write.c_str()));

    GLTestWindow window;
    ASSERT_TRUE(window.Open(kWidth, kHeight, 60, 60));
    TabControlRenderer tabs(window.wrapper.get(), nullptr);
    tabs.AddTab("Scene", false, nullptr);
    tabs.AddTab("Graph", true, nullptr);
    tabs.SwitchTab(1);
    SeriesSearches searches;
    auto view = std::make_unique<GeneRelationGraphRenderer>(window.wrapper.get(), nullptr, &tabs, &searches);
    window.Attach(*view);
    view->LoadFile(table.c_str());
    ASSERT_EQ(5u, view->GetNodes().size());
    // Spread by hand, clear of the tab bar.
    const float places[][2] = {{0.5f, 0.5f}, {0.2f, 0.3f}, {0.8f, 0.3f}, {0.2f, 0.6f}, {0.8f, 0.6f}};
    for (int id = 101; id <= 105; ++id)
    {
        view->GetGraph().GetNode(id)->GetPosition()[0] = places[id - 101][0];
        view->GetGraph().GetNode(id)->GetPosition()[1] = places[id - 101][1];
    }
    const QImage frame = window.Capture();
    ASSERT_EQ(frame.size(), QSize(ratiotwin::Device(kWidth), ratiotwin::Device(kHeight)));
    int green = 0;
    for (const auto& drawn : view->GetNodes())
    {
        const int id = drawn->graphNode->GetImageSeriesId();
        SCOPED_TRACE(id);
        float cx = 0.0f, cy = 0.0f;
        view->DrawnCentre(*view->GetGraph().GetNode(id), cx, cy);
        // The node's centre in logical pixels from the top, and the device pixel that shows it.
        const int x = int(std::lround(cx * view->GetZoom() + view->GetPanX()));
        const int y = kHeight - 1 - int(std::lround(cy * view->GetZoom() + view->GetPanY()));
        const QColor shown = frame.pixelColor(int((x + 0.5) * ratiotwin::Scale()), int((y + 0.5) * ratiotwin::Scale()));
        // Nodes without a thumbnail are green discs.
        if (!drawn->thumbnail)
        {
            EXPECT_GT(shown.green(), shown.red());
            EXPECT_GT(shown.green(), shown.blue());
            ++green;
        }
        searches.calls.clear();
        QTest::mouseClick(window.view.get(), Qt::RightButton, Qt::NoModifier, QPoint(x, y));
        EXPECT_EQ(std::vector<std::string>{"similar " + drawn->graphNode->GetSymbol()}, searches.calls);
    }
    EXPECT_GT(green, 0);

    // At every size and ratio each relation shows as a grey line and each node lies in the view; a round trip
    // of resizes puts the graph back where it was.
    const auto shown = [&](const GeneRelation::GraphNode& node) {
        float cx = 0.0f, cy = 0.0f;
        view->DrawnCentre(node, cx, cy);
        return QPointF(cx * view->GetZoom() + view->GetPanX(), cy * view->GetZoom() + view->GetPanY());
    };
    const auto layout = [&] {
        std::vector<QPointF> at;
        for (const auto& drawn : view->GetNodes())
            at.push_back(shown(*drawn->graphNode));
        return at;
    };
    const std::vector<QPointF> before = layout();
    const struct
    {
        int width, height;
        double ratio; // 0: the screen's own
    } sizes[] = {
        {kWidth, kHeight, 0.0}, {kWidth, kHeight, 2.0}, {700, 260, 2.0}, {260, 420, 0.0}, {kWidth, kHeight, 0.0}};
    for (const auto& size : sizes)
    {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " at " +
                     std::to_string(size.ratio));
        window.view->MoveToRatio(size.ratio);
        window.view->resize(size.width, size.height);
        ASSERT_TRUE(RunEventsUntil([&] { return window.view->size() == QSize(size.width, size.height); }, 5000));
        const QImage frame = window.Capture();
        const double ratio = window.view->devicePixelRatioF();
        // The brightest device pixel within two of a logical point (counted from the bottom).
        const auto brightest = [&](QPointF at) {
            const int x = int(at.x() * ratio), y = int((size.height - at.y()) * ratio);
            int grey = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    if (frame.valid(x + dx, y + dy))
                        grey = std::max(grey, qGray(frame.pixel(x + dx, y + dy)));
            return grey;
        };
        for (const auto& drawn : view->GetNodes())
        {
            const QPointF from = shown(*drawn->graphNode);
            EXPECT_TRUE(QRectF(0, 0, size.width, size.height).contains(from)) << from.x() << ", " << from.y();
            for (auto edge = drawn->graphNode->EdgeBegin(); edge != drawn->graphNode->EdgeEnd(); ++edge)
                EXPECT_GT(brightest((from + shown(*edge->first)) / 2), 40) << drawn->graphNode->GetSymbol();
        }
    }
    EXPECT_EQ(before, layout());

    // The red marker shows the last click only: none before one, none in a graph loaded after it.
    const auto red = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
            {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 200 && c.green() < 60 && c.blue() < 60;
            }
        return count;
    };
    EXPECT_EQ(0, red(frame)) << "before any click";
    QTest::mouseClick(window.view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, kHeight - 20));
    EXPECT_EQ(std::lround(36 * ratiotwin::Scale() * ratiotwin::Scale()), red(window.Capture()))
        << "a click on empty space";
    view->LoadFile(table.c_str());
    EXPECT_EQ(0, red(window.Capture())) << "the graph loaded again";
    window.Detach();
    view.reset();
    window.Close();
}

} // namespace
