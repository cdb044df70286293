#include "SceneFixture.h"

#include "atlas/Colormap.h"
#include "atlas/GeneColorModes.h"
#include "expression/BrainExpressionModelListener.h"
#include "scene/ExpressionLevelThresholdControl.h"
#include "scene/VolumeThresholdControl.h"

namespace
{

using namespace scenetest;

// Counts the announcements of one model code.
class CodeCounter : public BrainExpressionModelListener
{
public:
    explicit CodeCounter(int code)
        : m_code(code)
    {
    }
    void ModelChanged(int code, BrainExpressionModel*, int) override
    {
        if (code == m_code)
            ++count;
    }
    int count = 0;

private:
    int m_code;
};

// On a 640 x 480 display with labels 13 pixels high the bar spans x 375..630 and rows 26..41.
class ThresholdControlTest : public SceneTest
{
protected:
    static constexpr int kHeight = 480;
    static constexpr int kBarRow = 33;

    void SetUp() override
    {
        SceneTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        MakeScene(Installed(310), 640, kHeight);
    }

    // Presses at (x, row from the bottom), moves to each x in turn and releases at the last.
    static bool Drag(ThresholdControl1D& control, int x, int row, std::initializer_list<int> moves)
    {
        const int y = kHeight - 1 - row;
        if (!control.OnButtonDown(kLeftButton, x, y, 0, 0))
            return false;
        int last = x;
        for (int to : moves)
        {
            control.OnMouseMove(to, y, 0, 0);
            last = to;
        }
        control.OnButtonUp(kLeftButton, last, y, 0, 0);
        return true;
    }

    std::vector<std::array<int, 5>> Rects() const
    {
        std::vector<std::array<int, 5>> rects;
        for (const RecordingDisplay::CursorRect& r : display->cursorRects)
            rects.push_back({r.x, r.y, r.width, r.height, r.cursor});
        return rects;
    }

    // The text of a control's label: its two boxes are the last ones the display made.
    std::string LabelText(int which) const { return display->textBoxes[display->textBoxes.size() - 2 + which]->text; }
};

TEST_F(ThresholdControlTest, HandlesFollowTheModelWindow)
{
    struct Case
    {
        const char* name;
        Range range; // (0, 0): the volume control and its window, which may have no upper limit
        Range window;
        int offsetX, offsetY;
        int left, bottom, xLow, xHigh;
    };
    const Case cases[] = {
        {"whole range", {0, 0}, {0, 255}, 0, 0, 375, 26, 375, 630},
        {"default window", {0, 0}, {30, 250}, 0, 0, 375, 26, 405, 625},
        {"no upper limit", {0, 0}, {100, -1}, 0, 0, 375, 26, 475, 630},
        {"offset", {0, 0}, {100, -1}, -20, 7, 355, 33, 455, 610},
        {"negative range", {-3, 3}, {-1.5f, 1.5f}, 0, 0, 375, 26, 439, 566},
        {"low below the range", {-3, 3}, {-10, 10}, 0, 0, 375, 26, 375, 630},
        // A data set of one value: both handles at the left end rather than a division by zero.
        {"range of one value", {2, 2}, {2, 2}, 0, 0, 375, 26, 375, 375},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ThresholdControl1D> control;
        if (c.range == Range(0, 0))
            control = std::make_unique<VolumeThresholdControl>(renderer.get(), nullptr);
        else
            control = std::make_unique<ExpressionLevelThresholdControl>(renderer.get(), c.range, nullptr);
        control->SetOriginOffset(c.offsetX, c.offsetY);
        model->SetExpressionWindow(c.window.min, c.window.max, false);
        model->SetVolumeRenderWindow(c.window.min, c.window.max, false);
        const ThresholdControl1D::Geometry g = control->GetGeometry();
        EXPECT_EQ(c.left, g.left);
        EXPECT_EQ(c.left + 255, g.right);
        EXPECT_EQ(c.bottom, g.bottom);
        EXPECT_EQ(c.bottom + 15, g.top);
        EXPECT_EQ(c.xLow, g.xLow);
        EXPECT_EQ(c.xHigh, g.xHigh);
    }
}

TEST_F(ThresholdControlTest, DraggingWritesTheWindow)
{
    struct Case
    {
        const char* name;
        int x, row;
        std::initializer_list<int> moves;
        int anchor; // grabbed at the press
        float low, high;
    };
    // The window (50, 100) puts the handles at 425 and 475.
    const Case cases[] = {
        {"low past high stops one pixel left", 425, kBarRow, {600}, 2, 99, 100},
        {"high past low stops one pixel right", 475, kBarRow, {100}, 1, 50, 51},
        {"high dropped at the right end", 475, kBarRow, {520, 700}, 1, 50, 255},
        {"low dropped at the left end", 425, kBarRow, {0}, 2, 0, 100},
        {"whole window", 450, kBarRow, {500}, 3, 100, 150},
        {"whole window against the right end", 450, kBarRow, {1000}, 3, 205, 255},
        {"whole window against the left end", 450, kBarRow, {0}, 3, 0, 50},
        {"on the labels below the bar", 425, kBarRow - 17, {400}, 2, 25, 100},
        {"beside the handles", 390, kBarRow, {600}, 0, 50, 100},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        VolumeThresholdControl control(renderer.get(), nullptr);
        model->SetVolumeRenderWindow(50, 100, false);
        CodeCounter written(VOLUME_RENDER_WINDOW_CHANGED);
        model->AddListener(&written);
        const int y = kHeight - 1 - c.row;
        ASSERT_TRUE(control.OnButtonDown(kLeftButton, c.x, y, 0, 0));
        EXPECT_EQ(c.anchor, control.GetAnchor());
        EXPECT_TRUE(model->GetLiveUpdate());
        int moved = 0;
        for (int to : c.moves)
        {
            EXPECT_TRUE(control.OnMouseMove(to, y, 0, 0));
            EXPECT_TRUE(model->GetLiveUpdate());
            ++moved;
        }
        EXPECT_TRUE(control.OnButtonUp(kLeftButton, *(c.moves.end() - 1), y, 0, 0));
        EXPECT_FALSE(model->GetLiveUpdate());
        EXPECT_FALSE(control.IsDragging());
        EXPECT_NEAR(c.low, model->GetVolumeRenderWindow().min, 1e-3);
        EXPECT_NEAR(c.high, model->GetVolumeRenderWindow().max, 1e-3);
        if (c.anchor != 0 && c.moves.size() > 1)
        {
            EXPECT_GE(written.count, moved); // every move wrote the window
        }
        model->RemoveListener(&written);
    }
    // The ends are written exactly, not as a fraction of the bar.
    VolumeThresholdControl control(renderer.get(), nullptr);
    model->SetVolumeRenderWindow(50, 100, false);
    ASSERT_TRUE(Drag(control, 475, kBarRow, {631}));
    EXPECT_EQ(255.0f, model->GetVolumeRenderWindow().max);
    ASSERT_TRUE(Drag(control, 425, kBarRow, {374}));
    EXPECT_EQ(0.0f, model->GetVolumeRenderWindow().min);
    // Presses off the bar are not taken.
    for (const int row : {kBarRow - 18, 42})
        EXPECT_FALSE(control.OnButtonDown(kLeftButton, 450, kHeight - 1 - row, 0, 0)) << row;
    EXPECT_FALSE(control.OnButtonDown(kLeftButton, 374, kHeight - 1 - kBarRow, 0, 0));
    EXPECT_FALSE(control.OnMouseMove(200, 10, 0, 0));
    EXPECT_TRUE(control.OnMouseMove(450, kHeight - 1 - kBarRow, 0, 0));
}

TEST_F(ThresholdControlTest, SymmetricWindows)
{
    const Range range(-3, 3);
    struct Set
    {
        Range before, after;
        bool announced;
    };
    const Set sets[] = {
        {{-1, 2}, {-1, 1}, true},
        {{1, 2}, {-2, 2}, true},
        {{-2, 2}, {-2, 2}, false},
        {{0, 0}, {0, 0}, false},
    };
    for (const Set& s : sets)
    {
        ExpressionLevelThresholdControl control(renderer.get(), range, nullptr);
        model->SetExpressionWindow(s.before.min, s.before.max, false);
        CodeCounter written(EXPRESSION_WINDOW_CHANGED);
        model->AddListener(&written);
        control.SetSymmetric(true);
        EXPECT_EQ(s.after, model->GetExpressionWindow()) << s.before.min << " " << s.before.max;
        EXPECT_EQ(s.announced ? 1 : 0, written.count);
        model->RemoveListener(&written);
    }

    // Handles at 439 and 566 for (-1.5, 1.5).
    struct Case
    {
        const char* name;
        int x;
        std::initializer_list<int> moves;
        float low, high, tolerance;
    };
    const float pixel = 6 / 255.0f;
    const Case cases[] = {
        {"low handle mirrors the high one", 439, {400}, -3 + 25 * pixel, 3 - 25 * pixel, 1e-4f},
        {"high handle mirrors the low one", 566, {600}, 3 - 225 * pixel, -3 + 225 * pixel, 1e-4f},
        // The handle stops at the middle (within the pixel the release lands on): further on the window
        // would be inverted.
        {"low handle past the middle", 439, {560}, 0, 0, 2 * pixel},
        {"high handle past the middle", 566, {440}, 0, 0, 2 * pixel},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        ExpressionLevelThresholdControl control(renderer.get(), range, nullptr);
        model->SetExpressionWindow(-1.5f, 1.5f, false);
        control.SetSymmetric(true);
        ASSERT_TRUE(Drag(control, c.x, kBarRow, c.moves));
        const Range window = model->GetExpressionWindow();
        EXPECT_NEAR(c.low, window.min, c.tolerance);
        EXPECT_NEAR(c.high, window.max, c.tolerance);
        EXPECT_LE(window.min, window.max);
        EXPECT_NEAR(0, window.min + window.max, 1e-5) << "symmetric";
    }
    // The middle does not move.
    ExpressionLevelThresholdControl control(renderer.get(), range, nullptr);
    model->SetExpressionWindow(-1.5f, 1.5f, false);
    control.SetSymmetric(true);
    ASSERT_TRUE(Drag(control, 500, kBarRow, {560}));
    EXPECT_EQ(439, control.GetGeometry().xLow);
    EXPECT_EQ(566, control.GetGeometry().xHigh);
}

TEST_F(ThresholdControlTest, Labels)
{
    struct Case
    {
        Range range, window;
        const char *low, *high;
    };
    const Case cases[] = {
        {{0, 255}, {0, -1}, "0", "255"},         {{0, 255}, {50.2f, 200.7f}, "50.7", "201"},
        {{0, 255}, {0.01f, 300}, "0.51", "255"}, {{-3, 3}, {-1.2f, 2}, "-1.7", "2.5"},
        {{-3, 3}, {-3, 3}, "-3", "3"},           {{0, 1000}, {3.3f, 997.2f}, "3.8", "998"},
    };
    for (const Case& c : cases)
    {
        ExpressionLevelThresholdControl control(renderer.get(), c.range, nullptr);
        model->SetExpressionWindow(c.window.min, c.window.max, false);
        control.Display();
        EXPECT_EQ(c.low, LabelText(0)) << c.window.min;
        EXPECT_EQ(c.high, LabelText(1)) << c.window.max;
    }
    // Below the bar, centred on their handles.
    model->SetExpressionWindow(50, 110.2f, false);
    ExpressionLevelThresholdControl control(renderer.get(), Range(0, 255), nullptr);
    control.Display();
    const TextBoxRecord& low = *display->textBoxes[display->textBoxes.size() - 2];
    const TextBoxRecord& high = *display->textBoxes[display->textBoxes.size() - 1];
    EXPECT_EQ(GLTextBox::kAlignLeft, low.alignment);
    EXPECT_EQ(GLTextBox::kAlignRight, high.alignment);
    EXPECT_EQ(std::make_pair(425 - 14, 8), low.draws.back());       // "50.5": 28 pixels wide
    EXPECT_EQ(std::make_pair(485 + 10 - 50, 8), high.draws.back()); // "111": 21 pixels wide
    EXPECT_EQ(15 + 13, control.GetHeight());
}

TEST_F(ThresholdControlTest, CursorRectangles)
{
    VolumeThresholdControl control(renderer.get(), nullptr);
    model->SetVolumeRenderWindow(50, 100, false);
    display->cursorRects.clear();
    control.ResetCursorRects();
    const std::vector<std::array<int, 5>> expected = {
        {421, 17, 8, 23, Cursors::kResizeLeftRightCursor},
        {471, 17, 8, 23, Cursors::kResizeLeftRightCursor},
        {430, 16, 40, 25, Cursors::kMoveCursor},
    };
    EXPECT_EQ(expected, Rects());
    // While dragging one rectangle holds the whole display, and the press and release ask for new ones.
    for (const auto& [x, cursor] :
         {std::make_pair(425, Cursors::kResizeLeftRightCursor), std::make_pair(450, Cursors::kMoveCursor)})
    {
        display->invalidateCursorRectsCount = 0;
        ASSERT_TRUE(control.OnButtonDown(kLeftButton, x, kHeight - 1 - kBarRow, 0, 0));
        EXPECT_EQ(1, display->invalidateCursorRectsCount);
        display->cursorRects.clear();
        control.ResetCursorRects();
        ASSERT_EQ(1u, display->cursorRects.size());
        EXPECT_EQ(640, display->cursorRects[0].width);
        EXPECT_EQ(480, display->cursorRects[0].height);
        EXPECT_EQ(cursor, display->cursorRects[0].cursor);
        control.OnButtonUp(kLeftButton, x, kHeight - 1 - kBarRow, 0, 0);
        EXPECT_EQ(2, display->invalidateCursorRectsCount);
    }
}

TEST_F(ThresholdControlTest, VolumeControlEditsTheMIPWindowWithAColormap)
{
    const Colormap* jet = model->GetAtlas()->GetGeneColorModes().GetJetColormap();
    VolumeThresholdControl control(renderer.get(), nullptr);
    model->SetVolumeRenderWindow(50, 100, false);
    model->SetMIPWindow(100, 200, false);
    EXPECT_EQ(Range(50, 100), control.GetModelWindow());
    control.SetColormap(jet);
    EXPECT_EQ(Range(100, 200), control.GetModelWindow());
    ASSERT_TRUE(Drag(control, 575, kBarRow, {600}));
    EXPECT_NEAR(225, model->GetMIPWindow().max, 1e-3);
    EXPECT_EQ(Range(50, 100), model->GetVolumeRenderWindow());
    control.SetColormap(nullptr);
    EXPECT_EQ(Range(50, 100), control.GetModelWindow());
}

TEST_F(ThresholdControlTest, BarShowsTheColormapOrAGreyRamp)
{
    const Colormap* jet = model->GetAtlas()->GetGeneColorModes().GetJetColormap();
    ASSERT_GE(jet->entries.size(), 768u);
    GLTestFramebuffer screen(640, kHeight);
    screen.Bind();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The overlay's state.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    for (const Colormap* colormap : {jet, static_cast<const Colormap*>(nullptr)})
    {
        SCOPED_TRACE(colormap ? "colormap" : "grey");
        VolumeThresholdControl control(renderer.get(), colormap);
        if (colormap)
            model->SetMIPWindow(50, 100, false);
        else
            model->SetVolumeRenderWindow(50, 100, false);
        glClear(GL_COLOR_BUFFER_BIT);
        control.Display();
        const auto entry = [&](int i) -> std::array<int, 3> {
            if (!colormap)
                return {i, i, i};
            return {colormap->entries[3 * i], colormap->entries[3 * i + 1], colormap->entries[3 * i + 2]};
        };
        // The texture holds the table as blue, green, red, alpha.
        std::vector<unsigned char> texels(256 * 4);
        glBindTexture(GL_TEXTURE_2D, control.GetBarTexture().GetTexture());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        for (int i = 0; i < 256; ++i)
        {
            const std::array<int, 3> rgb = entry(i);
            ASSERT_EQ(rgb[2], texels[4 * i]) << i;
            ASSERT_EQ(rgb[1], texels[4 * i + 1]) << i;
            ASSERT_EQ(rgb[0], texels[4 * i + 2]) << i;
            ASSERT_EQ(255, texels[4 * i + 3]) << i;
        }
        // On screen: the lowest colour left of the window, the highest right of it, white handles.
        const auto near = [](std::array<std::uint8_t, 4> pixel, std::array<int, 3> rgb) {
            return std::abs(pixel[0] - rgb[0]) <= 2 && std::abs(pixel[1] - rgb[1]) <= 2 &&
                   std::abs(pixel[2] - rgb[2]) <= 2;
        };
        for (const int x : {380, 400, 420})
            EXPECT_TRUE(near(screen.Pixel(x, kBarRow), entry(0))) << x;
        for (const int x : {480, 550, 625})
            EXPECT_TRUE(near(screen.Pixel(x, kBarRow), entry(255))) << x;
        bool ramp = false;
        for (int i = 124; i <= 132; ++i)
            ramp = ramp || near(screen.Pixel(450, kBarRow), entry(i));
        EXPECT_TRUE(ramp) << "the middle of the window shows the middle of the table";
        for (const int x : {424, 474})
            EXPECT_TRUE(near(screen.Pixel(x, kBarRow), {255, 255, 255})) << x;
    }
    screen.Unbind();
    Framebuffer().Bind();
}

} // namespace
