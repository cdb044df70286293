#pragma once

// What the benchmarks share: medians of timed rounds, and the machine's load printed beside figures that
// other work on it can change.

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

inline double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The median of rounds timed calls of work, in seconds; warm-up calls first, untimed.
template <typename Work>
double MedianSeconds(int rounds, Work work, int warmUps = 0)
{
    for (int w = 0; w < warmUps; ++w)
        work();
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(SecondsSince(start));
    }
    return Median(std::move(times));
}

// Medians of two kinds of work run in turn, round by round, each call returning the seconds it took, and
// the median of their ratios a / b. Other work on the machine that comes and goes during a run then weighs
// on both alike, so their ratio holds where two medians taken one after the other would each catch a
// different moment.
struct PairedTimes
{
    double a = 0;
    double b = 0;
    double ratio = 0;
};

template <typename TimedA, typename TimedB>
PairedTimes PairedMedianSeconds(int rounds, TimedA timedA, TimedB timedB)
{
    std::vector<double> a, b, ratios;
    for (int r = 0; r < rounds; ++r)
    {
        // Each goes first in every other round, so that neither always runs on what the other left behind.
        if (r % 2 == 0)
        {
            a.push_back(timedA());
            b.push_back(timedB());
        }
        else
        {
            b.push_back(timedB());
            a.push_back(timedA());
        }
        ratios.push_back(b.back() > 0 ? a.back() / b.back() : 0.0);
    }
    return {Median(a), Median(b), Median(std::move(ratios))};
}

// The 1- and 5-minute load averages, "unknown" where the system does not tell.
inline std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return in ? one + " " + five : "unknown";
}
