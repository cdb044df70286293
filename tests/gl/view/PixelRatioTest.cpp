// Views on a screen that the window system scales: CMake runs this suite at QT_SCALE_FACTOR 1, 2 and 1.5.
// Renderers lay out and hear the pointer in logical pixels, the frame holds device pixels, and at 2 the
// frame is the ratio-1 frame (made by this test again in a process at scale 1) scaled by 2.

#include "PatternRenderer.h"
#include "TabStripRenderer.h"

#include "gl/CocoaGLTextBox.h"
#include "gl/GLView.h"
#include "gl/GLViewWrapper.h"
#include "gl/support/GLTestContext.h"
#include "gl/support/GLTestWindow.h"
#include "gl/support/MovingView.h"
#include "gl/support/RatioTwin.h"
#include "platform/EventLoopSupport.h"

#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QFontMetricsF>
#include <QTest>

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace
{

using ratiotwin::Device;

double ExpectedRatio()
{
    return ratiotwin::Scale();
}

// A click of the real pointer at a logical point of the view, in the X server's device pixels.
void ClickAt(GLView& view, QPoint logical)
{
    const QPoint global = view.mapToGlobal(logical);
    const std::string at = std::to_string(std::lround(global.x() * ExpectedRatio())) + " " +
                           std::to_string(std::lround(global.y() * ExpectedRatio()));
    CommandOutput("xdotool mousemove --sync " + at + " click 1");
}

// Rows from the top of the frame's column x that are not black, up to the first black one.
int LitRowsFromTheTop(const QImage& frame, int x)
{
    int rows = 0;
    while (rows < frame.height() && (frame.pixel(x, rows) & 0xffffff) != 0)
        ++rows;
    return rows;
}

// Height of the rows of a rectangle that hold near-white (text) pixels.
int InkHeight(const QImage& frame, int x0, int x1, int y1)
{
    int top = -1, bottom = -1;
    for (int y = 0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (qRed(frame.pixel(x, y)) > 170 && qBlue(frame.pixel(x, y)) > 170)
            {
                top = top < 0 ? y : top;
                bottom = y;
            }
    return top < 0 ? 0 : bottom - top + 1;
}

class PixelRatioTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GLTestContext::Instance(); // the application object
        ASSERT_DOUBLE_EQ(qApp->devicePixelRatio(), ExpectedRatio());
    }

    void TearDown() override
    {
        window.Detach();
        window.Close();
    }

    TempDir dir;
    GLTestWindow window;
    // Gone after TearDown has taken them from the window.
    PatternRenderer pattern;
    std::unique_ptr<TabStripRenderer> strip;
};

TEST_F(PixelRatioTest, RenderersSeeLogicalPixelsAndTheFrameAndCopiesHoldDevicePixels)
{
    ASSERT_TRUE(window.Open(200, 150, 40, 40));
    PatternRenderer& renderer = pattern;
    renderer.display = window.wrapper.get();
    window.Attach(renderer);
    EXPECT_DOUBLE_EQ(window.wrapper->GetPixelRatio(), ExpectedRatio());
    EXPECT_EQ(window.wrapper->GetWidth(), 200);
    EXPECT_EQ(window.wrapper->GetHeight(), 150);
    const QImage frame = window.Capture();
    EXPECT_EQ(renderer.width, 200);
    EXPECT_EQ(renderer.height, 150);
    ASSERT_EQ(frame.size(), QSize(Device(200), Device(150)));
    struct Case
    {
        const char* what;
        int x, y; // device pixels
        QRgb colour;
    };
    // At 1.5 a logical row is one or two device rows, as its edges round.
    const int topRow = Device(150) - Device(149);
    const Case cases[] = {
        {"the top row", Device(100), topRow - 1, qRgb(255, 0, 0)},
        {"below it", Device(100), topRow, qRgb(0, 0, 255)},
        {"the bottom row", Device(100), Device(150) - Device(1), qRgb(0, 255, 0)},
        {"above it", Device(100), Device(150) - Device(1) - 1, qRgb(0, 0, 255)},
        {"the corner block's last pixel", Device(10) - 1, Device(10) - 1, qRgb(255, 255, 0)},
        {"beside the block", Device(10), Device(5), qRgb(0, 0, 255)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(frame.pixel(c.x, c.y) & 0xffffff, c.colour & 0xffffff) << c.what;

    ASSERT_TRUE(window.view->CopyToPasteboard());
    EXPECT_EQ(QApplication::clipboard()->image().size(), frame.size()) << "Copy Image holds the device pixels";

    renderer.log.clear();
    ClickAt(*window.view, QPoint(50, 40));
    ASSERT_TRUE(RunEventsUntil([&] { return !renderer.Entries("Up").empty(); }, 3000));
    EXPECT_EQ(renderer.Entries("Down"), std::vector<std::string>{"Down 0 50,40 f0"});
    EXPECT_EQ(renderer.Entries("Up"), std::vector<std::string>{"Up 0 50,40 f0"});
}

TEST_F(PixelRatioTest, TabBarScalesWithSharpTextAndItsCloseBoxClosesUnderThePointer)
{
    constexpr int kWidth = 400, kHeight = 100;
    ASSERT_TRUE(window.Open(kWidth, kHeight, 40, 260));
    strip = std::make_unique<TabStripRenderer>(window.wrapper.get());
    window.wrapper->SetRenderer(strip.get());
    window.wrapper->SetMouseListener(strip.get());
    const QImage frame = window.Capture();
    if (ratiotwin::HandOver(frame))
        return;
    ASSERT_EQ(frame.size(), QSize(Device(kWidth), Device(kHeight)));

    // The bar's 22 rows (the last edge line may fall on either side of its row) at the right, past the tabs.
    const int bar = LitRowsFromTheTop(frame, Device(kWidth - 10));
    EXPECT_NEAR(bar, 22 * ExpectedRatio(), 1.0 + ExpectedRatio());
    // The "Detail View" label: glyphs as tall as 11-pixel text scaled by the ratio.
    QFont font("DejaVu Sans");
    font.setPixelSize(CocoaGLTextBox::kFontSize);
    const double ink = QFontMetricsF(font).tightBoundingRect("Detail View").height();
    const int labelInk = InkHeight(frame, 0, strip->CloseBoxLeft(1) * ExpectedRatio(), bar);
    EXPECT_NEAR(labelInk, ink * ExpectedRatio(), 1.0 + ExpectedRatio());

    if (ExpectedRatio() == 2.0)
    {
        const QImage twin =
            ratiotwin::AtScaleOne("PixelRatioTest.TabBarScalesWithSharpTextAndItsCloseBoxClosesUnderThePointer", dir);
        ASSERT_EQ(twin.size(), QSize(kWidth, kHeight));
        EXPECT_NEAR(labelInk, 2 * InkHeight(twin, 0, strip->CloseBoxLeft(1), LitRowsFromTheTop(twin, kWidth - 10)), 2);
        const std::string shot = dir.File("ratio2.png");
        ASSERT_TRUE(frame.save(QString::fromStdString(shot), "PNG"));
        const std::string scaled = dir.File("scaled.png");
        ASSERT_TRUE(twin.scaled(twin.size() * 2).save(QString::fromStdString(scaled), "PNG"));
        // Text is sharper than doubled pixels and edge lines may land a row apart; everything else agrees.
        const std::string differing =
            CommandOutput("compare -metric AE -fuzz 20% '" + shot + "' '" + scaled + "' null: 2>&1");
        ASSERT_TRUE(!differing.empty() && std::isdigit(static_cast<unsigned char>(differing[0]))) << differing;
        EXPECT_LT(std::atof(differing.c_str()), 0.04 * frame.width() * frame.height()) << differing;
    }

    const int closeBox = strip->CloseBoxLeft(1);
    ASSERT_GT(closeBox, 0);
    ClickAt(*window.view, QPoint(closeBox + 5, 11));
    EXPECT_TRUE(RunEventsUntil([&] { return !strip->closed.empty(); }, 3000));
    EXPECT_EQ(strip->closed, std::vector<int>{1});
}

TEST_F(PixelRatioTest, AMoveToAScreenOfAnotherScaleRendersTheTextAgainAndReshapes)
{
    constexpr int kWidth = 400, kHeight = 100;
    auto view = std::make_unique<MovingView>();
    view->MoveToRatio(1.0);
    view->resize(kWidth, kHeight);
    view->move(40, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    GLViewWrapper wrapper(view.get());
    ASSERT_TRUE(wrapper.MakeCurrent());
    strip = std::make_unique<TabStripRenderer>(&wrapper);
    wrapper.SetRenderer(strip.get());
    const auto capture = [&] {
        view->update();
        RunEventsFor(150);
        return view->GetImageData();
    };
    const QImage before = capture();
    ASSERT_EQ(before.size(), QSize(kWidth, kHeight));
    const int labelBefore = InkHeight(before, 0, strip->CloseBoxLeft(1), LitRowsFromTheTop(before, kWidth - 10));
    const int reshapes = strip->reshapes;

    view->MoveToRatio(2.0);
    const QImage after = capture();
    ASSERT_EQ(after.size(), QSize(2 * kWidth, 2 * kHeight));
    EXPECT_GT(strip->reshapes, reshapes);
    EXPECT_EQ(wrapper.GetWidth(), kWidth) << "the layout stays logical";
    const int bar = LitRowsFromTheTop(after, 2 * kWidth - 20);
    EXPECT_NEAR(bar, 44, 3);
    EXPECT_NEAR(InkHeight(after, 0, 2 * strip->CloseBoxLeft(1), bar), 2 * labelBefore, 2)
        << "the label's text is rendered again at the new ratio";

    wrapper.SetRenderer(nullptr);
    wrapper.MakeCurrent();
    strip.reset();
}

} // namespace
