#include "core/VolumeProgress.h"

#include "core/TaskProgress.h"

VolumeProgress::VolumeProgress(TaskProgress* progress)
    : m_progress(progress)
    , m_lastReport(std::clock())
{
}

bool VolumeProgress::Update(float percent)
{
    if (!m_progress)
        return false;
    const std::clock_t now = std::clock();
    if (double(now - m_lastReport) / CLOCKS_PER_SEC > 0.1)
    {
        m_progress->SetProgress(percent);
        m_lastReport = now;
    }
    return m_progress->ShouldCancel();
}
