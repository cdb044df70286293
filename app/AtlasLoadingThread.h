#pragma once

#include "app/MPRVisibilityInfo.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class AtlasSpace;
class CorvaneDoc;
class TaskProgress;

// The worker that loads the full annotation and Nissl volumes of the atlas spaces that the scene shows,
// then shows or hides the section plane that needed them. The spaces are chosen on the main thread
// before the worker starts; the worker touches only them and its progress. Every change of the window
// (status line, progress bar, section control) and the final change of the model reach the main thread
// queued with the document as context, and only while the load has not been cancelled.
//
// Owned by the document: destroying it cancels the load and joins the worker, so a document that goes
// away during a load is never called by it. Created and destroyed on the main thread.
class AtlasLoadingThread
{
public:
    // Loads one space's volumes; throws on failure, or UserCancelledOperationException once the progress
    // was cancelled.
    using LoadStep = std::function<void(AtlasSpace*, TaskProgress*)>;

    // Starts the worker at once. The document disables its section control now (in the detail view).
    AtlasLoadingThread(CorvaneDoc* doc, std::vector<AtlasSpace*> spaces, const MPRVisibilityInfo& info,
                       LoadStep load = FullAtlasLoad);
    ~AtlasLoadingThread();
    AtlasLoadingThread(const AtlasLoadingThread&) = delete;
    AtlasLoadingThread& operator=(const AtlasLoadingThread&) = delete;

    // Stops the load and drops every update not yet handled; the worker ends soon after.
    void Cancel();
    void Join();

    static void FullAtlasLoad(AtlasSpace* space, TaskProgress* progress);
    // The progress bar shows the percentage times 100 and is redrawn at once.
    static void UpdateProgress(CorvaneDoc* doc, float percent);

private:
    struct Shared;

    static void Run(std::shared_ptr<Shared> shared, std::vector<AtlasSpace*> spaces, MPRVisibilityInfo info,
                    LoadStep load);
    static void ProgressChanged(TaskProgress* progress);
    static void ShowLoading(CorvaneDoc* doc, bool loading);
    static void Finish(CorvaneDoc* doc, const MPRVisibilityInfo& info, const std::string& error);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};
