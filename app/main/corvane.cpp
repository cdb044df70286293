// The corvane program: one process per user shows every document; a later launch hands its "corv" URLs and
// data-set files to it and ends.

#include "app/CorvaneAppDelegate.h"
#include "app/CorvaneDoc.h"
#include "app/SingleDocumentController.h"
#include "app/SingleInstance.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "gl/SharedContext.h"
#include "platform/PlatformServices.h"
#include "platform/QtDefaultsStore.h"

#include <QApplication>
#include <QEvent>

#include <clocale>
#include <cstdlib>
#include <memory>

namespace
{
// The pixel format comes from the settings, and must be set before the application object exists.
void ConfigureGL()
{
    QtDefaultsStore store;
    PlatformHooks::SetDefaultsStore(&store);
    SharedContext::Configure();
    PlatformHooks::SetDefaultsStore(nullptr);
    UserPreferences::ResetPreferences();
}

void ReleaseDocuments()
{
    SingleDocumentController* controller = SingleDocumentController::Instance();
    while (!controller->documents().empty())
    {
        CorvaneDoc* doc = controller->documents().back();
        doc->performClose();
        // A document whose window would not close is released all the same.
        if (!controller->documents().empty() && controller->documents().back() == doc)
            doc->windowWillClose();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

int main(int argc, char** argv)
{
    // Debian's GLEW speaks GLX: Qt must make GLX contexts.
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    ConfigureGL();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Corvane");
    QApplication::setDesktopFileName("corvane");
    QApplication::setQuitOnLastWindowClosed(false);
    int result = 0;
    {
        PlatformServices services;
        const QStringList arguments = QApplication::arguments().mid(1);
        if (SingleInstance::SendToRunning(arguments))
            return 0;
        SingleInstance instance;
        instance.Listen();
        CorvaneAppDelegate* delegate = CorvaneAppDelegate::Instance();
        QObject::connect(&instance, &SingleInstance::ArgumentsReceived, delegate,
                         [delegate](const QStringList& received) { delegate->HandleArguments(received, false); });
        delegate->applicationWillFinishLaunching();
        delegate->HandleArguments(arguments, true);
        delegate->applicationDidFinishLaunching();
        delegate->SetQuitWhenLastDocumentCloses(true);
        // A cancelled atlas choice leaves nothing to show.
        delegate->QuitIfIdle();
        result = application.exec();
        ReleaseDocuments();
        SharedContext::Shutdown();
    }
    return result;
}
