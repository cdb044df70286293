// The thumbnail browser as users see it: a real GL view on the X server (Xvfb in the tests) showing a page of
// search results from the demo server, captured from its framebuffer and checked pixel by pixel. CMake runs
// the Download button's case at screen scale 2 as well.

#include "ThumbnailTestSupport.h"

#include "gl/GLTextBox.h"
#include "gl/GLTextureButton.h"
#include "gl/support/GLTestWindow.h"
#include "gl/support/RatioTwin.h"
#include "gl/TabControlRenderer.h"
#include "views/BrainThumbnailRenderer.h"

#include <QApplication>
#include <QImage>
#include <QWheelEvent>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace
{

using namespace thumbtest;

constexpr int kWidth = 700;
constexpr int kHeight = 560;

class ThumbnailWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string reason;
        if (!env.Start(reason))
            GTEST_SKIP() << reason;
        model = std::make_unique<BrainExpressionModel>(env.atlas);
        ASSERT_TRUE(window.Open(kWidth, kHeight, 30, 30));
        tabs = std::make_unique<TabControlRenderer>(window.wrapper.get(), nullptr);
        tabs->AddTab("Detail View", false, nullptr);
        tabs->AddTab("Results", true, nullptr);
        tabs->SwitchTab(1);
        list = std::make_unique<PagedGeneList>(10);
        browser = std::make_unique<BrainThumbnailRenderer>(window.wrapper.get(), list.get(), model.get(), tabs.get(),
                                                           nullptr);
        window.Attach(*browser, true);
        browser->SetActive(true);
    }

    void TearDown() override
    {
        window.Detach();
        browser.reset();
        list.reset();
        tabs.reset();
        window.Close();
    }

    QImage Capture() { return window.Capture(120); }

    // Pixels of the rectangle (window rows from the top) brighter than dark grey.
    static int LitPixels(const QImage& image, int x0, int y0, int x1, int y1)
    {
        int lit = 0;
        for (int y = std::max(0, y0); y < std::min(image.height(), y1); ++y)
            for (int x = std::max(0, x0); x < std::min(image.width(), x1); ++x)
            {
                const QRgb pixel = image.pixel(x, y);
                lit += qRed(pixel) + qGreen(pixel) + qBlue(pixel) > 60;
            }
        return lit;
    }

    // A page of results whose ten cells have drawn their clouds and, when asked, offer their downloads: a
    // state that a browser reaches whatever the machine's load.
    static bool Settled(BrainThumbnailRenderer& shown, bool offered = true)
    {
        return RunEventsUntil(
            [&] {
                if (shown.GetNumFilledCells() < 10)
                    return false;
                for (int i = 0; i < 10; ++i)
                    if (!shown.GetCell(i).IsLoaded() || (offered && !shown.GetCell(i).IsDownloadOffered()))
                        return false;
                return true;
            },
            kTimeoutMs);
    }

    // The largest plate of the Download button's grey within an area of a frame: the rows that hold a run of
    // it at least 20 pixels long.
    static QRect Plate(const QImage& frame, const QRect& area)
    {
        QRect plate;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(), run = 0; x <= area.right(); ++x)
            {
                const QRgb pixel = frame.pixel(x, y);
                run = qRed(pixel) == 64 && qGreen(pixel) == 64 && qBlue(pixel) == 64 ? run + 1 : 0;
                if (run >= 20)
                    plate |= QRect(x - run + 1, y, run, 1);
            }
        return plate;
    }

    static int DifferentPixels(const QImage& a, const QImage& b, int x0, int y0, int x1, int y1)
    {
        int different = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                different += a.pixel(x, y) != b.pixel(x, y);
        return different;
    }

    TempDir dir;
    ServerEnvironment env;
    std::unique_ptr<BrainExpressionModel> model;
    GLTestWindow window;
    std::unique_ptr<TabControlRenderer> tabs;
    std::unique_ptr<PagedGeneList> list;
    std::unique_ptr<BrainThumbnailRenderer> browser;
};

TEST_F(ThumbnailWindowTest, APageOfSpinningThumbnailsOnScreen)
{
    const QImage empty = Capture();
    ASSERT_EQ(QSize(kWidth, kHeight), empty.size());
    list->Search(env.atlas.get(), "", "", "everything");
    ASSERT_TRUE(Settled(*browser, false));
    const QImage first = Capture();
    const int rowPitch = browser->GetRowPitch();
    const int cellWidth = browser->GetCellWidth();
    for (int i = 0; i < 10; ++i)
    {
        SCOPED_TRACE(i);
        const ExpressionThumbnailRenderer& cell = browser->GetCell(i);
        // The cell's GL box as image rows from the top.
        const int x0 = cell.GetOriginX();
        const int y0 = kHeight - (cell.GetOriginY() + rowPitch);
        const int y1 = kHeight - cell.GetOriginY();
        EXPECT_GT(LitPixels(first, x0, y0, x0 + cellWidth, y1), 20) << "no point cloud"; // some turn edge-on
        EXPECT_EQ(0, LitPixels(empty, x0, y0, x0 + cellWidth, y1));
        // The gene text right of the cloud.
        EXPECT_GT(LitPixels(first, x0 + cellWidth + 4, y0, x0 + cellWidth + 164, y1), 30) << "no text";
    }
    // The header's status text and the tab bar.
    const int header = tabs->GetHeight();
    EXPECT_GT(LitPixels(first, 136, header, kWidth, header + 24), 30);
    EXPECT_GT(LitPixels(first, 0, 0, kWidth, header), 100);

    // The 50 ms timer turns the clouds.
    RunEventsFor(600);
    const QImage later = Capture();
    EXPECT_GT(browser->GetAngle(), 300.0f);
    const ExpressionThumbnailRenderer& cell = browser->GetCell(0);
    const int y0 = kHeight - (cell.GetOriginY() + rowPitch);
    EXPECT_GT(DifferentPixels(first, later, cell.GetOriginX(), y0, cell.GetOriginX() + cellWidth, y0 + rowPitch), 20);
    // Paused with the space bar, it stays still.
    QTest::keyClick(window.view.get(), Qt::Key_Space);
    const QImage paused = Capture();
    RunEventsFor(300);
    const QImage stillPaused = Capture();
    EXPECT_EQ(0, DifferentPixels(paused, stillPaused, 0, header + 26, kWidth, kHeight - 27));
}

// A window moved to a screen scaled by 2 draws every icon again at the new scale (the tab's close box, the
// paging arrows, the pause button and the cells' find buttons): its tab bar, header and first cell then
// look as those of a browser made on that screen.
TEST_F(ThumbnailWindowTest, AMoveToAScreenOfScale2DrawsTheIconsAgain)
{
    if (ratiotwin::Scale() != 1.0)
        GTEST_SKIP() << "moves from scale 1";
    list->Search(env.atlas.get(), "", "", "everything");
    ASSERT_TRUE(Settled(*browser));
    QTest::keyClick(window.view.get(), Qt::Key_Space); // the clouds stand still
    Capture();
    window.view->MoveToRatio(2.0);
    const QImage moved = Capture();
    ASSERT_EQ(moved.size(), QSize(2 * kWidth, 2 * kHeight));

    window.Detach();
    TabControlRenderer freshTabs(window.wrapper.get(), nullptr);
    freshTabs.AddTab("Detail View", false, nullptr);
    freshTabs.AddTab("Results", true, nullptr);
    freshTabs.SwitchTab(1);
    PagedGeneList freshList(10);
    BrainThumbnailRenderer fresh(window.wrapper.get(), &freshList, model.get(), &freshTabs, nullptr);
    window.Attach(fresh, true);
    fresh.SetActive(true);
    freshList.Search(env.atlas.get(), "", "", "everything");
    ASSERT_TRUE(Settled(fresh));
    QTest::keyClick(window.view.get(), Qt::Key_Space);
    const QImage made = Capture();
    window.Detach();

    const ExpressionThumbnailRenderer& cell = browser->GetCell(0);
    const int header = tabs->GetHeight() + 26;
    const int cellTop = kHeight - (cell.GetOriginY() + browser->GetRowPitch());
    const int textLeft = cell.GetOriginX() + browser->GetCellWidth() + 2;
    // The cell's text may differ in a few pixels between two browsers on a loaded machine (its status line
    // comes as the download ends); icons kept at scale 1 and stretched would differ over much of it.
    struct Case
    {
        const char* what;
        QRect logical;
        int share; // of the device pixels that may differ, in thousandths
    };
    const Case cases[] = {
        {"the tab bar and the header", QRect(0, 0, kWidth, header), 0},
        {"the first cell beside its cloud", QRect(textLeft, cellTop, 200, browser->GetRowPitch()), 5},
    };
    for (const Case& c : cases)
    {
        const QRect device(2 * c.logical.topLeft(), 2 * c.logical.size());
        EXPECT_LE(DifferentPixels(moved, made, device.left(), device.top(), device.right() + 1, device.bottom() + 1),
                  device.width() * device.height() * c.share / 1000)
            << c.what;
    }
}

// At every screen scale the first cell's "Download" button shows where the layout puts it (in logical pixels,
// y upwards) and a click there starts its download; at 2 the static header is the scale-1 header scaled by 2.
TEST_F(ThumbnailWindowTest, DownloadButtonIsPressedWhereItShows)
{
    using ratiotwin::Device;
    list->Search(env.atlas.get(), "", "", "everything");
    ASSERT_TRUE(Settled(*browser));
    QTest::keyClick(window.view.get(), Qt::Key_Space); // the clouds stand still
    const QImage frame = Capture();
    ASSERT_EQ(frame.size(), QSize(Device(kWidth), Device(kHeight)));
    const int header = tabs->GetHeight() + 26;
    const QImage top = frame.copy(0, 0, frame.width(), Device(header));
    if (ratiotwin::HandOver(top))
        return;
    if (ratiotwin::Scale() == 2.0)
    {
        const QImage twin = ratiotwin::AtScaleOne("ThumbnailWindowTest.DownloadButtonIsPressedWhereItShows", dir);
        ASSERT_EQ(twin.size(), QSize(kWidth, header));
        const std::string one = dir.File("scale1.png"), two = dir.File("scale2.png");
        ASSERT_TRUE(twin.save(QString::fromStdString(one), "PNG") && top.save(QString::fromStdString(two), "PNG"));
        const std::string error = CommandOutput("convert '" + two + "' -scale 50% '" + one +
                                                "' -compose difference -composite -colorspace gray -format "
                                                "'%[fx:mean]' info:");
        EXPECT_LT(std::stod(error), 0.03) << "mean difference from the scale-1 header";
    }

    // The button where the frame shows it: its grey plate right of the first cell's cloud, in its row.
    const ExpressionThumbnailRenderer& cell = browser->GetCell(0);
    const GLTextureButton& button = *cell.GetDownloadButton();
    const int textLeft = cell.GetOriginX() + browser->GetCellWidth();
    const int rowTop = kHeight - (cell.GetOriginY() + browser->GetRowPitch());
    const QRect plate =
        Plate(frame, QRect(Device(textLeft), Device(rowTop), Device(200), Device(browser->GetRowPitch())));
    ASSERT_FALSE(plate.isEmpty()) << "no Download button beside the first cloud";
    // The plate frames the button.
    EXPECT_GE(plate.width(), Device(button.GetWidth()));
    EXPECT_GE(plate.height(), Device(button.GetHeight()));
    const QPointF centre = QPointF(plate.center()) / ratiotwin::Scale();
    QTest::mouseClick(window.view.get(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    EXPECT_TRUE(browser->GetFetcher().IsActive() || !browser->GetQueue().empty());
    browser->CancelAllGeneDownloads();
}

// A search that finds nothing has one page and no way off it: every paging arrow shows dimmed and the pause
// button lit, and neither the arrows nor the keys change the page.
TEST_F(ThumbnailWindowTest, WithoutResultsThePagingArrowsAreDimAndThePageStays)
{
    using ratiotwin::Device;
    list->Search(env.atlas.get(), "", "zzqxv", "nothing");
    ASSERT_TRUE(RunEventsUntil([&] { return browser->IsPagingEnabled(); }, kTimeoutMs));
    ASSERT_EQ(0, list->GetNumGenes());
    const int header = tabs->GetHeight();
    const auto brightest = [&](const QImage& image, int button) {
        int most = 0;
        for (int y = Device(header + 3); y < Device(header + 19); ++y)
            for (int x = Device(5 + 18 * button); x < Device(21 + 18 * button); ++x)
                most = std::max(most, qGray(image.pixel(x, y)));
        return most;
    };
    const auto click = [&](int button) {
        return [this, button, header] {
            QTest::mouseClick(window.view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(13 + 18 * button, header + 10));
        };
    };
    const auto key = [this](Qt::Key k) { return [this, k] { QTest::keyClick(window.view.get(), k); }; };
    const struct
    {
        const char* what;
        std::function<void()> act;
    } steps[] = {{"the answer", [] {}},         {"Next", click(2)},        {"Last", click(3)},
                 {"Right", key(Qt::Key_Right)}, {"End", key(Qt::Key_End)}, {"Page Down", key(Qt::Key_PageDown)}};
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.what);
        step.act();
        const QImage frame = Capture();
        EXPECT_EQ(0, list->GetCurrentPage());
        for (int button = 0; button < 4; ++button)
            EXPECT_LT(brightest(frame, button), 100) << "arrow " << button;
        EXPECT_GT(brightest(frame, 5), 150) << "pause";
    }
}

// At every size each result of the page shows a thumbnail of a usable size and its texts inside the view
// (nothing that the cells draw reaches the view's right edge, nor the scroll bar's lane), and its "Download"
// button can be brought into the view with the wheel and pressed there; while downloads run, the strip's
// "Cancel" and "Cancel All" show inside the view and cancel where they show.
TEST_F(ThumbnailWindowTest, EveryResultShowsAndDownloadsAtEverySize)
{
    using ratiotwin::Device;
    list->Search(env.atlas.get(), "", "", "everything");
    ASSERT_TRUE(Settled(*browser));
    QTest::keyClick(window.view.get(), Qt::Key_Space); // the clouds stand still
    const auto wheel = [this](int notches) {
        const QPointF at(20, 200);
        QWheelEvent event(at, window.view->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.view.get(), &event);
    };
    for (const QSize size : {QSize(kWidth, kHeight), QSize(560, kHeight), QSize(450, kHeight), QSize(400, kHeight),
                             QSize(320, kHeight), QSize(320, 240), QSize(kWidth, 300)})
    {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        window.view->resize(size);
        wheel(20); // back to the top
        int strip = browser->GetPageLayout().strip.height;
        const QImage frame = Capture();
        ASSERT_EQ(Device(size.width()), frame.width());
        EXPECT_GE(browser->GetCellWidth(), 64);
        const int firstRow = size.height() - browser->GetCell(0).GetOriginY() - browser->GetRowPitch();
        EXPECT_EQ(0, LitPixels(frame, Device(size.width() - 9), Device(firstRow), Device(size.width() - 5),
                               Device(size.height() - strip)))
            << "cut at the edge";
        for (int i = 0; i < 10; ++i)
        {
            SCOPED_TRACE(i);
            const ExpressionThumbnailRenderer& cell = browser->GetCell(i);
            wheel(20); // the second column's first row is above the first column's last
            for (int turns = 0; turns < 40 && cell.GetOriginY() - 8 < strip; ++turns)
                wheel(-1);
            const int rowTop = size.height() - (cell.GetOriginY() + browser->GetRowPitch());
            const QImage shown = Capture();
            const QRect plate =
                Plate(shown, QRect(Device(cell.GetOriginX() + browser->GetCellWidth()), Device(std::max(rowTop, 0)),
                                   Device(200), Device(browser->GetRowPitch() + 8))
                                 .intersected(shown.rect()));
            ASSERT_FALSE(plate.isEmpty()) << "no Download button in view";
            const QPointF centre = QPointF(plate.center()) / ratiotwin::Scale();
            QTest::mouseClick(window.view.get(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
            EXPECT_TRUE(browser->GetFetcher().IsActive() || !browser->GetQueue().empty());
            browser->CancelAllGeneDownloads();
        }
        for (int i = 0; i < 3; ++i)
            browser->DownloadGene("Slow", env.Url(kSlowId, "visualize"));
        strip = browser->GetPageLayout().strip.height;
        const QImage running = Capture();
        const QRect buttons = Plate(running, QRect(0, Device(size.height() - strip), running.width(), Device(strip)));
        ASSERT_FALSE(buttons.isEmpty()) << "no Cancel button in view";
        EXPECT_LT(buttons.right(), running.width() - Device(4)) << "Cancel All cut at the edge";
        const auto click = [&](int x) {
            QTest::mouseClick(window.view.get(), Qt::LeftButton, Qt::NoModifier,
                              (QPointF(x, buttons.center().y()) / ratiotwin::Scale()).toPoint());
        };
        click(buttons.left() + Device(4));
        EXPECT_EQ(1u, browser->GetQueue().size()) << "Cancel";
        click(buttons.right() - Device(4));
        EXPECT_TRUE(browser->GetQueue().empty() && !browser->GetFetcher().IsActive()) << "Cancel All";
    }
}

} // namespace
