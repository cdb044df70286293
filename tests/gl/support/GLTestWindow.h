#pragma once

// A real GL view on the X server (Xvfb in the tests), for the tests of what users see: shown, exposed, its
// context current, and read back as the screen shows it. The test closes it after its renderer has gone.

#include "MovingView.h"

#include "gl/GLViewWrapper.h"

#include <QImage>

#include <memory>

class GLTestWindow
{
public:
    // False when the window system does not expose the view or its context cannot be made current.
    bool Open(int width, int height, int x = 40, int y = 40);

    // Hands the drawing and the mouse (and the keys, when asked) to the renderer.
    template <typename Renderer>
    void Attach(Renderer& renderer, bool keys = false)
    {
        wrapper->SetRenderer(&renderer);
        wrapper->SetMouseListener(&renderer);
        if (keys)
            wrapper->SetKeyListener(&renderer);
    }

    // Takes the renderer away and leaves the context current for its destruction.
    void Detach();
    void Close();

    // The frame drawn once the events of settleMs have run.
    QImage Capture(int settleMs = 150);

    // Opened on the screen of the process's scale; the test may move it to another.
    std::unique_ptr<MovingView> view;
    std::unique_ptr<GLViewWrapper> wrapper;
};
