#pragma once

// Two floats, minimum then maximum, kept in the order given: callers use a maximum of -1 to mean "none",
// so the pair is never sorted.
struct Range
{
    Range() = default;
    constexpr Range(float minimum, float maximum)
        : min(minimum)
        , max(maximum)
    {
    }

    bool operator==(const Range& other) const { return min == other.min && max == other.max; }
    bool operator!=(const Range& other) const { return !(*this == other); }

    float min = 0.0f;
    float max = 0.0f;
};
