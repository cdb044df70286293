#pragma once

#include "gl/Cursors.h"
#include "gl/GLTextBox.h"

class TimerListener;

// The one drawing surface renderers see; they never talk to the window system.
class GLDisplay
{
public:
    virtual ~GLDisplay() {}
    virtual void Display() = 0;    // draw now
    virtual void Invalidate() = 0; // redraw at the next display cycle
    virtual void SwapBuffers() = 0;
    virtual bool MakeCurrent() = 0;
    virtual void SetVSync(bool on) = 0;
    // Deliver mouse moves without a pressed button (hover).
    virtual void SetSendMouseMoved(bool send) = 0;
    // The view's size in logical pixels: renderers lay out, hit-test and receive the pointer in them.
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
    // A display runs at most one repeating timer: starting one replaces the running one.
    virtual void StartTimer(unsigned int milliseconds, TimerListener* listener) = 0;
    virtual void StopTimer() = 0;
    virtual GLTextBox* CreateTextBox(int width, int lines, bool small, GLTextBox::Alignment alignment) = 0;
    virtual void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor) = 0;
    virtual void InvalidateCursorRects() = 0;
    // The framebuffer that stands for the window: renderers that draw into their own framebuffer
    // objects bind this one again, never 0.
    virtual unsigned int GetDefaultFramebuffer() = 0;
    // Device pixels per logical pixel (2 on a screen scaled by 2): the frame, the GL viewport and the
    // pixels read back are device pixels (see DevicePixels).
    virtual double GetPixelRatio() = 0;
};
