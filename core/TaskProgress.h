#pragma once

#include <atomic>
#include <mutex>
#include <string>

// Staged progress of a long operation. A worker thread writes the progress and the
// message and polls the cancel flag; the main thread reads them and may cancel.
// Numbers and the flag are atomic and the message is guarded, so either side may
// call any operation at any time. The callback runs on the thread that made the
// change; its owner hands the news to the main thread itself.
class TaskProgress
{
public:
    using Callback = void (*)(TaskProgress*);

    // Fewer than one stage counts as one.
    explicit TaskProgress(int numStages = 1);
    virtual ~TaskProgress() = default;

    TaskProgress(const TaskProgress&) = delete;
    TaskProgress& operator=(const TaskProgress&) = delete;

    // Set before the work starts; either may be null.
    virtual void SetCallback(Callback callback, void* userData);
    // Progress within the current stage, counted in steps (a percentage with the
    // default 100 steps), clamped to 0..100; calls the callback.
    virtual void SetProgress(float value);
    // No callback.
    virtual void SetMessage(const char* text);
    // Below 1: one stage and the stage progress back to 0. No callback.
    virtual void SetNumStages(int numStages);
    // 0 or less sets both the steps and the step fraction to 0. No callback.
    virtual void SetNumSteps(int numSteps);
    // One step more within the stage; calls the callback.
    virtual void Increment();
    // Next stage (never past the last) with its progress at 0; calls the callback.
    virtual void IncrementStage();
    // Sets the cancel flag for good; calls the callback.
    virtual void Cancel();
    virtual bool ShouldCancel();
    // A copy, so that reading it while the worker replaces it is safe.
    virtual std::string GetMessage() const;
    // Whole percentage over all stages, 0 to 100.
    virtual int GetProgress() const;
    virtual void* GetUserData() const;

private:
    void Notify();

    std::atomic<float> m_stageProgress{0.0f};
    std::atomic<int> m_currentStage{0};
    std::atomic<int> m_numStages;
    std::atomic<int> m_numSteps{100};
    mutable std::mutex m_messageMutex;
    std::string m_message;
    std::atomic<bool> m_cancelRequested{false};
    std::atomic<float> m_stepFraction{0.01f};
    std::atomic<Callback> m_callback{nullptr};
    std::atomic<void*> m_userData{nullptr};
};
