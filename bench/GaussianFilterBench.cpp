// Throughput of the 3-D Gaussian filter beside scipy and beside the memory's own limit, in one run.
//
// For a 500 × 300 × 450 volume of 8-bit voxels and every scale it prints, as medians of several rounds:
// the filter on one thread (every instruction set the processor runs) and on all hardware threads, each
// call writing into a fresh output buffer as the program's callers do; scipy.ndimage.gaussian_filter on
// the same uint8 volume with as many taps as the filter and with scipy's default truncation; and three
// copies of the volume (memcpy), the floor any filter that reads and writes the volume three times
// stands on, and one copy into a fresh result, the floor under any filter that writes one (where the
// all-thread goal is not met, it says how near that floor the filter runs). One thread and all threads
// run in turn, round by round, and their speed-up is the median of the rounds' own. The one-thread and
// all-thread results are compared voxel for voxel with scipy's exact integer pipeline, and the goals are
// checked.
//
// Arguments: [size_x size_y size_z] [rounds]

#include "BenchSupport.h"
#include "core/GaussianFilter3D.h"
#include "core/GaussianRowFilter.h"
#include "core/HugePages.h"

#include <boost/filesystem.hpp>
#include <boost/thread/thread.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <time.h>

namespace
{
using Set = GaussianRowFilter::InstructionSet;

struct ScipyTimes
{
    int equalTaps = 0;
    double equal = 0;
    int defaultTaps = 0;
    double byDefault = 0;
};

// Noise over broad blobs: the filter's cost does not depend on the values, but a plausible volume
// makes the equality check meaningful.
std::vector<unsigned char> MakeVolume(const unsigned* size)
{
    std::mt19937 random(2024);
    std::vector<unsigned char> volume(std::size_t(size[0]) * size[1] * size[2]);
    std::size_t i = 0;
    for (unsigned z = 0; z < size[2]; ++z)
        for (unsigned y = 0; y < size[1]; ++y)
            for (unsigned x = 0; x < size[0]; ++x, ++i)
            {
                const unsigned blob = ((x / 40 + y / 30 + z / 50) % 3) * 80;
                volume[i] = static_cast<unsigned char>(std::min(255u, blob + unsigned(random() & 63)));
            }
    return volume;
}

std::map<int, ScipyTimes> RunScipy(const std::string& path, const unsigned* size, int rounds)
{
    const std::string command = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) + "/bench/gaussian_scipy.py' '" +
                                path + "' " + std::to_string(size[0]) + " " + std::to_string(size[1]) + " " +
                                std::to_string(size[2]) + " " + std::to_string(rounds);
    std::map<int, ScipyTimes> times;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return times;
    int scale;
    ScipyTimes t;
    while (std::fscanf(pipe, "%d %d %lf %d %lf", &scale, &t.equalTaps, &t.equal, &t.defaultTaps, &t.byDefault) == 5)
        times[scale] = t;
    pclose(pipe);
    return times;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One call of the filter into a fresh result, kept for the comparison. The previous result is freed first,
// untimed, as the program frees the local volume it smooths into before it smooths again.
double FilterSeconds(const std::vector<unsigned char>& volume, const unsigned* size, int scale, unsigned threads,
                     SmoothedVolume& kept)
{
    SmoothedVolume().swap(kept);
    const auto start = std::chrono::steady_clock::now();
    GaussianFilter3D(volume.data(), size, kept, scale, threads);
    return SecondsSince(start);
}

// memcpy of equal shares of size bytes, one share a thread.
void CopyOnThreads(unsigned threads, const unsigned char* from, unsigned char* to, std::size_t size)
{
    std::vector<boost::thread> workers;
    const std::size_t share = (size + threads - 1) / threads;
    for (unsigned t = 0; t < threads; ++t)
    {
        const std::size_t begin = std::min(size, t * share);
        const std::size_t count = std::min(size, begin + share) - begin;
        workers.emplace_back([=] { std::memcpy(to + begin, from + begin, count); });
    }
    for (boost::thread& worker : workers)
        worker.join();
}

// One copy of the volume into a fresh result sized as the filter sizes its own: the floor under any filter
// that writes a fresh result, the kernel's zeroing of the new pages included.
double CopyIntoFreshSeconds(unsigned threads, const std::vector<unsigned char>& volume)
{
    const auto start = std::chrono::steady_clock::now();
    SmoothedVolume result;
    result.reserve(volume.size());
    AdviseHugePages(result.data(), volume.size());
    result.resize(volume.size());
    CopyOnThreads(threads, volume.data(), result.data(), volume.size());
    return SecondsSince(start);
}

struct Timing
{
    double wall = 0;
    double cpu = 0;
};

double ProcessSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Medians of the wall-clock time and of the processor time of all the process's threads.
Timing TimeFilterWithCpu(const std::vector<unsigned char>& volume, const unsigned* size, int scale, unsigned threads,
                         int rounds)
{
    std::vector<double> wall, cpu;
    SmoothedVolume result;
    for (int r = 0; r < rounds; ++r)
    {
        // Freed before the processor clock starts, so that neither clock counts it.
        SmoothedVolume().swap(result);
        const double start = ProcessSeconds();
        wall.push_back(FilterSeconds(volume, size, scale, threads, result));
        cpu.push_back(ProcessSeconds() - start);
    }
    return {Median(std::move(wall)), Median(std::move(cpu))};
}

std::vector<Set> InstructionSets()
{
    std::vector<Set> sets;
    for (const Set set : {Set::Portable, Set::Avx2, Set::Avx512})
    {
        GaussianRowFilter::LimitInstructionSet(set);
        if (GaussianRowFilter::ActiveInstructionSet() == set)
            sets.push_back(set);
    }
    GaussianRowFilter::LimitInstructionSet(Set::Avx512);
    return sets;
}

// Other work on the machine takes cores from the all-thread figures: printed beside them.
const char* Verdict(bool met)
{
    return met ? "met" : "NOT MET";
}
} // namespace

int main(int argc, char** argv)
{
    unsigned size[3] = {500, 300, 450};
    int rounds = 9;
    if (argc >= 4)
        for (int axis = 0; axis < 3; ++axis)
            size[axis] = unsigned(std::atoi(argv[1 + axis]));
    if (argc == 5 || argc == 2)
        rounds = std::max(1, std::atoi(argv[argc - 1]));

    const std::vector<unsigned char> volume = MakeVolume(size);
    const double voxels = double(volume.size());
    const boost::filesystem::path folder =
        boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("corvane-bench-%%%%-%%%%");
    boost::filesystem::create_directories(folder);
    const std::string path = (folder / "volume.raw").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(volume.data()), std::streamsize(volume.size()));

    const std::string startLoad = LoadAverage();
    const unsigned cores = std::max(1u, boost::thread::hardware_concurrency());
    const std::vector<Set> sets = InstructionSets();
    std::printf("Gaussian filter, %u x %u x %u 8-bit voxels, %u hardware threads, medians of %d rounds\n", size[0],
                size[1], size[2], cores, rounds);
    std::printf("rates in Mvox/s (higher is better); scipy runs first, in the same run...\n");
    std::fflush(stdout);
    const std::map<int, ScipyTimes> scipy = RunScipy(path, size, rounds);

    std::vector<unsigned char> a(volume.size()), b(volume.size());
    const double floor = MedianSeconds(rounds, [&] {
        std::memcpy(a.data(), volume.data(), volume.size());
        std::memcpy(b.data(), a.data(), volume.size());
        std::memcpy(a.data(), b.data(), volume.size());
    });
    // The same copies on every hardware thread, each its own share of the volume: how far the memory lets
    // any filter that streams the volume scale with threads.
    const double floorAll = MedianSeconds(rounds, [&] {
        CopyOnThreads(cores, volume.data(), a.data(), volume.size());
        CopyOnThreads(cores, a.data(), b.data(), volume.size());
        CopyOnThreads(cores, b.data(), a.data(), volume.size());
    });
    const PairedTimes fresh = PairedMedianSeconds(
        rounds, [&] { return CopyIntoFreshSeconds(1, volume); }, [&] { return CopyIntoFreshSeconds(cores, volume); });
    const double freshAll = fresh.b;
    auto rate = [voxels](double seconds) { return seconds > 0 ? voxels / seconds / 1e6 : 0.0; };
    std::printf("three copies of the volume (memcpy): one thread %.1f, %u threads %.1f (%.2f x)\n", rate(floor), cores,
                rate(floorAll), floor / floorAll);
    std::printf("one copy into a fresh result (the floor under a filter that writes one): one thread %.1f, %u threads "
                "%.1f (%.2f x)\n",
                rate(fresh.a), cores, rate(freshAll), fresh.ratio);

    std::printf("\none thread by instruction set:\n%5s", "scale");
    for (const Set set : sets)
        std::printf(" %10s", GaussianRowFilter::Name(set));
    std::printf("\n");
    std::map<int, double> one;
    bool allEqual = true;
    for (const int scale : {1, 2, 4, 8, 16})
    {
        const std::vector<unsigned char> expected = ReadFile(path + ".scale" + std::to_string(scale));
        std::printf("%5d", scale);
        for (const Set set : sets)
        {
            GaussianRowFilter::LimitInstructionSet(set);
            SmoothedVolume result;
            std::vector<double> times;
            for (int r = 0; r < rounds; ++r)
                times.push_back(FilterSeconds(volume, size, scale, 1, result));
            const double seconds = Median(std::move(times));
            const bool equal = std::equal(result.begin(), result.end(), expected.begin(), expected.end());
            allEqual = allEqual && equal;
            std::printf(" %10.1f%s", rate(seconds), equal ? "" : " (DIFFERS)");
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    GaussianRowFilter::LimitInstructionSet(Set::Avx512);

    std::printf("\n%5s %6s %9s %9s %9s %9s | %8s %8s %7s %8s %s\n", "scale", "taps", "1 thread", "threads",
                "scipy=", "scipy", "1t/sp=", "1t/sp", "Nt/1t", "1t/floor", "equal");
    bool scipyGoal = true;
    bool scaleGoal = true;
    std::string scalesMet, scalesBelow, belowFloor, belowBound;
    for (const int scale : {1, 2, 4, 8, 16})
    {
        // One thread and all threads in turn, so that their ratio compares them on the same machine.
        SmoothedVolume result;
        const PairedTimes paired = PairedMedianSeconds(
            rounds, [&] { return FilterSeconds(volume, size, scale, 1, result); },
            [&] { return FilterSeconds(volume, size, scale, 0, result); });
        one[scale] = paired.a;
        const double all = paired.b;
        const std::vector<unsigned char> expected = ReadFile(path + ".scale" + std::to_string(scale));
        const bool equal = std::equal(result.begin(), result.end(), expected.begin(), expected.end());
        allEqual = allEqual && equal;
        const auto found = scipy.find(scale);
        const ScipyTimes theirs = found == scipy.end() ? ScipyTimes{} : found->second;
        const double ratioEqual = theirs.equal / one[scale];
        scipyGoal = scipyGoal && ratioEqual >= 10.0;
        const bool scaled = paired.ratio >= cores / 2.0;
        scaleGoal = scaleGoal && scaled;
        char figures[64];
        if (scaled)
            scalesMet += " " + std::to_string(scale);
        else
        {
            scalesBelow += " " + std::to_string(scale);
            std::snprintf(figures, sizeof figures, "%s%.2f", belowFloor.empty() ? "" : " / ", all / freshAll);
            belowFloor += figures;
            std::snprintf(figures, sizeof figures, "%s%.1f", belowBound.empty() ? "" : " / ", one[scale] / freshAll);
            belowBound += figures;
        }
        std::printf("%5d %3d/%-2d %9.1f %9.1f %9.1f %9.1f | %8.1f %8.1f %7.2f %8.2f %s\n", scale, theirs.equalTaps,
                    theirs.defaultTaps, rate(one[scale]), rate(all), rate(theirs.equal), rate(theirs.byDefault),
                    ratioEqual, theirs.byDefault / one[scale], paired.ratio, one[scale] / floor,
                    found == scipy.end() ? "no scipy" : (equal ? "yes" : "NO"));
        std::fflush(stdout);
    }
    std::printf("\ntaps: scipy's with equal taps / with its default truncate; scipy= and 1t/sp= are at equal taps\n");

    // Speed-up against thread count beside the copies' own: where both flatten together, the memory (or
    // the other work on the machine), not the split of the work, holds the filter back. The processor time
    // all threads spend, against one thread's, tells the split's own cost whatever else the machine runs:
    // threads x that ratio is the speed-up that a machine with a free core per thread would show, short of
    // what a shared memory bus takes.
    std::printf("\nby thread count: speed-up over one thread (wall clock) / threads x one thread's processor time over "
                "theirs\n%8s %8s",
                "threads", "copies");
    for (const int scale : {1, 4, 16})
        std::printf(" %11s%-2d", "scale ", scale);
    std::printf("\n");
    std::map<int, Timing> single;
    for (const int scale : {1, 4, 16})
        single[scale] = TimeFilterWithCpu(volume, size, scale, 1, rounds);
    for (unsigned threads = 2; threads <= cores; threads *= 2)
    {
        const double copies = MedianSeconds(rounds, [&] {
            CopyOnThreads(threads, volume.data(), a.data(), volume.size());
            CopyOnThreads(threads, a.data(), b.data(), volume.size());
            CopyOnThreads(threads, b.data(), a.data(), volume.size());
        });
        std::printf("%8u %8.2f", threads, floor / copies);
        for (const int scale : {1, 4, 16})
        {
            const Timing timing = TimeFilterWithCpu(volume, size, scale, threads, rounds);
            std::printf(" %6.2f/%-6.2f", single[scale].wall / timing.wall, threads * single[scale].cpu / timing.cpu);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("goal: one thread >= 10 x scipy at equal taps, every scale: %s\n", Verdict(scipyGoal));
    std::printf("goal: one thread within 2 x the three-copy floor at scale 1: %.2f x, %s\n", one[1] / floor,
                Verdict(one[1] / floor <= 2.0));
    std::printf("goal: all threads >= %u / 2 x one thread, every scale: %s (the copies scale %.2f x)\n", cores,
                Verdict(scaleGoal), floor / floorAll);
    if (!scaleGoal)
        std::printf("  met at scales%s; below at%s, where the all-thread filter takes %s x the time of one copy into a "
                    "fresh result on all threads, so no filter writing a fresh result could gain more than %s x\n",
                    scalesMet.empty() ? " (none)" : scalesMet.c_str(), scalesBelow.c_str(), belowFloor.c_str(),
                    belowBound.c_str());
    std::printf("every result equal to the exact pipeline: %s\n", allEqual ? "yes" : "NO");
    std::printf("load average (1 and 5 minutes) at the start: %s, at the end: %s\n", startLoad.c_str(),
                LoadAverage().c_str());
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder, ignored);
    return allEqual ? 0 : 1;
}
