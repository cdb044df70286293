// The real program on a screen scaled by 2, against the same steps on an unscaled screen: a new user's
// window at the same logical size, with a result tab open (tab bar and its GL controls), then back on the
// scene, its brain shown and clicked. xdotool drives it; its window is captured by its id.

#include "TestSupport.h"
#include "atlas/AtlasFixture.h"
#include "ProgramDriving.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace
{

// What the measures of one run saw, in the device pixels of its screen.
struct Look
{
    std::string result;                                 // the result tab's capture
    std::string unpicked;                               // the scene with the brain shown and another structure selected
    std::string picked;                                 // after a click on the brain
    long barPixels = 0;                                 // the tab bar's grey
    long compassSide = 0;                               // the compass corner's width
    bool brainRowBefore = false, brainRowAfter = false; // the outline's Brain row selected
    long greenBefore = 0, greenAfter = 0;               // the selected mesh's green
    bool openedOnScreen = false;                        // the window as it opened, within the screen
    bool mapFollows = false;                            // the menu map's bar, as the window moves
};

class ScaledScreenProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY") || CommandOutput("command -v xdotool import convert").empty())
            GTEST_SKIP() << "needs an X display, xdotool and ImageMagick";
        GenerateAtlas("micro", 310, m_dir.File("data/Corvane 2/Atlases/310"));
        for (const char* sub : {"home", "config/Corvane", "cache", "runtime"})
            CommandOutput("mkdir -p " + Quote(m_dir.File(sub)));
        CommandOutput("chmod 700 " + Quote(m_dir.File("runtime")));
        // Searches go to a port where nothing listens, so that they fail at once; no update check.
        WriteWholeFile(m_dir.File("config/Corvane/Corvane.ini"),
                       "[General]\nHost=http://127.0.0.1:9\nAutomaticVersionCheck=false\nLastVersionRun=2000000000\n");
    }

    std::string Shot(const std::string& window, const std::string& name)
    {
        const std::string path = m_dir.File(name);
        EXPECT_TRUE(CaptureWindow(window, path)) << name;
        return path;
    }

    // Pixels of a rectangle of a capture (the whole of it when empty) for which a condition holds, and the
    // width of the columns they span.
    struct Pixels
    {
        long count = 0;
        int width = 0;
    };
    static Pixels Count(const QImage& image, const std::function<bool(const QColor&)>& condition, QRect area = QRect())
    {
        area = area.isEmpty() ? image.rect() : area.intersected(image.rect());
        Pixels pixels;
        int left = area.right() + 1, right = area.left() - 1;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (condition(image.pixelColor(x, y)))
                {
                    ++pixels.count;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        pixels.width = std::max(0, right - left + 1);
        return pixels;
    }

    Look Run(double scale)
    {
        const std::string tag = std::to_string(static_cast<int>(scale));
        const std::string command =
            "env QT_SCALE_FACTOR=" + std::to_string(scale) + " HOME=" + Quote(m_dir.File("home")) +
            " XDG_DATA_HOME=" + Quote(m_dir.File("data")) + " XDG_CONFIG_HOME=" + Quote(m_dir.File("config")) +
            " XDG_CACHE_HOME=" + Quote(m_dir.File("cache")) + " XDG_RUNTIME_DIR=" + Quote(m_dir.File("runtime")) +
            " CORVANE_MENU_MAP=" + Quote(m_dir.File("map" + tag)) + " " +
            Quote(std::string(CORVANE_BINARY_DIR) + "/bin/corvane") + " > " +
            Quote(m_dir.File("corvane" + tag + ".out")) + " 2>&1";
        m_program.Start(command);
        Look look;
        const std::string window = AwaitWindow("^Ostrel Adult Mouse$", 60);
        if (window.empty())
        {
            ADD_FAILURE() << "no window at scale " << scale;
            return look;
        }
        int left = -1, top = -1, width = 0, height = 0, screenWidth = 0, screenHeight = 0;
        const std::string geometry =
            CommandOutput("xdotool getwindowgeometry --shell " + window + " getdisplaygeometry");
        look.openedOnScreen = std::sscanf(geometry.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d SCREEN=%*d %d %d",
                                          &left, &top, &width, &height, &screenWidth, &screenHeight) == 6 &&
                              left >= 0 && top >= 0 && left + width <= screenWidth && top + height <= screenHeight;
        // Logical points of the window, in the screen's device pixels.
        const auto at = [&](int x, int y) {
            return std::to_string(std::lround(x * scale)) + " " + std::to_string(std::lround(y * scale));
        };
        const auto click = [&](int x, int y) { ClickAt(window, std::lround(x * scale), std::lround(y * scale)); };
        // Each step is waited for as the screen shows it: on a loaded machine the program answers late.
        const auto until = [&](const std::string& name, const std::function<bool(const QImage&)>& shown) {
            std::string path;
            WaitFor(
                [&] {
                    path = Shot(window, name + tag + ".png");
                    return shown(QImage(QString::fromStdString(path)));
                },
                20);
            return path;
        };
        // The same capture twice in a row: what the step changed has settled.
        const auto steady = [&](const std::string& name) {
            QImage previous;
            return until(name, [&](const QImage& shot) {
                const bool same = !shot.isNull() && shot == previous;
                previous = shot;
                return same;
            });
        };
        const QSize size(std::lround(640 * scale), std::lround(500 * scale));
        CommandOutput("xdotool windowmove " + window + " 0 0 windowsize " + window + " " + at(640, 500));
        until("sized", [&](const QImage& shot) { return shot.size() == size; });
        // Moved down and back, the window takes its menu bar's place in the map along.
        const MenuMap map(m_dir.File("map" + tag));
        const int down = std::lround(40 * scale);
        const auto fileAt = [&](int top) {
            CommandOutput("xdotool windowmove " + window + " 0 " + std::to_string(top));
            return WaitFor(
                [&] {
                    const std::vector<MenuMap::Item> items = map.Items();
                    const auto file = std::find_if(items.rbegin(), items.rend(), [&](const MenuMap::Item& item) {
                        return item.kind == "bar" && item.window == window && item.text == "File";
                    });
                    return file != items.rend() && (file->y >= down) == (top > 0);
                },
                20);
        };
        look.mapFollows = fileAt(down) && fileAt(0);
        const auto barGrey = [](const QColor& c) {
            return std::abs(c.red() - 77) <= 1 && c.red() == c.green() && c.green() == c.blue();
        };
        const QPoint brainRow(std::lround(380 * scale), std::lround(139 * scale));
        const auto selectedRow = [&](const QImage& shot) {
            const QColor c = shot.pixelColor(brainRow);
            return c.blue() > c.red() + 60;
        };
        const auto green = [](const QColor& c) { return c.green() > 128 && c.red() < 80 && c.blue() < 80; };

        // A search opens a result tab, which shows the tab bar over the header of paging controls.
        // The keys reach the program in order, and Ctrl+F has moved the focus to the field before "abc" comes.
        EXPECT_TRUE(PressKeys(window, "ctrl+f"));
        TypeText("abc");
        CommandOutput("xdotool key Return");
        until("result", [&](const QImage& shot) { return Count(shot, barGrey).count > 3000 * scale; });
        look.result = steady("result" + tag + ".png"); // the header's text and controls settle with the tab
        // Counted on the scene's side of the window: the outline's dimmed boxes have the bar's grey in their
        // frames.
        const QRect sceneSide(0, 0, std::lround(326 * scale), std::lround(500 * scale));
        look.barPixels = Count(QImage(QString::fromStdString(look.result)), barGrey, sceneSide).count;

        // Back on the scene: the brain's mesh shown from the outline's Structure column, then No Annotation
        // selected.
        EXPECT_TRUE(PressKeys(window, "ctrl+w"));
        until("scene", [&](const QImage& shot) { return Count(shot, barGrey).count < 1000 * scale; });
        click(514, 139);
        until("shown", [&](const QImage& shot) {
            const QRect middle(std::lround(60 * scale), std::lround(150 * scale), std::lround(200 * scale),
                               std::lround(150 * scale));
            const auto lit = [](const QColor& c) {
                return c.red() > 90 && c.red() == c.green() && c.green() == c.blue();
            };
            return Count(shot, lit, middle).count > 5000 * scale * scale;
        });
        click(400, 265);
        until("unpicked", [&](const QImage& shot) { return !selectedRow(shot); });
        look.unpicked = steady("unpicked" + tag + ".png");
        // The compass corner: dark grey over the black scene, at the top of the GL view.
        const QImage unpicked(QString::fromStdString(look.unpicked));
        const QRect viewTop(std::lround(4 * scale), std::lround(58 * scale), std::lround(320 * scale),
                            std::lround(200 * scale));
        look.compassSide = Count(
                               unpicked,
                               [](const QColor& c) {
                                   return std::abs(c.red() - c.green()) < 5 && std::abs(c.green() - c.blue()) < 5 &&
                                          c.red() > 15 && c.red() < 36;
                               },
                               viewTop)
                               .width;

        // A click on the brain in the scene selects it.
        click(164, 244);
        look.picked = until("picked", [&](const QImage& shot) {
            return selectedRow(shot) && Count(shot, green).count > 1000 * scale * scale;
        });
        const QImage picked(QString::fromStdString(look.picked));
        look.brainRowBefore = selectedRow(unpicked);
        look.brainRowAfter = selectedRow(picked);
        look.greenBefore = Count(unpicked, green).count;
        look.greenAfter = Count(picked, green).count;

        EXPECT_TRUE(PressKeys(window, "ctrl+q"));
        EXPECT_EQ(0, m_program.WaitForExit(30)) << "at scale " << scale;
        const std::string output = ReadBytes(m_dir.File("corvane" + tag + ".out"));
        EXPECT_EQ(std::string::npos, output.find("Sanitizer")) << output;
        EXPECT_EQ(std::string::npos, output.find("runtime error")) << output;
        return look;
    }

    // Mean difference of a scale-2 capture halved from its scale-1 twin, 0 to 1.
    double Difference(const std::string& two, const std::string& one)
    {
        return std::atof(CommandOutput("convert " + Quote(two) + " -scale 50% " + Quote(one) +
                                       " -compose difference -composite -colorspace gray -format '%[fx:mean]' info:"
                                       " 2>/dev/null")
                             .c_str());
    }

    TempDir m_dir;
    ProgramProcess m_program;
};

TEST_F(ScaledScreenProgramTest, TheWindowAtScale2IsTheScale1WindowDoubledAndPicksTheSame)
{
    const Look one = Run(1.0);
    const Look two = Run(2.0);
    ASSERT_FALSE(HasFailure());

    struct Case
    {
        const char* what;
        double seen, expected, tolerance;
    };
    const Case cases[] = {
        {"tab bar's area", static_cast<double>(two.barPixels), 4.0 * one.barPixels, 0.1 * one.barPixels},
        {"compass's width", static_cast<double>(two.compassSide), 2.0 * one.compassSide, 3.0},
        {"result tab against scale 1", Difference(two.result, one.result), 0.0, 0.03},
        {"scene against scale 1", Difference(two.picked, one.picked), 0.0, 0.03},
    };
    EXPECT_GT(one.barPixels, 20 * 200) << "a tab bar 20 rows high";
    EXPECT_GT(one.compassSide, 60);
    EXPECT_LT(one.compassSide, 160);
    for (const Case& c : cases)
        EXPECT_NEAR(c.seen, c.expected, c.tolerance) << c.what;

    for (const Look* look : {&one, &two})
    {
        SCOPED_TRACE(look == &one ? "scale 1" : "scale 2");
        EXPECT_TRUE(look->openedOnScreen) << "the default window fits the screen";
        EXPECT_TRUE(look->mapFollows);
        EXPECT_FALSE(look->brainRowBefore);
        EXPECT_TRUE(look->brainRowAfter) << "the outline selects the brain clicked in the scene";
        EXPECT_LT(look->greenBefore * 4, look->greenAfter) << "the selected brain turns green";
    }
    EXPECT_NEAR(two.greenAfter, 4.0 * one.greenAfter, 0.1 * one.greenAfter);
}

} // namespace
