#pragma once

#include "gl/GLDisplay.h"
#include "gl/support/RecordingTextBox.h"

#include <memory>
#include <vector>

class GLRenderer;

// A GLDisplay for tests: a fixed size, a timer that only the test fires, text boxes that record
// their text, and recorded cursor rectangles. With a renderer attached, Display makes the test
// context current and draws it into whatever framebuffer the test has bound.
class RecordingDisplay : public GLDisplay
{
public:
    struct CursorRect
    {
        int x, y, width, height;
        Cursors::Cursor cursor;
    };

    RecordingDisplay(int width = 640, int height = 480);

    void Display() override;
    void Invalidate() override { ++invalidateCount; }
    void SwapBuffers() override { ++swapCount; }
    bool MakeCurrent() override;
    void SetVSync(bool on) override { vsync = on; }
    void SetSendMouseMoved(bool send) override { sendMouseMoved = send; }
    int GetWidth() override { return width; }
    int GetHeight() override { return height; }
    void CaptureMouse() override { ++captureCount; }
    void ReleaseMouse() override { ++releaseCount; }
    void StartTimer(unsigned int milliseconds, TimerListener* listener) override;
    void StopTimer() override;
    GLTextBox* CreateTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment) override;
    void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor) override;
    void InvalidateCursorRects() override { ++invalidateCursorRectsCount; }
    // The framebuffer the test set with SetDefaultFramebuffer (0 until then).
    unsigned int GetDefaultFramebuffer() override { return m_defaultFramebuffer; }
    void SetDefaultFramebuffer(unsigned int framebuffer) { m_defaultFramebuffer = framebuffer; }
    // 1 unless the test sets another: the test's framebuffer then holds width x ratio device pixels.
    double GetPixelRatio() override { return pixelRatio; }

    // As the desktop display does: stops the timer, then initialises and reshapes the new renderer.
    void SetRenderer(GLRenderer* renderer);
    // Fires the running timer `ticks` times; stops early when a tick stops the timer.
    void FireTimer(int ticks = 1);
    // Clears the recorded rectangles and asks the renderer for them again.
    void ResetCursorRects();
    void Resize(int width, int height);

    bool TimerRunning() const { return timerListener != nullptr; }
    TimerListener* GetTimerListener() const { return timerListener; }
    unsigned int GetTimerInterval() const { return timerInterval; }
    // The record of the text box whose current text is `text`, or null.
    const TextBoxRecord* FindTextBox(const std::string& text) const;

    int displayCount = 0;
    int invalidateCount = 0;
    int swapCount = 0;
    int makeCurrentCount = 0;
    int captureCount = 0;
    int releaseCount = 0;
    int startTimerCount = 0;
    int stopTimerCount = 0;
    int invalidateCursorRectsCount = 0;
    bool vsync = false;
    bool sendMouseMoved = false;
    double pixelRatio = 1.0;
    std::vector<CursorRect> cursorRects;
    std::vector<std::shared_ptr<TextBoxRecord>> textBoxes;

private:
    int width, height;
    GLRenderer* renderer = nullptr;
    TimerListener* timerListener = nullptr;
    unsigned int timerInterval = 0;
    unsigned int m_defaultFramebuffer = 0;
};
