#include "core/TaskProgress.h"

#include <cmath>

TaskProgress::TaskProgress(int numStages)
    : m_numStages(numStages < 1 ? 1 : numStages)
{
}

void TaskProgress::SetCallback(Callback callback, void* userData)
{
    m_callback = callback;
    m_userData = userData;
}

void TaskProgress::SetProgress(float value)
{
    // NaN counts as no progress rather than poisoning the percentage.
    if (!(value > 0.0f))
        value = 0.0f;
    else if (value > 100.0f)
        value = 100.0f;
    m_stageProgress = value;
    Notify();
}

void TaskProgress::SetMessage(const char* text)
{
    std::lock_guard<std::mutex> lock(m_messageMutex);
    m_message = text ? text : "";
}

void TaskProgress::SetNumStages(int numStages)
{
    if (numStages < 1)
    {
        m_stageProgress = 0.0f;
        m_numStages = 1;
    }
    else
    {
        m_numStages = numStages;
    }
}

void TaskProgress::SetNumSteps(int numSteps)
{
    if (numSteps >= 1)
    {
        m_numSteps = numSteps;
        m_stepFraction = 1.0f / static_cast<float>(numSteps);
    }
    else
    {
        m_numSteps = 0;
        m_stepFraction = 0.0f;
    }
}

void TaskProgress::Increment()
{
    // The stage progress counts steps (GetProgress weighs it by the step fraction),
    // so one step more is one unit more.
    SetProgress(m_stageProgress.load() + 1.0f);
}

void TaskProgress::IncrementStage()
{
    const int stage = m_currentStage.load();
    if (stage < m_numStages.load() - 1)
        m_currentStage = stage + 1;
    SetProgress(0.0f);
}

void TaskProgress::Cancel()
{
    m_cancelRequested = true;
    Notify();
}

bool TaskProgress::ShouldCancel()
{
    return m_cancelRequested.load();
}

std::string TaskProgress::GetMessage() const
{
    std::lock_guard<std::mutex> lock(m_messageMutex);
    return m_message;
}

int TaskProgress::GetProgress() const
{
    const float stages = static_cast<float>(m_numStages.load());
    const float done = static_cast<float>(m_currentStage.load()) / stages * 100.0f;
    const float within = m_stageProgress.load() * m_stepFraction.load() / stages * 100.0f;
    const float percent = done + within;
    if (!(percent > 0.0f))
        return 0;
    if (percent > 100.0f)
        return 100;
    return static_cast<int>(percent);
}

void* TaskProgress::GetUserData() const
{
    return m_userData.load();
}

void TaskProgress::Notify()
{
    if (const Callback callback = m_callback.load())
        callback(this);
}
