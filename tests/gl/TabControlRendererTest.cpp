#include "gl/TabControlListener.h"
#include "gl/TabControlRenderer.h"
#include "gl/support/GLTest.h"
#include "gl/support/RecordingDisplay.h"

#include <GL/glew.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace
{

// Tab data are small integers disguised as pointers; the log reads "Will 2 d1".
void* Data(int k)
{
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(k + 1));
}

std::string Name(void* data)
{
    return data ? "d" + std::to_string(reinterpret_cast<std::uintptr_t>(data) - 1) : "null";
}

class LoggingListener : public TabControlListener
{
public:
    std::vector<std::string> log;
    void TabWillSwitch(int index, void* data) override
    {
        log.push_back("Will " + std::to_string(index) + " " + Name(data));
    }
    void TabSwitched(int index, void* data) override
    {
        log.push_back("Switched " + std::to_string(index) + " " + Name(data));
    }
    void TabClosed(int index, void* data) override
    {
        log.push_back("Closed " + std::to_string(index) + " " + Name(data));
    }
};

class TabControlRendererTest : public GLTest
{
protected:
    RecordingDisplay display{kWidth, kHeight};
    LoggingListener listener;

    // A bar with `count` tabs (the first not closable), data d0, d1, ..., drawn once so that it knows the
    // view height, with an empty log.
    std::unique_ptr<TabControlRenderer> MakeBar(int count, int active)
    {
        auto bar = std::make_unique<TabControlRenderer>(&display, &listener);
        for (int k = 0; k < count; ++k)
            bar->AddTab(("Tab " + std::to_string(k)).c_str(), k > 0, Data(k));
        if (active != 0)
            bar->SwitchTab(active);
        bar->Display(kWidth);
        listener.log.clear();
        return bar;
    }

    // Event y of a point in the middle of the strip.
    static constexpr int kStripY = 10;

    int CloseBoxX(TabControlRenderer& bar, int tab)
    {
        for (int x = 0; x < kWidth; ++x)
        {
            bool onClose = false;
            if (bar.GetTab(x, kHeight - 1 - kStripY, &onClose) == tab && onClose)
                return x;
        }
        ADD_FAILURE() << "no close box on tab " << tab;
        return -1;
    }

    int BodyX(TabControlRenderer& bar, int tab)
    {
        for (int x = kWidth - 1; x >= 0; --x)
        {
            if (bar.GetTab(x, kHeight - 1 - kStripY, nullptr) == tab)
                return x;
        }
        return -1;
    }
};

TEST_F(TabControlRendererTest, CloseTellsTheListenerInOrder)
{
    struct Case
    {
        int tabs, active, close;
        int activeAfter;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {3, 2, 1, 1, {"Will 2 d1", "Switched 1 d2", "Closed 1 d1"}},
        {3, 2, 2, 1, {"Will 2 d2", "Switched 1 d1", "Closed 2 d2"}},
        {3, 0, 0, 0, {"Will 0 d0", "Switched 0 d1", "Closed 0 d0"}},
        {1, 0, 0, -1, {"Will 0 d0", "Switched -1 null", "Closed 0 d0"}},
        {3, 1, 3, 1, {}},
        {3, 1, -1, 1, {}},
    };
    for (const Case& c : cases)
    {
        auto bar = MakeBar(c.tabs, c.active);
        bar->CloseTab(c.close);
        EXPECT_EQ(listener.log, c.log) << c.tabs << " tabs, active " << c.active << ", closing " << c.close;
        EXPECT_EQ(bar->GetActiveTab(), c.activeAfter);
        bar.reset();
        listener.log.clear();
    }
}

TEST_F(TabControlRendererTest, SwitchToAnInvalidTabLeavesNoneActive)
{
    auto bar = MakeBar(2, 0);
    bar->SwitchTab(1);
    bar->SwitchTab(7);
    bar->SwitchTab(0);
    const std::vector<std::string> expected = {"Will 0 d0", "Switched 1 d1", "Will 1 d1", "Switched 7 null",
                                               "Switched 0 d0"};
    EXPECT_EQ(listener.log, expected);
    EXPECT_EQ(bar->GetTabData(7), nullptr);
    EXPECT_EQ(bar->GetTabData(-1), nullptr);
}

TEST_F(TabControlRendererTest, TabsAreAtLeast75PixelsWideFromX6)
{
    struct Case
    {
        std::string name;
        bool closable;
        int width;
    };
    // Recording labels are 7 pixels a character; the close icon is 12 wide.
    const Case cases[] = {
        {"abcd", true, 75},                   // 28 + 12 + 16 = 56
        {"abcdefghijklmnopqrst", true, 168},  // 140 + 28
        {"abcdefghijklmnopqrst", false, 172}, // 140 + 32
        {"abcdefg", false, 81},               // 49 + 32
    };
    for (const Case& c : cases)
    {
        TabControlRenderer bar(&display, nullptr);
        bar.AddTab("first", false, nullptr);
        bar.AddTab(c.name.c_str(), c.closable, nullptr);
        EXPECT_EQ(bar.GetTab(5, 0, nullptr), -1);
        EXPECT_EQ(bar.GetTab(6, 0, nullptr), 0);
        EXPECT_EQ(bar.GetTab(80, 0, nullptr), 0);
        EXPECT_EQ(bar.GetTab(81, 0, nullptr), 1);
        EXPECT_EQ(bar.GetTab(81 + c.width - 1, 0, nullptr), 1) << c.name;
        EXPECT_EQ(bar.GetTab(81 + c.width, 0, nullptr), -1) << c.name;
    }
}

// Five tabs of long names in views of every width: the active tab lies whole in the strip with its close
// box and its label, shortened where the tabs do not fit; where even the least tab width does not fit, the
// arrows at the strip's ends reach every tab, each shown whole between them in its turn.
TEST_F(TabControlRendererTest, TheActiveTabIsShownWholeAtEveryWidth)
{
    struct Case
    {
        int width, tabs, active;
        bool scrolls;
    };
    const Case cases[] = {{1000, 5, 4, false}, {600, 5, 4, false}, {400, 5, 1, false}, {330, 5, 4, true},
                          {330, 5, 0, true},   {200, 5, 2, true},  {256, 3, 2, false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + " wide, active " + std::to_string(c.active));
        const std::size_t firstLabel = display.textBoxes.size();
        TabControlRenderer bar(&display, nullptr);
        bar.AddTab("Detail View", false, nullptr);
        for (int k = 1; k < c.tabs; ++k)
            bar.AddTab(("Gene" + std::to_string(k) + " - similar genes").c_str(), true, nullptr);
        bar.SwitchTab(c.active);
        const auto shownWhole = [&](int tab) {
            bar.Display(c.width);
            int left = c.width, right = -1;
            for (int x = -20; x < c.width + 20; ++x)
                if (bar.GetTab(x, kHeight - 1 - kStripY, nullptr) == tab)
                {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            const TextBoxRecord& label = *display.textBoxes[firstLabel + static_cast<std::size_t>(tab)];
            const int arrows = c.scrolls ? TabControlRenderer::kArrowWidth : 0;
            if (left < arrows || right >= c.width - arrows || right - left + 1 < 75 || label.draws.empty())
                return false;
            const int labelX = label.draws.back().first;
            const int labelEnd = labelX + static_cast<int>(label.text.size()) * RecordingTextBox::kCharacterWidth;
            bool closeBox = tab == 0;
            for (int x = left; x <= right && !closeBox; ++x)
                bar.GetTab(x, kHeight - 1 - kStripY, &closeBox);
            return labelX > left && labelEnd <= right && closeBox;
        };
        EXPECT_TRUE(shownWhole(c.active));
        for (int tab = 0; tab < c.tabs && !c.scrolls; ++tab)
            EXPECT_TRUE(shownWhole(tab)) << tab;
        for (const int x : {2, c.width - 3})
            for (int presses = 0; presses < c.tabs && c.scrolls; ++presses)
            {
                bar.OnButtonDown(0, x, kStripY, 0, 0);
                bar.OnButtonUp(0, x, kStripY, 0, 0);
                EXPECT_TRUE(shownWhole(bar.GetActiveTab())) << bar.GetActiveTab();
            }
        EXPECT_EQ(bar.GetActiveTab(), c.scrolls ? c.tabs - 1 : c.active);
        if (!c.scrolls)
            continue;
        // With a tab more, so that the strip scrolls still with one closed, a step back makes the first tab of
        // the run active; closed, it hands the strip to the one before it.
        bar.AddTab("Gene - similar genes", true, nullptr);
        bar.OnButtonDown(0, 2, kStripY, 0, 0);
        bar.OnButtonUp(0, 2, kStripY, 0, 0);
        const int closeX = CloseBoxX(bar, bar.GetActiveTab());
        bar.OnButtonDown(0, closeX, kStripY, 0, 0);
        bar.OnButtonUp(0, closeX, kStripY, 0, 0);
        EXPECT_TRUE(shownWhole(bar.GetActiveTab())) << bar.GetActiveTab();
    }
}

TEST_F(TabControlRendererTest, LongNamesAreShortenedAtCharacterBoundaries)
{
    struct Case
    {
        std::string name, shown;
    };
    const std::string e = "\xC3\xA9"; // two bytes
    const Case cases[] = {
        {"abcdefghijklmnopqrstuvwx", "abcdefghijklmnopqrstuvwx"},
        {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrstu..."},
        {"abcdefghijklmnopqrst" + e + "xyz", "abcdefghijklmnopqrst..."},
        {"abcdefghijklmnopqrs" + e + "uvwxyz", "abcdefghijklmnopqrs" + e + "..."},
        {"", ""},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(TabControlRenderer::ShortenName(c.name), c.shown) << c.name;
        TabControlRenderer bar(&display, nullptr);
        bar.AddTab("x", false, nullptr);
        bar.SetTabName(0, c.name.c_str());
        EXPECT_NE(display.FindTextBox(c.shown), nullptr) << c.name;
    }
    TabControlRenderer bar(&display, nullptr);
    const int invalidations = display.invalidateCount;
    bar.SetTabName(0, "nothing to rename");
    EXPECT_EQ(display.invalidateCount, invalidations);
    EXPECT_EQ(display.FindTextBox("nothing to rename"), nullptr);
}

TEST_F(TabControlRendererTest, ASingleTabIsInvisibleAndTakesNoPress)
{
    auto bar = MakeBar(1, 0);
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_FALSE(bar->OnButtonDown(0, BodyX(*bar, 0), kStripY, 0, 0));
    EXPECT_TRUE(listener.log.empty());
    bar->AddTab("second", true, nullptr);
    EXPECT_TRUE(bar->IsVisible());
}

TEST_F(TabControlRendererTest, PressOnATabBodySwitchesWithoutCapture)
{
    auto bar = MakeBar(3, 0);
    EXPECT_FALSE(bar->OnButtonDown(0, BodyX(*bar, 2), kStripY, 0, 0));
    EXPECT_EQ(bar->GetActiveTab(), 2);
    EXPECT_FALSE(bar->OnButtonDown(2, BodyX(*bar, 1), kStripY, 0, 0)) << "right button";
    EXPECT_FALSE(bar->OnButtonDown(0, BodyX(*bar, 1), 22, 0, 0)) << "below the bar";
    EXPECT_FALSE(bar->OnButtonDown(0, kWidth - 1, kStripY, 0, 0)) << "beyond the last tab";
    EXPECT_EQ(bar->GetActiveTab(), 2);
}

TEST_F(TabControlRendererTest, CloseBoxActsAsAButton)
{
    struct Case
    {
        const char* what;
        std::vector<int>
            path; // x positions of the moves after the press: 0 the close box, 1 the tab body, 2 another tab
        int release;
        bool closes;
    };
    const Case cases[] = {
        {"press and release", {}, 0, true},
        {"drag off and back", {1, 0}, 0, true},
        {"release off the box", {1}, 1, false},
        {"release on another tab", {2}, 2, false},
    };
    for (const Case& c : cases)
    {
        auto bar = MakeBar(3, 0);
        const int positions[] = {CloseBoxX(*bar, 1), BodyX(*bar, 1), BodyX(*bar, 2)};
        EXPECT_TRUE(bar->OnButtonDown(0, positions[0], kStripY, 0, 0)) << c.what;
        for (int step : c.path)
            EXPECT_TRUE(bar->OnMouseMove(positions[step], kStripY, 0, 0));
        EXPECT_TRUE(bar->OnButtonUp(0, positions[c.release], kStripY, 0, 0));
        EXPECT_EQ(bar->GetNumTabs(), c.closes ? 2 : 3) << c.what;
        EXPECT_EQ(bar->GetActiveTab(), 0) << c.what;
    }
}

TEST_F(TabControlRendererTest, FlashTabIgnoresTheActiveTab)
{
    auto bar = MakeBar(3, 1);
    const int displays = display.displayCount;
    bar->FlashTab(1);
    EXPECT_EQ(display.displayCount, displays);
    bar->FlashTab(2);
    EXPECT_EQ(display.displayCount, displays + 1);
}

TEST_F(TabControlRendererTest, DestructorClosesFromTheLastTab)
{
    auto bar = MakeBar(3, 1);
    bar.reset();
    const std::vector<std::string> expected = {"Closed 2 d2", "Closed 1 d1", "Closed 0 d0"};
    EXPECT_EQ(listener.log, expected);
    for (const auto& record : display.textBoxes)
        EXPECT_TRUE(record->deleted);
}

TEST_F(TabControlRendererTest, DrawsTheStripAcrossTheTop)
{
    auto bar = MakeBar(3, 1);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    bar->Display(kWidth);
    const int top = kHeight - 1;
    const int activeX = BodyX(*bar, 1) - 2;
    const int closeX = CloseBoxX(*bar, 2);
    struct Case
    {
        const char* what;
        int x, y;
        int grey; // -1: untouched blue
    };
    const Case cases[] = {
        {"strip background", 2, top, 77},
        {"active tab", activeX, top - 5, 115},
        {"above the active tab", activeX, top, 77},
        {"strip bottom line", 2, kHeight - 20, 115},
        {"second line", 2, kHeight - 21, 115},
        {"dark line", 2, kHeight - 22, 26},
        {"below the bar", 2, kHeight - 23, -1},
        {"separator left of tab 0", 6, top - 8, 26},
        {"close icon centre", closeX + 2, kHeight - 11, 150},
    };
    for (const Case& c : cases)
    {
        const auto pixel = Framebuffer().Pixel(c.x, c.y);
        if (c.grey < 0)
        {
            EXPECT_EQ(pixel[2], 255) << c.what;
            EXPECT_EQ(pixel[0], 0) << c.what;
            continue;
        }
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(pixel[k], c.grey, 2) << c.what << " channel " << k;
    }
}

TEST_F(TabControlRendererTest, DrawsWithoutTabs)
{
    TabControlRenderer bar(&display, nullptr);
    bar.Display(kWidth);
    EXPECT_NEAR(Framebuffer().Pixel(100, kHeight - 1)[0], 77, 2);
    EXPECT_FALSE(bar.IsVisible());
    EXPECT_EQ(bar.GetTab(10, 250, nullptr), -1);
}

} // namespace
