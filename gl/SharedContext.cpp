#include "gl/SharedContext.h"

#include "core/UserPreferences.h"
#include "gl/GLExtensionLoader.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QString>
#include <QSurfaceFormat>
#include <QtGlobal>

#include <iostream>
#include <memory>

namespace
{

struct ResourceContext
{
    std::unique_ptr<QOffscreenSurface> surface;
    std::unique_ptr<QOpenGLContext> context;
};

std::unique_ptr<ResourceContext>& Resource()
{
    static std::unique_ptr<ResourceContext> resource;
    return resource;
}

std::unique_ptr<ResourceContext> MakeResourceContext()
{
    auto resource = std::make_unique<ResourceContext>();
    const QSurfaceFormat format = SharedContext::PixelFormat();
    resource->surface = std::make_unique<QOffscreenSurface>();
    resource->surface->setFormat(format);
    resource->surface->create();
    if (!resource->surface->isValid())
        return nullptr;
    resource->context = std::make_unique<QOpenGLContext>();
    resource->context->setFormat(format);
    resource->context->setShareContext(QOpenGLContext::globalShareContext());
    if (!resource->context->create() || !resource->context->makeCurrent(resource->surface.get()))
        return nullptr;
    if (!GLExtensionLoader::Load())
    {
        std::cerr << "The GL extensions could not be loaded." << std::endl;
        resource->context->doneCurrent();
        return nullptr;
    }
    return resource;
}

QtMessageHandler sPreviousHandler = nullptr;

// Qt warns of every new default format once the global shared context exists, whatever changed: it does
// not compare the formats. Only the swap interval of windows made later changes here, which has no
// bearing on sharing, so that one message is dropped while the default is replaced; all others pass.
void DropNewDefaultWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("Warning: Setting a new default format")))
        return;
    if (sPreviousHandler)
        sPreviousHandler(type, context, message);
}

} // namespace

void SharedContext::Configure()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat::setDefaultFormat(PixelFormat());
}

QSurfaceFormat SharedContext::PixelFormat()
{
    const UserPreferences* preferences = UserPreferences::GetPreferences();
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(16);
    format.setStencilBufferSize(0);
    const int samples = preferences->GetNumSamples();
    format.setSamples(samples > 0 ? samples : -1);
    format.setSwapInterval(preferences->GetVSync() ? 1 : 0);
    return format;
}

void SharedContext::SetSwapInterval(bool vsync)
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    const int interval = vsync ? 1 : 0;
    if (format.swapInterval() == interval)
        return;
    format.setSwapInterval(interval);
    sPreviousHandler = qInstallMessageHandler(&DropNewDefaultWarning);
    QSurfaceFormat::setDefaultFormat(format);
    qInstallMessageHandler(sPreviousHandler);
}

QOpenGLContext* SharedContext::Context()
{
    auto& resource = Resource();
    if (!resource)
    {
        QOpenGLContext* const previous = QOpenGLContext::currentContext();
        QSurface* const previousSurface = previous ? previous->surface() : nullptr;
        resource = MakeResourceContext();
        if (previous)
            previous->makeCurrent(previousSurface);
    }
    return resource ? resource->context.get() : nullptr;
}

bool SharedContext::MakeCurrent()
{
    QOpenGLContext* const context = Context();
    return context && context->makeCurrent(Resource()->surface.get());
}

void SharedContext::TestCapabilities()
{
    QOpenGLContext* const previous = QOpenGLContext::currentContext();
    QSurface* const previousSurface = previous ? previous->surface() : nullptr;
    if (!MakeCurrent())
        return;
    const int maxSamples = GLExtensionLoader::GetMaxSamples();
    if (previous)
        previous->makeCurrent(previousSurface);
    else
        Context()->doneCurrent();

    UserPreferences* preferences = UserPreferences::GetPreferences();
    preferences->SetMaxNumSamples(maxSamples);
    if (preferences->GetNumSamples() > maxSamples)
        preferences->SetNumSamples(maxSamples);
}

void SharedContext::Shutdown()
{
    auto& resource = Resource();
    if (!resource)
        return;
    if (QOpenGLContext::currentContext() == resource->context.get())
        resource->context->doneCurrent();
    resource.reset();
}
