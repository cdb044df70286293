#pragma once

class QOpenGLContext;
class QSurfaceFormat;

// The one pixel format of every GL view, and the resource context: a context on an offscreen surface that
// shares textures and display lists with every view, current for GL work outside painting (a renderer
// attached before its view is shown initialises there). Framebuffer objects are not shared: they are made
// in the view's own context. Main thread only.
class SharedContext
{
public:
    // Sets the default surface format and context sharing for the whole program; must run before the
    // QApplication exists, and after the settings store is installed (it reads the settings).
    static void Configure();
    // Compatibility profile 2.1, double buffer, 8-bit colour and alpha, 16-bit depth, no stencil, the
    // Multisample setting's samples (none for 0) and the VerticalSync setting as swap interval; read
    // from the settings at each call.
    static QSurfaceFormat PixelFormat();
    // The swap interval of the windows made from now on. A window presents with the interval its native
    // window was made with (a view draws into its own framebuffer object, the window swaps), and Qt keeps
    // it while that window exists: windows already open keep theirs.
    static void SetSwapInterval(bool vsync);
    // Made on first use, with GLEW initialised in it; null when it cannot be made (a later call tries
    // again).
    static QOpenGLContext* Context();
    // Makes the resource context current; false when there is none.
    static bool MakeCurrent();
    // Records the resource context's largest sample count as the hardware's and lowers a larger
    // Multisample setting to it. Leaves the context that was current before it current again.
    static void TestCapabilities();
    // Destroys the resource context; the program calls it before the application object goes.
    static void Shutdown();
};
