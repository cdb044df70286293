// The corvane program: one process per user shows every document; a later launch hands its "corv" URLs and
// data-set files to it and ends.

#include "app/CorvaneAppDelegate.h"
#include "app/CorvaneDoc.h"
#include "app/CorvaneWindowController.h"
#include "app/SingleDocumentController.h"
#include "app/ScreenFit.h"
#include "app/SingleInstance.h"
#include "app/main/MenuMap.h"
#include "core/PlatformHooks.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/SharedContext.h"
#include "platform/PlatformServices.h"
#include "platform/QtDefaultsStore.h"
#include "platform/QtTerminationSignals.h"

#include <QApplication>
#include <QEvent>
#include <QOpenGLWidget>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

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

// With CORVANE_FRAME_LOG set, start-up milestones go to stderr as "corvane-time STAGE NANOSECONDS [DATA SETS]"
// on the monotonic clock, which other processes share: "main" on entry, "launched" when the event loop is
// about to start, and "frame" for the first frame a GL view puts on screen and for the first one after
// each further data set has loaded. The start-up benchmark reads them.
class FrameLog : public QObject
{
public:
    static bool Enabled() { return std::getenv("CORVANE_FRAME_LOG") != nullptr; }

    static void Mark(const char* stage, int dataSets = -1)
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::fprintf(stderr, "corvane-time %s %lld %d\n", stage,
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
                     dataSets);
        std::fflush(stderr);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* view = event->type() == QEvent::Show ? qobject_cast<QOpenGLWidget*>(watched) : nullptr;
        if (view && !view->property("corvaneFrameLog").isValid())
        {
            view->setProperty("corvaneFrameLog", true);
            connect(view, &QOpenGLWidget::frameSwapped, this, &FrameLog::Swapped);
        }
        return false;
    }

private:
    void Swapped()
    {
        int loaded = 0;
        for (const CorvaneDoc* doc : SingleDocumentController::Instance()->documents())
        {
            const BrainExpressionModel* model = doc->expressionModel();
            for (int i = 0; model && i < model->GetNumGenes(); ++i)
                loaded += model->GetGene(i) && model->GetGene(i)->IsLoaded();
        }
        if (m_loaded >= 0 && loaded <= m_loaded)
            return;
        m_loaded = loaded;
        Mark("frame", loaded);
    }

    int m_loaded = -1;
};

// A logout, `kill` or Ctrl+C ends the program as Quit does, so that nothing of the session is lost. Without
// the handler the program still runs; those signals then end it at once, as they end most programs.
std::unique_ptr<QtTerminationSignals> HandleTermination(CorvaneAppDelegate* delegate)
{
    try
    {
        return std::make_unique<QtTerminationSignals>([delegate] { delegate->terminate(); });
    }
    catch (const std::runtime_error& error)
    {
        std::fprintf(stderr, "corvane: %s; TERM, INT and HUP will end the program without saving.\n", error.what());
        return nullptr;
    }
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
    if (FrameLog::Enabled())
        FrameLog::Mark("main");
    // Debian's GLEW speaks GLX: Qt must make GLX contexts.
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    ConfigureGL();
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Corvane");
    QApplication::setDesktopFileName("corvane");
    QApplication::setQuitOnLastWindowClosed(false);
    FrameLog frameLog;
    if (FrameLog::Enabled())
        application.installEventFilter(&frameLog);
    // Every window that the program shows opens within its screen.
    ScreenFit screenFit;
    application.installEventFilter(&screenFit);
    MenuMap menuMap;
    if (!MenuMap::Path().isEmpty())
        application.installEventFilter(&menuMap);
    int result = 0;
    {
        PlatformServices services;
        const QStringList arguments = QApplication::arguments().mid(1);
        if (SingleInstance::SendToRunning(arguments))
            return 0;
        SingleInstance instance;
        // Another launch may have started listening in between: it takes the arguments then.
        if (!instance.Listen() && SingleInstance::SendToRunning(arguments))
            return 0;
        CorvaneAppDelegate* delegate = CorvaneAppDelegate::Instance();
        const std::unique_ptr<QtTerminationSignals> termination = HandleTermination(delegate);
        QObject::connect(&instance, &SingleInstance::ArgumentsReceived, delegate,
                         &CorvaneWindowController::HandleLaunch);
        delegate->applicationWillFinishLaunching();
        delegate->HandleArguments(arguments, true);
        delegate->applicationDidFinishLaunching();
        delegate->SetQuitWhenLastDocumentCloses(true);
        // A cancelled atlas choice leaves nothing to show.
        delegate->QuitIfIdle();
        if (FrameLog::Enabled())
            FrameLog::Mark("launched");
        result = application.exec();
        ReleaseDocuments();
        SharedContext::Shutdown();
    }
    return result;
}
