// Throughput of the 3-D Gaussian filter beside scipy on the same volume in the same run.
//
// For a 500 × 300 × 450 volume of 8-bit voxels and every scale it prints voxels per second for one
// thread and for all hardware threads, scipy's exact integer pipeline (correlate1d on int64 with the
// same taps and shifts) and scipy.ndimage.gaussian_filter (float64, the kernel's sigma), and the
// ratios. The filter's result is checked voxel for voxel against scipy's pipeline.
//
// Arguments: [size_x size_y size_z] [repeats]

#include "core/GaussianFilter3D.h"

#include <boost/filesystem.hpp>
#include <boost/thread/thread.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{
struct ScipyTimes
{
    double pipeline = 0;
    double gaussianFilter = 0;
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

std::map<int, ScipyTimes> RunScipy(const std::string& path, const unsigned* size, int repeats)
{
    const std::string command = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) + "/bench/gaussian_scipy.py' '" +
                                path + "' " + std::to_string(size[0]) + " " + std::to_string(size[1]) + " " +
                                std::to_string(size[2]) + " " + std::to_string(repeats);
    std::map<int, ScipyTimes> times;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return times;
    int scale;
    double pipeline, gaussianFilter;
    while (std::fscanf(pipe, "%d %lf %lf", &scale, &pipeline, &gaussianFilter) == 3)
        times[scale] = {pipeline, gaussianFilter};
    pclose(pipe);
    return times;
}

template <typename Work>
double BestSeconds(int repeats, Work work)
{
    double best = 1e300;
    for (int r = 0; r < repeats; ++r)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

bool SameAsFile(const std::vector<unsigned char>& result, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> expected{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return expected == result;
}
}

int main(int argc, char** argv)
{
    unsigned size[3] = {500, 300, 450};
    int repeats = 3;
    if (argc >= 4)
        for (int axis = 0; axis < 3; ++axis)
            size[axis] = unsigned(std::atoi(argv[1 + axis]));
    if (argc == 5 || argc == 2)
        repeats = std::max(1, std::atoi(argv[argc - 1]));

    const std::vector<unsigned char> volume = MakeVolume(size);
    const double voxels = double(volume.size());
    const boost::filesystem::path folder =
        boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("corvane-bench-%%%%-%%%%");
    boost::filesystem::create_directories(folder);
    const std::string path = (folder / "volume.raw").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(volume.data()), std::streamsize(volume.size()));

    std::printf("Gaussian filter, %u x %u x %u 8-bit voxels, best of %d; Mvox/s (higher is better)\n", size[0], size[1],
                size[2], repeats);
    std::printf("scipy is timed first in the same run...\n");
    std::fflush(stdout);
    const std::map<int, ScipyTimes> scipy = RunScipy(path, size, repeats);

    const unsigned hardware = std::max(1u, boost::thread::hardware_concurrency());
    std::printf("%5s %10s %10s %10s %10s | %12s %12s %14s %14s %s\n", "scale", "1 thread", "threads", "scipy exact",
                "scipy float", "1t/exact", "Nt/exact", "1t/gauss_filt", "Nt/gauss_filt", "equal");
    std::printf("%5s %10s %10u\n", "", "", hardware);
    std::vector<unsigned char> result;
    for (const int scale : {1, 2, 4, 8, 16})
    {
        const double one = BestSeconds(repeats, [&] { GaussianFilter3D(volume.data(), size, result, scale, 1); });
        const double all = BestSeconds(repeats, [&] { GaussianFilter3D(volume.data(), size, result, scale, 0); });
        const auto found = scipy.find(scale);
        const ScipyTimes theirs = found == scipy.end() ? ScipyTimes{} : found->second;
        const char* equal = found == scipy.end()                                          ? "no scipy"
                            : SameAsFile(result, path + ".scale" + std::to_string(scale)) ? "yes"
                                                                                          : "NO";
        auto rate = [voxels](double seconds) { return seconds > 0 ? voxels / seconds / 1e6 : 0.0; };
        auto ratio = [](double theirs, double ours) { return ours > 0 ? theirs / ours : 0.0; };
        std::printf("%5d %10.1f %10.1f %10.1f %10.1f | %12.2f %12.2f %14.2f %14.2f %s\n", scale, rate(one), rate(all),
                    rate(theirs.pipeline), rate(theirs.gaussianFilter), ratio(theirs.pipeline, one),
                    ratio(theirs.pipeline, all), ratio(theirs.gaussianFilter, one), ratio(theirs.gaussianFilter, all),
                    equal);
        std::fflush(stdout);
    }
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder, ignored);
    return 0;
}
