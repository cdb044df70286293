#include "gl/support/GLTestContext.h"

#include "gl/support/GLExtensions.h"

#include "gl/SharedContext.h"

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <cstdlib>
#include <unistd.h>
#include <stdexcept>

namespace
{

std::unique_ptr<GLTestContext> instance;

int applicationArgc = 1;
char applicationName[] = "corvane-gl-test";
char* applicationArgv[] = {applicationName, nullptr};

QSurfaceFormat TestFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    return format;
}

char runtimeFolder[] = "/tmp/corvane-gl-test-XXXXXX";
bool ownRuntimeFolder = false;

// Qt wants a runtime folder of the user's own; tests never touch the real one.
void UsePrivateRuntimeFolder()
{
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current && *current)
        return;
    if (mkdtemp(runtimeFolder))
    {
        setenv("XDG_RUNTIME_DIR", runtimeFolder, 1);
        ownRuntimeFolder = true;
    }
}

} // namespace

struct GLTestContext::Impl
{
    std::unique_ptr<QApplication> application;
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
};

GLTestContext& GLTestContext::Instance()
{
    if (!instance)
        instance.reset(new GLTestContext());
    return *instance;
}

void GLTestContext::Shutdown()
{
    instance.reset();
}

GLTestContext::GLTestContext()
    : impl(std::make_unique<Impl>())
{
    // Debian's GLEW speaks GLX, so Qt must make GLX contexts on X (Xvfb in the tests).
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    UsePrivateRuntimeFolder();
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        throw std::runtime_error(
            "No X display: run the GL tests through ctest, which gives each an X server of its own "
            "(tests/own-display.sh).");
    if (!QCoreApplication::instance())
    {
        // As the program does: the shared pixel format and context sharing before the application exists,
        // and a widget application, so that views can be tested beside the drawing code.
        SharedContext::Configure();
        impl->application = std::make_unique<QApplication>(applicationArgc, applicationArgv);
    }

    impl->surface = std::make_unique<QOffscreenSurface>();
    impl->surface->setFormat(TestFormat());
    impl->surface->create();
    if (!impl->surface->isValid())
        throw std::runtime_error("Could not create the offscreen surface for the GL tests.");

    impl->context = std::make_unique<QOpenGLContext>();
    impl->context->setFormat(TestFormat());
    if (!impl->context->create())
        throw std::runtime_error("Could not create the OpenGL context for the GL tests.");
    MakeCurrent();
    InitGLExtensions();
}

GLTestContext::~GLTestContext()
{
    if (impl->context)
        impl->context->doneCurrent();
    impl->context.reset();
    impl->surface.reset();
    SharedContext::Shutdown();
    impl->application.reset();
    if (ownRuntimeFolder)
        rmdir(runtimeFolder);
}

void GLTestContext::MakeCurrent()
{
    if (!impl->context->makeCurrent(impl->surface.get()))
        throw std::runtime_error("Could not make the OpenGL test context current.");
}

void GLTestContext::DoneCurrent()
{
    impl->context->doneCurrent();
}
