#pragma once

// Buttons as listeners receive them; other buttons produce no event.
enum MouseButton
{
    kLeftButton = 0,
    kMiddleButton = 1,
    kRightButton = 2
};

// Modifier bits of every event; Control is not reported (on Linux Ctrl stands for Command, Alt for Option).
enum ModifierFlags
{
    kShiftKey = 1,
    kCommandKey = 2,
    kOptionKey = 4
};

// Positions are logical pixels from the top-left corner, times milliseconds since the display was made.
// A handler returns true when it takes the event (and with a press, the mouse capture).
class MouseListener
{
public:
    virtual ~MouseListener() {}
    virtual bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) = 0;
    virtual bool OnButtonUp(int button, int x, int y, int flags, unsigned int time);
    virtual bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time);
    virtual bool OnMouseMove(int x, int y, int flags, unsigned int time) = 0;
    virtual bool OnMouseLeave(unsigned int time);
    virtual bool OnMouseWheel(int x, int y, int flags, int delta, unsigned int time);
    // The capture ends without a release (the owner gave the mouse to someone else).
    virtual void AbortMouseCapture();
};
