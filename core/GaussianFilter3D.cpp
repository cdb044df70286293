#include "core/GaussianFilter3D.h"

#include "core/GaussianKernel.h"

#include <boost/thread/thread.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <stdexcept>

namespace
{

// Lines that lie next to each other in memory (the y and z passes) are filtered side by side, so that
// every memory access runs along x: a whole group of lines is gathered, filtered and written back
// row by row instead of striding through the volume one voxel at a time.
constexpr int kMaxGroup = 256;
// Accumulators per block: small enough to stay in the first-level cache.
constexpr int kChunk = 2048;

struct Band
{
    const unsigned char* source;
    unsigned char* destination;
    int lineLength;
    int lines;
    std::ptrdiff_t voxelStep;
    std::ptrdiff_t lineStep;
    std::ptrdiff_t bandStep;
    int first;
    int end;
};

// Voxels are widened to 16 bits, where every product of a tap and a voxel fits. Acc holds a whole
// weighted sum: 16 bits where 255 × the tap sum fits (vectors twice as wide), else 32 bits.
template <typename Acc>
class BandFilter
{
public:
    BandFilter(const Band& band, const GaussianKernel& kernel)
        : m_band(band)
        , m_size(static_cast<int>(kernel.size))
        , m_half(m_size / 2)
        , m_shift(kernel.shift)
        , m_group(band.voxelStep == 1 ? 1 : std::min(band.lines, kMaxGroup))
        , m_taps(kernel.taps.begin(), kernel.taps.end())
        ,
        // The margins of m_half rows before and m_size - m_half - 1 rows after the line are never
        // written: they stand for the voxels beyond the ends of the line, which count as 0.
        m_padded(static_cast<std::size_t>(band.lineLength + m_size - 1) * m_group, 0)
        , m_sums(std::max(kChunk, m_group))
    {
    }

    void Run()
    {
        for (int b = m_band.first; b < m_band.end; ++b)
        {
            for (int l = 0; l < m_band.lines; l += m_group)
            {
                const int count = std::min(m_group, m_band.lines - l);
                const std::ptrdiff_t start = l * m_band.lineStep + b * m_band.bandStep;
                Gather(m_band.source + start, count);
                FilterAndScatter(m_band.destination + start, count);
            }
        }
    }

private:
    void Gather(const unsigned char* in, int count)
    {
        std::uint16_t* row = m_padded.data() + static_cast<std::size_t>(m_half) * m_group;
        if (m_group == 1)
        {
            for (int j = 0; j < m_band.lineLength; ++j)
                row[j] = in[j * m_band.voxelStep];
            return;
        }
        for (int j = 0; j < m_band.lineLength; ++j, row += m_group, in += m_band.voxelStep)
        {
            if (m_band.lineStep == 1)
            {
                for (int g = 0; g < count; ++g)
                    row[g] = in[g];
            }
            else
            {
                for (int g = 0; g < count; ++g)
                    row[g] = in[g * m_band.lineStep];
            }
        }
    }

    void FilterAndScatter(unsigned char* out, int count)
    {
        const int rowsPerChunk = std::max(1, kChunk / m_group);
        Acc* sums = m_sums.data();
        for (int j0 = 0; j0 < m_band.lineLength; j0 += rowsPerChunk)
        {
            const int rows = std::min(rowsPerChunk, m_band.lineLength - j0);
            const int n = rows * m_group;
            std::fill(sums, sums + n, Acc(0));
            for (int k = 0; k < m_size; ++k)
            {
                const std::uint16_t tap = m_taps[k];
                const std::uint16_t* in = m_padded.data() + static_cast<std::size_t>(j0 + k) * m_group;
                for (int i = 0; i < n; ++i)
                    sums[i] = static_cast<Acc>(sums[i] + static_cast<std::uint16_t>(tap * in[i]));
            }
            Scatter(out + j0 * m_band.voxelStep, rows, count);
        }
    }

    void Scatter(unsigned char* out, int rows, int count) const
    {
        const Acc* sums = m_sums.data();
        const unsigned shift = m_shift;
        if (m_group == 1)
        {
            for (int r = 0; r < rows; ++r)
                out[r * m_band.voxelStep] = static_cast<unsigned char>(sums[r] >> shift);
            return;
        }
        for (int r = 0; r < rows; ++r, sums += m_group, out += m_band.voxelStep)
        {
            if (m_band.lineStep == 1)
            {
                for (int g = 0; g < count; ++g)
                    out[g] = static_cast<unsigned char>(sums[g] >> shift);
            }
            else
            {
                for (int g = 0; g < count; ++g)
                    out[g * m_band.lineStep] = static_cast<unsigned char>(sums[g] >> shift);
            }
        }
    }

    const Band m_band;
    const int m_size;
    const int m_half;
    const unsigned m_shift;
    const int m_group;
    const std::vector<std::uint16_t> m_taps;
    std::vector<std::uint16_t> m_padded;
    std::vector<Acc> m_sums;
};

void FilterBand(const Band& band, int scale)
{
    if (band.lineLength <= 0 || band.lines <= 0 || band.first >= band.end)
        return;
    const GaussianKernel& kernel = GetKernel(scale);
    std::uint64_t tapSum = 0;
    for (const std::uint32_t tap : kernel.taps)
        tapSum += tap;
    if (tapSum * 255 <= UINT16_MAX)
        BandFilter<std::uint16_t>(band, kernel).Run();
    else
        BandFilter<std::uint32_t>(band, kernel).Run();
}

unsigned ThreadCount(unsigned requested)
{
    if (requested > 0)
        return requested;
    return std::max(1u, boost::thread::hardware_concurrency());
}

// Starts one thread per work item and joins them all. Should starting a thread fail, the threads
// already running are joined before the error leaves, since they write into the caller's volume.
// An error inside a thread is handed to the caller after every thread has ended.
template <typename Work>
void RunThreads(const std::vector<Work>& work)
{
    std::vector<std::exception_ptr> errors(work.size());
    std::vector<boost::thread> threads;
    threads.reserve(work.size());
    auto joinAll = [&threads] {
        for (boost::thread& thread : threads)
            thread.join();
    };
    try
    {
        for (std::size_t t = 0; t < work.size(); ++t)
        {
            threads.emplace_back([&work, &errors, t] {
                try
                {
                    work[t]();
                }
                catch (...)
                {
                    errors[t] = std::current_exception();
                }
            });
        }
    }
    catch (...)
    {
        joinAll();
        throw;
    }
    joinAll();
    for (const std::exception_ptr& error : errors)
    {
        if (error)
            std::rethrow_exception(error);
    }
}

// Splits [0, bandExtent) into equal bands, the last thread also taking the remainder.
template <typename Work>
std::vector<Work> SplitBands(const Work& prototype, int bandExtent, unsigned threads)
{
    const unsigned count = ThreadCount(threads);
    const int band = bandExtent / static_cast<int>(std::min<unsigned>(count, INT_MAX));
    std::vector<Work> work(count, prototype);
    for (unsigned t = 0; t < count; ++t)
    {
        work[t].first = static_cast<int>(t) * band;
        work[t].end = t + 1 == count ? bandExtent : static_cast<int>(t + 1) * band;
    }
    return work;
}

int AxisLength(unsigned int size)
{
    if (size > static_cast<unsigned int>(INT_MAX))
        throw std::invalid_argument("Volume too large to filter.");
    return static_cast<int>(size);
}

void FilterPass(const GaussianPass& pass, const unsigned char* source)
{
    FilterBand({source, pass.destination, pass.lineLength, pass.lines, pass.voxelStep, pass.lineStep, pass.bandStep,
                pass.first, pass.end},
               pass.scale);
}

// Refuses a scale without a kernel before any thread starts.
GaussianPass DescribePass(unsigned char* destination, int lineLength, int lines, int bandExtent,
                          std::ptrdiff_t voxelStep, std::ptrdiff_t lineStep, std::ptrdiff_t bandStep, int scale)
{
    GetKernel(scale);
    GaussianPass pass;
    pass.destination = destination;
    pass.lineLength = lineLength;
    pass.lines = lines;
    pass.bandExtent = bandExtent;
    pass.voxelStep = voxelStep;
    pass.lineStep = lineStep;
    pass.bandStep = bandStep;
    pass.scale = scale;
    return pass;
}

} // namespace

void ApplyGaussian::operator()() const
{
    FilterPass(*this, source);
}

void ApplyGaussianInPlace::operator()() const
{
    FilterPass(*this, destination);
}

void GaussianFilter3DDirection(const unsigned char* source, unsigned char* destination, int lineLength, int lines,
                               int bandExtent, std::ptrdiff_t voxelStep, std::ptrdiff_t lineStep,
                               std::ptrdiff_t bandStep, int scale, unsigned threads)
{
    const ApplyGaussian prototype{
        DescribePass(destination, lineLength, lines, bandExtent, voxelStep, lineStep, bandStep, scale), source};
    RunThreads(SplitBands(prototype, bandExtent, threads));
}

void GaussianFilter3DDirection(unsigned char* volume, int lineLength, int lines, int bandExtent,
                               std::ptrdiff_t voxelStep, std::ptrdiff_t lineStep, std::ptrdiff_t bandStep, int scale,
                               unsigned threads)
{
    const ApplyGaussianInPlace prototype{
        DescribePass(volume, lineLength, lines, bandExtent, voxelStep, lineStep, bandStep, scale)};
    RunThreads(SplitBands(prototype, bandExtent, threads));
}

void GaussianFilter3D(const unsigned char* source, const unsigned int* size, std::vector<unsigned char>& result,
                      int scale, unsigned threads)
{
    GetKernel(scale);
    const int x = AxisLength(size[0]);
    const int y = AxisLength(size[1]);
    const int z = AxisLength(size[2]);
    const std::ptrdiff_t slice = static_cast<std::ptrdiff_t>(x) * y;
    result.resize(static_cast<std::size_t>(slice) * static_cast<std::size_t>(z));
    if (result.empty())
        return;
    GaussianFilter3DDirection(source, result.data(), x, y, z, 1, x, slice, scale, threads);
    GaussianFilter3DDirection(result.data(), y, x, z, x, 1, slice, scale, threads);
    GaussianFilter3DDirection(result.data(), z, x, y, slice, 1, x, scale, threads);
}
