#pragma once

#include "gl/GLInteractiveRenderer.h"
#include "gl/TimerListener.h"

#include <functional>
#include <string>
#include <vector>

class GLDisplay;

// A renderer for window tests, kept free of Qt's GL headers (it draws with GLEW's). It logs every call it
// receives ("Down 0 12,34 f1 t567", "Key 97 f0", "Special 1 f0", ...) and draws a pattern whose
// orientation a capture shows: blue at alpha 0.5 everywhere, the top row red, the bottom row green and
// a 10 x 10 yellow block in the top-left corner, all in logical pixels of the display (below).
class PatternRenderer : public GLInteractiveRenderer, public TimerListener
{
public:
    std::vector<std::string> log;
    // Called from Initialize, so that a test can see which context was current.
    std::function<void()> onInitialize;
    // Cursor rectangles added on ResetCursorRects through this display, whose ratio the drawing follows.
    GLDisplay* display = nullptr;
    struct Rect
    {
        int x, y, width, height, cursor;
    };
    std::vector<Rect> cursorRects;
    bool throwFromDisplay = false;
    bool throwFromMouse = false;
    bool throwOtherFromKeys = false;
    bool throwFromCursorRects = false;
    int ticks = 0;
    int width = 0, height = 0;

    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override;
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    bool OnMouseLeave(unsigned int time) override;
    bool OnMouseWheel(int x, int y, int flags, int delta, unsigned int time) override;
    bool OnKeyDown(unsigned int key, int flags, unsigned int time) override;
    bool OnSpecialKeyDown(int code, int flags, unsigned int time) override;
    void TimerElapsed() override { ++ticks; }

    // The log entries that start with prefix, without the time ("Down 0 12,34 f1").
    std::vector<std::string> Entries(const std::string& prefix) const;
    // The times of the entries that start with prefix.
    std::vector<unsigned int> Times(const std::string& prefix) const;

private:
    void Log(const std::string& entry, unsigned int time);
    void MouseThrow() const;
};
