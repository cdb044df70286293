#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

namespace
{
struct CallbackLog
{
    int calls = 0;
    int lastProgress = -1;
};

void Record(TaskProgress* progress)
{
    auto* log = static_cast<CallbackLog*>(progress->GetUserData());
    ++log->calls;
    log->lastProgress = progress->GetProgress();
}
}

TEST(TaskProgress, StageProgressIsClamped)
{
    TaskProgress progress(1);
    EXPECT_EQ(0, progress.GetProgress());
    progress.SetProgress(50);
    EXPECT_EQ(50, progress.GetProgress());
    progress.SetProgress(150);
    EXPECT_EQ(100, progress.GetProgress());
    progress.SetProgress(-3);
    EXPECT_EQ(0, progress.GetProgress());
    progress.SetProgress(std::nanf(""));
    EXPECT_EQ(0, progress.GetProgress());
}

TEST(TaskProgress, StagesShareTheWholeEqually)
{
    TaskProgress progress(4);
    progress.IncrementStage();
    progress.IncrementStage();
    progress.SetProgress(50);
    EXPECT_EQ(62, progress.GetProgress());

    TaskProgress none(0);
    none.SetProgress(100);
    EXPECT_EQ(100, none.GetProgress());
}

TEST(TaskProgress, CallbackRunsOnEveryChangeButMessages)
{
    CallbackLog log;
    TaskProgress progress(2);
    progress.SetCallback(&Record, &log);
    EXPECT_EQ(&log, progress.GetUserData());

    progress.SetMessage("Loading annotation");
    progress.SetNumStages(3);
    progress.SetNumSteps(10);
    EXPECT_EQ(0, log.calls);
    EXPECT_EQ("Loading annotation", progress.GetMessage());

    progress.Increment();
    progress.Increment();
    EXPECT_EQ(2, log.calls);
    EXPECT_EQ(6, log.lastProgress); // 2 of 10 steps of the first of 3 stages

    progress.IncrementStage();
    progress.IncrementStage();
    EXPECT_EQ(66, log.lastProgress);
    // The last stage is never passed, but its progress restarts and the owner hears of it.
    progress.SetProgress(4);
    EXPECT_EQ(80, log.lastProgress);
    progress.IncrementStage();
    EXPECT_EQ(6, log.calls);
    EXPECT_EQ(66, log.lastProgress);

    progress.Cancel();
    EXPECT_EQ(7, log.calls);
    EXPECT_TRUE(progress.ShouldCancel());
}

TEST(TaskProgress, StepsAndStagesOutOfRange)
{
    TaskProgress progress(2);
    progress.SetNumSteps(0);
    progress.SetProgress(80);
    progress.Increment();
    EXPECT_EQ(0, progress.GetProgress());

    progress.SetNumSteps(100);
    progress.SetProgress(80);
    progress.SetNumStages(-1);
    EXPECT_EQ(0, progress.GetProgress());

    TaskProgress uncalled(1);
    uncalled.Cancel();
    EXPECT_TRUE(uncalled.ShouldCancel());
}

TEST(TaskProgress, WorkerAndMainThreadMeetSafely)
{
    TaskProgress progress(1);
    std::atomic<bool> stopped{false};
    std::thread worker([&] {
        try
        {
            for (int i = 0;; ++i)
            {
                if (progress.ShouldCancel())
                    throw UserCancelledOperationException();
                progress.SetMessage(i % 2 ? "Reading a rather long message that does not fit small buffers" : "Short");
                progress.SetProgress(static_cast<float>(i % 101));
            }
        }
        catch (const UserCancelledOperationException&)
        {
            stopped = true;
        }
    });
    for (int i = 0; i < 2000; ++i)
    {
        const std::string message = progress.GetMessage();
        EXPECT_TRUE(message.empty() || message == "Short" || message.size() > 20);
        EXPECT_LE(progress.GetProgress(), 100);
    }
    progress.Cancel();
    worker.join();
    EXPECT_TRUE(stopped);
}
