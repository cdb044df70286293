// The graph view building its graph from the demo server's similar-gene searches.

#include "expression/BrainExpressionModel.h"
#include "gl/support/RecordingDisplay.h"
#include "views/ExpressionThumbnail.h"
#include "views/GeneRelationGraphRenderer.h"

#include "GraphTestSupport.h"

namespace
{

const TextBoxRecord* StatusBox(const RecordingDisplay& display)
{
    for (const auto& record : display.textBoxes)
        if (record->width == 400)
            return record.get();
    return nullptr;
}

} // namespace

TEST_F(DemoServerTest, GraphViewShowsTheBuildAndItsThumbnails)
{
    const auto thumbnailRequests = [&] {
        int count = 0;
        for (const LoggedRequest& request : server->Log())
            count += request.path.find("/thumbnail") != std::string::npos ? 1 : 0;
        return count;
    };
    const int askedBefore = thumbnailRequests();
    const int seed = FirstSeries();
    BrainExpressionModel model(atlas);
    RecordingDisplay display(400, 300);
    GeneRelationGraphRenderer view(&display, &model, nullptr, nullptr);
    display.SetRenderer(&view);
    view.LoadQuellar("Similar to Seed", "Seed", seed, domain, 0);
    EXPECT_FALSE(view.IsReady());
    ASSERT_TRUE(RunEventsUntil([&] { return view.IsReady(); }, TIMEOUT_MS));
    const TextBoxRecord* status = StatusBox(display);
    ASSERT_NE(nullptr, status);
    ASSERT_GE(status->texts.size(), 4u);
    EXPECT_EQ("Starting search", status->texts.front());
    EXPECT_EQ("Searching for ", status->texts[1].substr(0, 14));
    EXPECT_EQ("Arranging layout", status->texts[status->texts.size() - 2]);
    EXPECT_EQ("", status->texts.back());
    ASSERT_FALSE(view.GetNodes().empty());
    EXPECT_EQ(view.GetGraph().GetNumNodes(), int(view.GetNodes().size()));

    // The larger nodes fetch their thumbnails from the atlas's grid and read them.
    const auto loaded = [&] {
        for (const auto& node : view.GetNodes())
            if (node->thumbnail && !node->thumbnail->IsLoaded() && node->thumbnail->GetStatus().empty())
                return false;
        return true;
    };
    ASSERT_TRUE(RunEventsUntil(loaded, TIMEOUT_MS));
    int thumbnails = 0;
    for (const auto& node : view.GetNodes())
        if (node->thumbnail)
        {
            ++thumbnails;
            EXPECT_TRUE(node->thumbnail->IsLoaded()) << node->graphNode->GetImageSeriesId();
            EXPECT_GT(node->thumbnail->GetHeight(100.0f), 0);
        }
    EXPECT_GT(thumbnails, 0);
    const int asked = thumbnailRequests();
    EXPECT_EQ(thumbnails, asked - askedBefore);
    display.Display();

    // The same graph again takes every thumbnail from the cache, at once.
    view.LoadQuellar("Again", "Seed", seed, domain, 0);
    ASSERT_TRUE(RunEventsUntil([&] { return view.IsReady(); }, TIMEOUT_MS));
    for (const auto& node : view.GetNodes())
        if (node->thumbnail)
        {
            EXPECT_TRUE(node->thumbnail->IsLoaded()) << node->graphNode->GetImageSeriesId();
        }
    EXPECT_EQ(asked, thumbnailRequests());
    display.SetRenderer(nullptr);
}

TEST_F(DemoServerTest, GraphViewEndsReadyAfterAFailedOrEmptyBuild)
{
    for (const int seed : {9990500, 123456789})
    {
        BrainExpressionModel model(atlas);
        RecordingDisplay display(400, 300);
        GeneRelationGraphRenderer view(&display, &model, nullptr, nullptr);
        display.SetRenderer(&view);
        view.LoadQuellar("Similar", "Seed", seed, domain, 0);
        ASSERT_TRUE(RunEventsUntil([&] { return view.IsReady(); }, TIMEOUT_MS)) << seed;
        EXPECT_TRUE(view.GetNodes().empty());
        display.Display(); // a failed builder goes once its list has returned
        EXPECT_EQ(seed == 9990500, view.GetBuilder() == nullptr) << seed;
        RunEventsFor(50);
        display.SetRenderer(nullptr);
    }
}
