#pragma once

#include "core/UserPreferencesListener.h"
#include "gl/GLDisplay.h"

#include <QPointer>

#include <memory>

class GLRenderer;
class GLView;
class KeyListener;
class MouseListener;
class QTimer;

// The display of a document window: gives renderers the view's operations, one repeating timer, text
// boxes and cursor rectangles. Sizes, positions and cursor rectangles are logical pixels; GetPixelRatio
// turns them into the frame's device pixels. The view is owned by its window; the wrapper
// only watches it, and answers 0 and does nothing once it is gone. Main thread only.
class GLViewWrapper : public GLDisplay, public UserPreferencesListener
{
public:
    explicit GLViewWrapper(GLView* view);
    ~GLViewWrapper() override;
    GLViewWrapper(const GLViewWrapper&) = delete;
    GLViewWrapper& operator=(const GLViewWrapper&) = delete;

    void Display() override;
    void Invalidate() override;
    void SwapBuffers() override;
    bool MakeCurrent() override;
    void SetVSync(bool on) override;
    void SetSendMouseMoved(bool send) override;
    int GetWidth() override;
    int GetHeight() override;
    void CaptureMouse() override {}
    void ReleaseMouse() override {}
    // Replaces a running timer; 0 ms runs at 1 ms.
    void StartTimer(unsigned int milliseconds, TimerListener* listener) override;
    void StopTimer() override;
    GLTextBox* CreateTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment) override;
    void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor) override;
    void InvalidateCursorRects() override;
    unsigned int GetDefaultFramebuffer() override;
    double GetPixelRatio() override;

    // Stops the timer, then (with the view's context, or the resource context before the view is shown,
    // current) initialises and reshapes the new renderer. Exceptions of the renderer are passed on.
    virtual void SetRenderer(GLRenderer* renderer);
    virtual void SetMouseListener(MouseListener* listener);
    virtual void SetKeyListener(KeyListener* listener);
    // Follows the VerticalSync setting.
    void PreferenceChanged(int code) override;

    GLView* GetView() const;
    bool IsTimerRunning() const;
    // The running timer's period in milliseconds, 0 when none runs.
    int GetTimerInterval() const;
    TimerListener* GetTimerListener() const { return m_timerListener; }

private:
    void TimerElapsed();

    QPointer<GLView> m_view;
    // One timer for the wrapper's life: a listener may stop or restart it from its own tick.
    std::unique_ptr<QTimer> m_timer;
    TimerListener* m_timerListener = nullptr;
    bool m_inTick = false;
    // Cleared by the destructor, so that a tick can tell whether its listener deleted the wrapper.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
