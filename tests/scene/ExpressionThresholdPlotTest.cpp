#include "SceneFixture.h"
#include "SceneOracle.h"

#include "atlas/Colormap.h"
#include "scene/ExpressionThresholdControl.h"

#include <cmath>

namespace
{

using namespace scenetest;

// A model whose gene colormap the test chooses.
class PlotModel : public BrainExpressionModel
{
public:
    using BrainExpressionModel::BrainExpressionModel;
    const Colormap* GetGeneColormap() const override { return colormap; }
    const Colormap* colormap = nullptr;
};

// On a 640 x 480 display with titles 13 pixels high the plot spans x 485..630 (density 0..100) and rows
// 21..171 (intensity minimum..maximum).
class ExpressionThresholdPlotTest : public SceneTest
{
protected:
    static constexpr int kHeight = 480;

    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        auto plotModel = std::make_unique<PlotModel>(Installed(310));
        plot = plotModel.get();
        model = std::move(plotModel);
        display = std::make_unique<RecordingDisplay>(640, kHeight);
        renderer = std::make_unique<BrainSceneRenderer>(display.get(), model.get(), nullptr, nullptr);
        display->SetRenderer(renderer.get());
        // Entries 0..36 black, then colours.
        colormap.entries.assign(3 * Colormap::NUM_ENTRIES, 0);
        for (unsigned int i = 37; i < Colormap::NUM_ENTRIES; ++i)
        {
            colormap.entries[3 * i] = static_cast<unsigned char>(i);
            colormap.entries[3 * i + 1] = static_cast<unsigned char>(255 - i);
            colormap.entries[3 * i + 2] = static_cast<unsigned char>(i * 7);
        }
        colormap.valid = true;
        gene = NewDataSet(1);
        gene->SetDisplayRange(Range(0, 200));
    }

    std::unique_ptr<ExpressionThresholdControl> MakeControl()
    {
        gene->Finish(Ontology());
        return std::make_unique<ExpressionThresholdControl>(renderer.get(), gene.get());
    }

    void SetThresholds(Range level, Range density)
    {
        model->SetExpressionLevelVisibilityThreshold(level.min, level.max, false);
        model->SetExpressionDensityVisibilityThreshold(density.min, density.max, false);
    }

    static void ExpectRect(const ExpressionThresholdControl::Rect& r, int x0, int y0, int x1, int y1)
    {
        EXPECT_EQ(x0, r.x0);
        EXPECT_EQ(y0, r.y0);
        EXPECT_EQ(x1, r.x1);
        EXPECT_EQ(y1, r.y1);
    }

    std::string LabelText(int which) const { return display->textBoxes[display->textBoxes.size() - 6 + which]->text; }

    PlotModel* plot = nullptr;
    Colormap colormap;
    std::shared_ptr<HandDataSet> gene;
};

TEST_F(ExpressionThresholdPlotTest, PlotTextureMatchesNumpy)
{
    REQUIRE_ORACLE();
    plot->colormap = &colormap;
    gene->SetDisplayRange(Range(0, 185));
    model->SetExpressionWindow(35, 163, false);
    struct Dot
    {
        float density, value;
        const char* structure; // null: outside every structure, drawn grey
    };
    const Dot dots[] = {
        {10, 40, "CH"},   {30, 90, "CH"},         {55, 150, nullptr}, {80, 184, "BS"},
        {100, 250, "CB"}, {120, -16000, nullptr}, {0, 35, "CB"},      {45, 0, "BS"},
    };
    std::ostringstream json;
    json << "{\"minimum\": 35, \"maximum\": 185, \"window\": [35, 163], \"colormap\": "
         << JsonArray(colormap.entries.begin(), colormap.entries.end()) << ", \"dots\": [";
    for (const Dot& d : dots)
    {
        const AnnotationLabel* label = d.structure ? Label(d.structure) : nullptr;
        ASSERT_TRUE(!d.structure || (label && label->annotationValue != 0)) << d.structure;
        gene->Add(1, 1, 1, d.value, d.density, label);
        const unsigned char grey[3] = {160, 160, 160};
        const unsigned char* colour = label ? label->color : grey;
        json << (&d == dots ? "" : ",") << "[" << d.density << "," << d.value << "," << JsonArray(colour, colour + 3)
             << "]";
    }
    json << "]}";
    auto control = MakeControl();
    // The colormap's first colour is entry 37: the axis starts at 35.
    EXPECT_EQ(35.0f, control->GetMinimumIntensity());
    EXPECT_EQ(185.0f, control->GetMaximumIntensity());
    control->Display();
    const std::vector<unsigned char> expected = RunOracle("plot", json.str());
    const GLTexture& texture = control->GetPlotTexture();
    ASSERT_EQ(expected.size(), texture.GetPixelBytes());
    int wrong = 0;
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != texture.GetPixels()[i] && ++wrong <= 5)
            ADD_FAILURE() << "pixel " << i / 4 % 150 << ", row " << i / 600 << ", byte " << i % 4 << ": "
                          << +texture.GetPixels()[i] << " instead of " << +expected[i];
    EXPECT_EQ(0, wrong);
    // The colour scale follows the expression window at every display.
    model->SetExpressionWindow(35, 99, false);
    control->Display();
    const unsigned char* top = texture.GetPixels();
    EXPECT_EQ(colormap.entries[3 * 255 + 2], top[0]);
    const unsigned char* bottom = texture.GetPixels() + 149 * 600;
    EXPECT_EQ(colormap.entries[2], bottom[0]);
}

TEST_F(ExpressionThresholdPlotTest, RectangleFollowsTheThresholds)
{
    auto control = MakeControl();
    struct Case
    {
        const char* name;
        Range level, density;
        int x0, y0, x1, y1;
    };
    const Case cases[] = {
        {"no limits cover the plot", {0, -1}, {0, -1}, 485, 21, 630, 171},
        {"inside", {50, 150}, {20, 60}, 514, 59, 572, 134},
        {"past the ends", {-5, 900}, {-1, 250}, 485, 21, 630, 171},
        {"upper limits at the ends", {0, 200}, {0, 100}, 485, 21, 630, 171},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetThresholds(c.level, c.density);
        ExpectRect(control->GetROI(), c.x0, c.y0, c.x1, c.y1);
    }
    // An axis whose maximum is not above its minimum is drawn one wide instead of dividing by zero.
    gene->SetDisplayRange(Range(0, 0));
    auto flat = MakeControl();
    SetThresholds(Range(0, -1), Range(0, -1));
    ExpectRect(flat->GetROI(), 485, 21, 630, 21);
    flat->Display();
    EXPECT_TRUE(flat->OnButtonDown(kLeftButton, 600, kHeight - 1 - 21, 0, 0));
    flat->OnMouseMove(600, kHeight - 1 - 150, 0, 0);
    flat->OnButtonUp(kLeftButton, 600, kHeight - 1 - 150, 0, 0);
    float low = 0, high = 0;
    model->GetExpressionLevelVisibilityThreshold(low, high);
    EXPECT_FALSE(std::isnan(low) || std::isnan(high));
}

TEST_F(ExpressionThresholdPlotTest, DraggingEveryPart)
{
    auto control = MakeControl();
    struct Case
    {
        const char* name;
        int x, row;     // the press
        int toX, toRow; // the move and release
        int anchor;
        int x0, y0, x1, y1;
    };
    // The rectangle starts at (514, 59)..(572, 134).
    const Case cases[] = {
        {"top-left corner", 514, 134, 495, 160, 4, 495, 59, 572, 160},
        {"top-right corner", 572, 134, 595, 100, 3, 514, 59, 595, 100},
        {"bottom-right corner keeps a pixel", 572, 59, 495, 140, 1, 514, 133, 515, 134},
        {"bottom-left corner keeps a pixel", 514, 59, 700, 0, 2, 571, 21, 572, 134},
        {"top edge to the top", 543, 134, 543, 500, 8, 514, 59, 572, 171},
        {"right edge keeps a pixel", 572, 96, 400, 96, 6, 514, 59, 515, 134},
        {"bottom edge", 543, 59, 543, 60, 5, 514, 60, 572, 134},
        {"left edge to the left", 514, 96, 0, 96, 7, 485, 59, 572, 134},
        {"moved against a corner keeps its size", 543, 96, 700, 0, 9, 572, 21, 630, 96},
        {"moved inside", 543, 96, 553, 106, 9, 524, 69, 582, 144},
        {"outside the rectangle", 490, 30, 595, 150, 0, 514, 59, 572, 134},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SetThresholds(Range(50, 150), Range(20, 60));
        ASSERT_TRUE(control->OnButtonDown(kLeftButton, c.x, kHeight - 1 - c.row, 0, 0));
        EXPECT_TRUE(model->GetLiveUpdate());
        EXPECT_TRUE(control->OnMouseMove(c.toX, kHeight - 1 - c.toRow, 0, 0));
        EXPECT_TRUE(control->OnButtonUp(kLeftButton, c.toX, kHeight - 1 - c.toRow, 0, 0));
        EXPECT_FALSE(model->GetLiveUpdate());
        ExpectRect(control->GetROI(), c.x0, c.y0, c.x1, c.y1);
    }
    // Dragged to the top and right ends: no upper limits.
    SetThresholds(Range(50, 150), Range(20, 60));
    ASSERT_TRUE(control->OnButtonDown(kLeftButton, 572, kHeight - 1 - 134, 0, 0));
    control->OnButtonUp(kLeftButton, 900, 0, 0, 0);
    EXPECT_EQ(-1.0f, model->GetExpressionLevelVisibilityThreshold().max);
    EXPECT_EQ(-1.0f, model->GetExpressionDensityVisibilityThreshold().max);
    // Presses off the plot are left to others.
    for (const auto& [x, row] :
         {std::make_pair(484, 100), std::make_pair(631, 100), std::make_pair(550, 20), std::make_pair(550, 172)})
        EXPECT_FALSE(control->OnButtonDown(kLeftButton, x, kHeight - 1 - row, 0, 0)) << x << ", " << row;
}

TEST_F(ExpressionThresholdPlotTest, Labels)
{
    plot->colormap = &colormap;
    auto control = MakeControl();
    struct Case
    {
        Range level, density;
        const char *levelLow, *levelHigh, *densityLow, *densityHigh;
    };
    const Case cases[] = {
        {{0, -1}, {0, -1}, "35", ">200", "0", ">0.1"},
        {{50.7f, 150.2f}, {20, 60}, "50", "150", "0.02", "0.06"},
        {{10, 200}, {15, 100}, "35", ">200", "0.015", ">0.1"},
        {{36.9f, 250}, {33.3f, 99.9f}, "36", ">200", "0.0333", "0.0999"},
    };
    for (const Case& c : cases)
    {
        SetThresholds(c.level, c.density);
        control->Display();
        EXPECT_EQ("Intensity", LabelText(0));
        EXPECT_EQ("Density", LabelText(1));
        EXPECT_EQ(c.levelLow, LabelText(2));
        EXPECT_EQ(c.levelHigh, LabelText(3));
        EXPECT_EQ(c.densityLow, LabelText(4));
        EXPECT_EQ(c.densityHigh, LabelText(5));
    }
    EXPECT_EQ(185 + 13, control->GetWidth());
    EXPECT_EQ(170 + 13, control->GetHeight());
}

TEST_F(ExpressionThresholdPlotTest, CursorRectangles)
{
    auto control = MakeControl();
    SetThresholds(Range(50, 150), Range(20, 60));
    display->cursorRects.clear();
    control->ResetCursorRects();
    const std::vector<std::array<int, 5>> expected = {
        {509, 129, 10, 10, Cursors::kResizeNWCursor},      {567, 54, 10, 10, Cursors::kResizeNWCursor},
        {567, 129, 10, 10, Cursors::kResizeNECursor},      {509, 54, 10, 10, Cursors::kResizeNECursor},
        {520, 130, 46, 8, Cursors::kResizeUpDownCursor},   {520, 55, 46, 8, Cursors::kResizeUpDownCursor},
        {510, 65, 8, 63, Cursors::kResizeLeftRightCursor}, {568, 65, 8, 63, Cursors::kResizeLeftRightCursor},
        {519, 64, 48, 65, Cursors::kMoveCursor},
    };
    std::vector<std::array<int, 5>> rects;
    for (const RecordingDisplay::CursorRect& r : display->cursorRects)
        rects.push_back({r.x, r.y, r.width, r.height, r.cursor});
    EXPECT_EQ(expected, rects);
    ASSERT_TRUE(control->OnButtonDown(kLeftButton, 514, kHeight - 1 - 134, 0, 0));
    display->cursorRects.clear();
    control->ResetCursorRects();
    ASSERT_EQ(1u, display->cursorRects.size());
    EXPECT_EQ(Cursors::kResizeNWCursor, display->cursorRects[0].cursor);
    EXPECT_EQ(640, display->cursorRects[0].width);
    control->OnButtonUp(kLeftButton, 514, kHeight - 1 - 134, 0, 0);
}

} // namespace
