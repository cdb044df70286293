#pragma once

#include <memory>

// The process's one GL context for tests: a compatibility-profile 2.1 QOpenGLContext on a
// QOffscreenSurface of the xcb platform with GLX (Qt's offscreen platform has no GL here), with
// GLEW initialised, and the QApplication (configured by SharedContext) that it needs. Made on first use, so that listing the tests needs no X display.
// Kept free of Qt and GLEW headers: both sides include it.
class GLTestContext
{
public:
    // Throws std::runtime_error when there is no X display or no context can be made.
    static GLTestContext& Instance();
    // Destroys the context and the application object; main calls it after the tests.
    static void Shutdown();

    void MakeCurrent();
    void DoneCurrent();

    ~GLTestContext();
    GLTestContext(const GLTestContext&) = delete;
    GLTestContext& operator=(const GLTestContext&) = delete;

private:
    GLTestContext();
    struct Impl;
    std::unique_ptr<Impl> impl;
};
