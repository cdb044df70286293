#include "atlas/SampleLevelColor.h"

#include "atlas/MicroarraySamples.h"
#include "atlas/SampleColoringState.h"

#include <cmath>
#include <cstddef>

namespace
{

bool PassesThreshold(float level, float low, float high)
{
    if (low > high)
        return level >= low;
    if (low < high)
        return low <= level && level <= high;
    return true;
}

// truncate((level - w0) / d x 255 + 0.5), at least 0 and at most 255; compared before the conversion so
// that a far-off level cannot overflow it.
int TableIndex(float level, float windowLow, float windowHigh)
{
    float span = windowHigh - windowLow;
    if (span == 0.0f)
        span = 1.0f;
    const float position = (level - windowLow) / span * 255.0f + 0.5f;
    if (position >= 255.0f)
        return 255;
    if (!(position > 0.0f))
        return 0;
    return static_cast<int>(position);
}

} // namespace

bool SampleLevelColor(int sampleIndex, const std::vector<float>& levels, const MicroarraySamples& data,
                      const SampleColoringState& model, const unsigned char* table, unsigned char* rgb)
{
    if (sampleIndex < 0 || static_cast<std::size_t>(sampleIndex) + 2 >= levels.size())
        return false;
    float level = levels[static_cast<std::size_t>(sampleIndex) + 2];
    if (!std::isfinite(level))
        return false;
    if (model.ZScoresVisible())
    {
        const float deviation = data.GetLevelStandardDeviation();
        level = deviation == 0.0f ? 0.0f : (level - data.GetLevelMean()) / deviation;
        if (!std::isfinite(level))
            return false;
    }
    float low = 0.0f, high = 0.0f;
    model.GetExpressionLevelVisibilityThreshold(low, high);
    if (!PassesThreshold(level, low, high))
        return false;
    float windowLow = 0.0f, windowHigh = 0.0f;
    model.GetExpressionWindow(windowLow, windowHigh);
    const unsigned char* entry = table + 3 * TableIndex(level, windowLow, windowHigh);
    for (int c = 0; c < 3; ++c)
        rgb[c] = entry[c];
    return true;
}
