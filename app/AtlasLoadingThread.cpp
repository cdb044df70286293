#include "app/AtlasLoadingThread.h"

#include "app/CorvaneDoc.h"
#include "app/CorvaneWindowController.h"
#include "app/SegmentedControl.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasFileError.h"
#include "atlas/AtlasSpace.h"
#include "core/Alerts.h"
#include "core/Image3dPlane.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"
#include "expression/BrainExpressionModel.h"

#include <QMetaObject>
#include <QProgressBar>

#include <atomic>

// What the worker shares with the main thread: the document (used only on the main thread), the flag
// that drops updates after a cancel, and the progress that the worker reports and the owner cancels.
struct AtlasLoadingThread::Shared
{
    explicit Shared(CorvaneDoc* d)
        : doc(d)
    {
    }

    // Queues the update on the main thread unless the load was cancelled before it runs there.
    void Post(std::function<void(CorvaneDoc*)> update)
    {
        if (cancelled)
            return;
        QMetaObject::invokeMethod(
            doc,
            [self = this->self.lock(), update = std::move(update)] {
                if (self && !self->cancelled)
                    update(self->doc);
            },
            Qt::QueuedConnection);
    }

    CorvaneDoc* const doc;
    std::atomic<bool> cancelled{false};
    std::atomic<int> lastPercent{-1};
    TaskProgress progress{1};
    std::weak_ptr<Shared> self;
};

AtlasLoadingThread::AtlasLoadingThread(CorvaneDoc* doc, std::vector<AtlasSpace*> spaces, const MPRVisibilityInfo& info,
                                       LoadStep load)
    : m_shared(std::make_shared<Shared>(doc))
{
    m_shared->self = m_shared;
    m_shared->progress.SetCallback(ProgressChanged, m_shared.get());
    CorvaneWindowController* window = doc->windowController();
    if (window && window->atlasPlaneToggleBar && doc->detailViewIsActive())
        window->atlasPlaneToggleBar->setEnabled(false);
    m_thread = std::thread(Run, m_shared, std::move(spaces), info, std::move(load));
}

AtlasLoadingThread::~AtlasLoadingThread()
{
    Cancel();
    Join();
}

void AtlasLoadingThread::Cancel()
{
    m_shared->cancelled = true;
    m_shared->progress.Cancel();
}

void AtlasLoadingThread::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void AtlasLoadingThread::FullAtlasLoad(AtlasSpace* space, TaskProgress* progress)
{
    space->LoadFullAtlas(progress, true, true);
}

void AtlasLoadingThread::Run(std::shared_ptr<Shared> shared, std::vector<AtlasSpace*> spaces, MPRVisibilityInfo info,
                             LoadStep load)
{
    std::string error;
    std::string atlasName;
    try
    {
        for (AtlasSpace* space : spaces)
        {
            if (space->FullAtlasIsLoaded())
                continue;
            atlasName = space->GetAtlas() ? space->GetAtlas()->GetName() : space->GetPath();
            shared->lastPercent = -1;
            shared->Post([](CorvaneDoc* doc) { ShowLoading(doc, true); });
            load(space, &shared->progress);
            shared->Post([](CorvaneDoc* doc) { ShowLoading(doc, false); });
        }
    }
    catch (const UserCancelledOperationException&)
    {
        return;
    }
    catch (const std::exception& e)
    {
        error = AtlasFileError::Describe(atlasName, e);
    }
    catch (...)
    {
        error = "The atlas could not be loaded.";
    }
    if (!error.empty())
        shared->Post([](CorvaneDoc* doc) { ShowLoading(doc, false); });
    shared->Post([info, error](CorvaneDoc* doc) { Finish(doc, info, error); });
}

void AtlasLoadingThread::ProgressChanged(TaskProgress* progress)
{
    auto* shared = static_cast<Shared*>(progress->GetUserData());
    const int percent = progress->GetProgress();
    // One update per whole percent is all the bar can show.
    if (shared->lastPercent.exchange(percent) == percent)
        return;
    shared->Post([percent](CorvaneDoc* doc) { UpdateProgress(doc, static_cast<float>(percent)); });
}

void AtlasLoadingThread::UpdateProgress(CorvaneDoc* doc, float percent)
{
    if (QProgressBar* bar = doc->progressBar())
    {
        bar->setValue(static_cast<int>(percent * 100.0f));
        bar->repaint();
    }
}

void AtlasLoadingThread::ShowLoading(CorvaneDoc* doc, bool loading)
{
    doc->setStatusText(loading ? "Loading atlas..." : "");
    if (QProgressBar* bar = doc->progressBar())
    {
        bar->setValue(0);
        bar->setVisible(loading);
    }
}

void AtlasLoadingThread::Finish(CorvaneDoc* doc, const MPRVisibilityInfo& info, const std::string& error)
{
    // The document's end of the load: the flag is cleared and this object destroyed there.
    doc->loadAtlasEnded();
    try
    {
        if (error.empty())
            doc->expressionModel()->UISetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(info.plane()), info.visible(),
                                                         true);
        else
            ShowAlertBox(error);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
    doc->showModelPlanes();
}
