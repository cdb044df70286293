#include "gl/DevicePixels.h"
#include "gl/support/GLTest.h"
#include "gl/support/RecordingDisplay.h"

#include <GL/glew.h>

#include <array>
#include <cmath>
#include <limits>

namespace
{

using DevicePixelsTest = GLTest;

TEST_F(DevicePixelsTest, EdgesRoundAsTheFrameAndRectanglesThatTouchKeepTouching)
{
    struct Case
    {
        double ratio, used;
        int logical, device, back, centre;
    };
    const Case cases[] = {
        {1.0, 1.0, 33, 33, 33, 33},
        {2.0, 2.0, 33, 66, 33, 67},
        {1.5, 1.5, 33, 50, 33, 50},
        {1.25, 1.25, 7, 9, 7, 9},
        {1.5, 1.5, 0, 0, 0, 0},
        // A ratio that is no number, or not above 0, counts as 1.
        {0.0, 1.0, 5, 5, 5, 5},
        {-2.0, 1.0, 5, 5, 5, 5},
        {std::numeric_limits<double>::quiet_NaN(), 1.0, 5, 5, 5, 5},
        {std::numeric_limits<double>::infinity(), 1.0, 5, 5, 5, 5},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.ratio);
        const DevicePixels pixels(c.ratio);
        EXPECT_EQ(pixels.GetRatio(), c.used);
        EXPECT_EQ(pixels.ToDevice(c.logical), c.device);
        EXPECT_EQ(pixels.ToLogical(c.device), c.back);
        EXPECT_EQ(pixels.CentreOf(c.logical), c.centre);

        // Two views side by side and one above: device rectangles that share their edges, and the logical
        // rectangles back from the GL.
        const std::array<std::array<int, 4>, 3> views = {{{0, 0, 33, 40}, {33, 0, 34, 40}, {0, 40, 67, 21}}};
        std::array<int, 4> previous = {0, 0, 0, 0};
        for (std::size_t v = 0; v < views.size(); ++v)
        {
            const auto& r = views[v];
            pixels.Viewport(r[0], r[1], r[2], r[3]);
            GLint device[4];
            glGetIntegerv(GL_VIEWPORT, device);
            EXPECT_EQ(device[0], pixels.ToDevice(r[0]));
            EXPECT_EQ(device[0] + device[2], pixels.ToDevice(r[0] + r[2]));
            EXPECT_EQ(device[1] + device[3], pixels.ToDevice(r[1] + r[3]));
            if (v == 1)
            {
                EXPECT_EQ(device[0], previous[0] + previous[2]) << "a gap or an overlap between neighbours";
            }
            previous = {device[0], device[1], device[2], device[3]};
            int logical[4];
            pixels.GetViewport(logical);
            EXPECT_EQ((std::array<int, 4>{logical[0], logical[1], logical[2], logical[3]}), r);
        }
        pixels.LineWidth(1.0f);
        GLfloat width = 0.0f;
        glGetFloatv(GL_LINE_WIDTH, &width);
        EXPECT_FLOAT_EQ(width, static_cast<float>(c.used));
    }
    glLineWidth(1.0f);
    glViewport(0, 0, kWidth, kHeight);
}

TEST_F(DevicePixelsTest, TheRatioIsTheDisplaysAndOneWithoutADisplay)
{
    RecordingDisplay display(100, 80);
    display.pixelRatio = 2.0;
    EXPECT_EQ(DevicePixels(&display).ToDevice(100), 200);
    display.pixelRatio = 0.0;
    EXPECT_EQ(DevicePixels(&display).ToDevice(100), 100);
    EXPECT_EQ(DevicePixels(static_cast<GLDisplay*>(nullptr)).ToDevice(100), 100);
}

} // namespace
