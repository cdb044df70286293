#pragma once

#include <ctime>

class TaskProgress;

// Progress of reading or writing a volume slice by slice. Reports go out at most once per 0.1 s of
// processor time, so that small blocks do not flood the progress display.
class VolumeProgress
{
public:
    // progress may be null: nothing is reported and nothing is cancelled.
    explicit VolumeProgress(TaskProgress* progress);

    // Reports percent when the last report is old enough; answers whether the user asked to cancel.
    bool Update(float percent);

private:
    TaskProgress* m_progress;
    std::clock_t m_lastReport;
};
