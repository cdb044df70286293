#pragma once

// What the benchmarks share: medians of timed rounds, and the machine's load printed beside figures that
// other work on it can change.

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

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
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        times.push_back(elapsed.count());
    }
    return Median(std::move(times));
}

// The 1- and 5-minute load averages, "unknown" where the system does not tell.
inline std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return in ? one + " " + five : "unknown";
}
