#include "gl/GLInteractiveRenderer.h"
#include "gl/TimerListener.h"
#include "gl/support/GLTestContext.h"
#include "gl/support/RecordingDisplay.h"

#include <GL/glew.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

// Keeps a log of what the display asked of it.
class LoggingRenderer : public GLInteractiveRenderer
{
public:
    std::vector<std::string> log;

    void Initialize() override { log.push_back("Initialize"); }
    void Display() override { log.push_back("Display"); }
    void Reshape(int width, int height) override
    {
        log.push_back("Reshape " + std::to_string(width) + "x" + std::to_string(height));
    }
    void SetActive(bool active) override { log.push_back(active ? "Active" : "Inactive"); }
    void ResetCursorRects() override { log.push_back("ResetCursorRects"); }
    bool OnButtonDown(int button, int, int, int, unsigned int) override
    {
        log.push_back("Down " + std::to_string(button));
        return true;
    }
    bool OnMouseMove(int, int, int, unsigned int) override { return false; }
    bool OnKeyDown(unsigned int key, int, unsigned int) override
    {
        log.push_back("Key " + std::to_string(key));
        return true;
    }
};

class CountingTimer : public TimerListener
{
public:
    explicit CountingTimer(RecordingDisplay* display = nullptr, int stopAfter = 0)
        : display(display)
        , stopAfter(stopAfter)
    {
    }
    void TimerElapsed() override
    {
        if (++ticks == stopAfter && display)
            display->StopTimer();
    }
    int ticks = 0;

private:
    RecordingDisplay* display;
    int stopAfter;
};

} // namespace

TEST(DisplayInterfacesTest, AnInteractiveRendererServesInEveryRole)
{
    LoggingRenderer renderer;
    GLRenderer* asRenderer = &renderer;
    MouseListener* asMouse = &renderer;
    KeyListener* asKeys = &renderer;
    asRenderer->SetActive(true);
    EXPECT_TRUE(asMouse->OnButtonDown(kMiddleButton, 0, 0, 0, 0));
    EXPECT_FALSE(asMouse->OnButtonUp(kMiddleButton, 0, 0, 0, 0));
    EXPECT_TRUE(asKeys->OnKeyDown('x', 0, 0));
    EXPECT_FALSE(asKeys->OnSpecialKeyDown(kHomeKey, 0, 0));
    EXPECT_EQ(renderer.log, (std::vector<std::string>{"Active", "Down 1", "Key 120"}));
    std::unique_ptr<GLRenderer> owned = std::make_unique<LoggingRenderer>();
    owned.reset(); // destroyed through any base
}

TEST(RecordingDisplayTest, StartingATimerReplacesTheRunningOne)
{
    RecordingDisplay display;
    CountingTimer first, second;
    display.StartTimer(40, &first);
    display.FireTimer(2);
    display.StartTimer(50, &second);
    EXPECT_EQ(display.GetTimerListener(), &second);
    EXPECT_EQ(display.GetTimerInterval(), 50u);
    display.FireTimer(3);
    EXPECT_EQ(first.ticks, 2);
    EXPECT_EQ(second.ticks, 3);
    display.StopTimer();
    EXPECT_FALSE(display.TimerRunning());
    display.FireTimer();
    EXPECT_EQ(second.ticks, 3);
}

TEST(RecordingDisplayTest, ATickThatStopsTheTimerEndsTheFiring)
{
    RecordingDisplay display;
    CountingTimer timer(&display, 2);
    display.StartTimer(40, &timer);
    display.FireTimer(10);
    EXPECT_EQ(timer.ticks, 2);
    EXPECT_FALSE(display.TimerRunning());
}

TEST(RecordingDisplayTest, TextBoxesRecordTheirTextAndOutliveTheirBoxes)
{
    RecordingDisplay display;
    std::unique_ptr<GLTextBox> box(display.CreateTextBox(120, 0, true, GLTextBox::kAlignCenter));
    EXPECT_EQ(box->GetHeight(), RecordingTextBox::kSmallLineHeight); // 0 lines is one line
    box->SetText("Detail View");
    box->SetText("Gene \xC3\xA9");
    EXPECT_EQ(box->GetTextWidth(), 6 * RecordingTextBox::kCharacterWidth);
    box->ShowBackground(true);
    box->Draw(5, 7);
    const TextBoxRecord* record = display.FindTextBox("Gene \xC3\xA9");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->width, 120);
    EXPECT_EQ(record->alignment, GLTextBox::kAlignCenter);
    EXPECT_EQ(record->texts, (std::vector<std::string>{"Detail View", "Gene \xC3\xA9"}));
    EXPECT_EQ(record->draws, (std::vector<std::pair<int, int>>{{5, 7}}));
    EXPECT_TRUE(record->background);
    box.reset();
    EXPECT_TRUE(display.textBoxes.front()->deleted);
    EXPECT_EQ(display.FindTextBox("Gene \xC3\xA9"), nullptr);
}

TEST(RecordingDisplayTest, AttachingARendererStopsTheTimerAndSizesIt)
{
    RecordingDisplay display(300, 200);
    CountingTimer timer;
    display.StartTimer(40, &timer);
    LoggingRenderer renderer;
    display.SetRenderer(&renderer);
    EXPECT_FALSE(display.TimerRunning());
    display.Display();
    display.Resize(320, 240);
    EXPECT_EQ(renderer.log, (std::vector<std::string>{"Initialize", "Reshape 300x200", "Display", "Reshape 320x240"}));
    EXPECT_EQ(display.displayCount, 1);
    EXPECT_EQ(display.GetWidth(), 320);
}

TEST(RecordingDisplayTest, DrawsWithTheContextCurrent)
{
    class ContextProbe : public LoggingRenderer
    {
    public:
        void Display() override { drewWithContext = glGetString(GL_VERSION) != nullptr; }
        bool drewWithContext = false;
    };
    RecordingDisplay display;
    ContextProbe renderer;
    display.SetRenderer(&renderer);
    GLTestContext::Instance().DoneCurrent();
    display.Display();
    EXPECT_TRUE(renderer.drewWithContext);
}

TEST(RecordingDisplayTest, CursorRectanglesAreAskedForAgain)
{
    class CursorRenderer : public LoggingRenderer
    {
    public:
        explicit CursorRenderer(GLDisplay& display)
            : display(display)
        {
        }
        void ResetCursorRects() override { display.AddCursorRect(0, 0, 10, 20, Cursors::kResizeUpDownCursor); }

    private:
        GLDisplay& display;
    };
    RecordingDisplay display;
    CursorRenderer renderer(display);
    display.SetRenderer(&renderer);
    display.AddCursorRect(1, 1, 1, 1, Cursors::kArrowCursor);
    display.InvalidateCursorRects();
    display.ResetCursorRects();
    ASSERT_EQ(display.cursorRects.size(), 1u);
    EXPECT_EQ(display.cursorRects[0].height, 20);
    EXPECT_EQ(display.cursorRects[0].cursor, Cursors::kResizeUpDownCursor);
    EXPECT_EQ(display.invalidateCursorRectsCount, 1);
}
