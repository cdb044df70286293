#pragma once

#include "core/DefaultInitAllocator.h"

#include <cstddef>
#include <vector>

// Separable integer Gaussian smoothing of 8-bit volumes (x fastest, then y, then z), used before
// subsampling by the same factor. Exact integer arithmetic: the result does not depend on the number
// of threads or on the host.
//
// `threads` 0 means one thread per hardware thread (for a whole volume, fewer when it is small); other
// values exist for benchmarks and tests.

// A smoothed volume. Its storage is not zeroed when it grows: the filter writes every voxel, and on the
// threads that compute them, so a fresh result is not first filled on one thread.
using SmoothedVolume = std::vector<unsigned char, DefaultInitAllocator<unsigned char>>;

// Smooths the volume `source` of size[0] × size[1] × size[2] voxels into `result` (resized to the
// volume); `source` is left unchanged. `scale` is 1, 2, 4, 8 or 16, else std::runtime_error
// "Unsupported scale." is thrown before any work starts.
void GaussianFilter3D(const unsigned char* source, const unsigned int* size, SmoothedVolume& result, int scale,
                      unsigned threads = 0);

// One pass along one axis, copying `source` into `destination`. A line of `lineLength` voxels
// `voxelStep` apart starts at line·lineStep + band·bandStep for line in [0, lines) and band in
// [0, bandExtent); threads split the band index.
void GaussianFilter3DDirection(const unsigned char* source, unsigned char* destination, int lineLength, int lines,
                               int bandExtent, std::ptrdiff_t voxelStep, std::ptrdiff_t lineStep,
                               std::ptrdiff_t bandStep, int scale, unsigned threads = 0);

// The same pass, in place.
void GaussianFilter3DDirection(unsigned char* volume, int lineLength, int lines, int bandExtent,
                               std::ptrdiff_t voxelStep, std::ptrdiff_t lineStep, std::ptrdiff_t bandStep, int scale,
                               unsigned threads = 0);

// What a thread of either kind of pass is given: where the lines lie and its bands [first, end) of them.
struct GaussianPass
{
    unsigned char* destination = nullptr;
    int lineLength = 0;
    int lines = 0;
    int bandExtent = 0;
    std::ptrdiff_t voxelStep = 0;
    std::ptrdiff_t lineStep = 0;
    std::ptrdiff_t bandStep = 0;
    int scale = 1;
    int first = 0;
    int end = 0;
};

// Work of one thread of a copying pass.
struct ApplyGaussian : GaussianPass
{
    const unsigned char* source = nullptr;

    void operator()() const;
};

// Work of one thread of an in-place pass. Each thread reads only the lines it writes.
struct ApplyGaussianInPlace : GaussianPass
{
    void operator()() const;
};
