#include "core/GaussianFilter3D.h"

#include "core/GaussianKernel.h"
#include "core/GaussianRowFilter.h"
#include "core/HugePages.h"
#include "core/ThreadPhases.h"
#include "core/WorkStealingRanges.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

namespace
{

// Lines that lie side by side in memory (those along y and z) are filtered together: a group of them
// is gathered into a buffer whose rows run along x, and each output row is the weighted sum of whole
// buffer rows. The group is as wide as a buffer of this size allows, so that it stays in the cache.
constexpr std::size_t kGroupBytes = 256 * 1024;

// The longest run of voxels the y and z passes over whole slices hand the row filter at once.
constexpr std::size_t kRunVoxels = std::size_t(1) << 20;

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

class BandFilter
{
public:
    BandFilter(const Band& band, const GaussianRowFilter& filter)
        : m_band(band)
        , m_filter(filter)
        , m_size(filter.Size())
        , m_half(filter.Half())
        , m_group(band.voxelStep == 1 ? 1 : GroupWidth(band, filter.Size()))
        ,
        // The margins of m_half rows before and m_size - m_half - 1 rows after the line are never
        // written: they stand for the voxels beyond the ends of the line, which count as 0.
        m_padded(std::size_t(band.lineLength + m_size - 1) * std::size_t(m_group), 0)
        , m_rows(std::size_t(m_size))
    {
        if (band.voxelStep != 1 && band.lineStep != 1)
            m_scattered.resize(std::size_t(m_group));
    }

    void Run(int first, int end)
    {
        for (int b = first; b < end; ++b)
        {
            for (int l = 0; l < m_band.lines; l += m_group)
            {
                const int count = std::min(m_group, m_band.lines - l);
                const std::ptrdiff_t start = l * m_band.lineStep + b * m_band.bandStep;
                if (m_band.voxelStep == 1)
                    FilterLine(m_band.source + start, m_band.destination + start);
                else
                    FilterGroup(m_band.source + start, m_band.destination + start, count);
            }
        }
    }

private:
    static int GroupWidth(const Band& band, int size)
    {
        const std::size_t rows = std::size_t(band.lineLength + size - 1);
        const std::size_t width = std::max<std::size_t>(64, kGroupBytes / rows);
        return int(std::min<std::size_t>(width, std::size_t(band.lines)));
    }

    // A line along x: the taps of output j read the padded copy at j + k.
    void FilterLine(const unsigned char* in, unsigned char* out)
    {
        std::memcpy(m_padded.data() + m_half, in, std::size_t(m_band.lineLength));
        for (int k = 0; k < m_size; ++k)
            m_rows[std::size_t(k)] = m_padded.data() + k;
        m_filter.Filter(m_rows.data(), out, m_band.lineLength);
    }

    void FilterGroup(const unsigned char* in, unsigned char* out, int count)
    {
        const std::size_t width = std::size_t(m_group);
        unsigned char* row = m_padded.data() + std::size_t(m_half) * width;
        for (int j = 0; j < m_band.lineLength; ++j, row += width, in += m_band.voxelStep)
        {
            if (m_band.lineStep == 1)
                std::memcpy(row, in, std::size_t(count));
            else
                for (int g = 0; g < count; ++g)
                    row[g] = in[g * m_band.lineStep];
        }
        for (int j = 0; j < m_band.lineLength; ++j, out += m_band.voxelStep)
        {
            for (int k = 0; k < m_size; ++k)
                m_rows[std::size_t(k)] = m_padded.data() + std::size_t(j + k) * width;
            if (m_band.lineStep == 1)
            {
                m_filter.Filter(m_rows.data(), out, count);
                continue;
            }
            m_filter.Filter(m_rows.data(), m_scattered.data(), count);
            for (int g = 0; g < count; ++g)
                out[g * m_band.lineStep] = m_scattered[std::size_t(g)];
        }
    }

    const Band m_band;
    const GaussianRowFilter& m_filter;
    const int m_size;
    const int m_half;
    const int m_group;
    std::vector<unsigned char> m_padded;
    std::vector<const unsigned char*> m_rows;
    std::vector<unsigned char> m_scattered;
};

void FilterBand(const Band& band, int scale)
{
    if (band.lineLength <= 0 || band.lines <= 0 || band.first >= band.end)
        return;
    const GaussianRowFilter filter(GetKernel(scale));
    BandFilter(band, filter).Run(band.first, band.end);
}

// The x and y passes of rows [rowFirst, rowEnd) of whole z slices: the x pass fills a buffer of those rows
// and of the rows within the kernel's reach of them, framed by zero rows beyond the slice, and the y pass
// reads it back while it is still in the cache, so the volume crosses memory once for both.
class SliceFilter
{
public:
    SliceFilter(const unsigned char* source, unsigned char* result, int x, int y, const GaussianRowFilter& filter,
                int rowFirst, int rowEnd)
        : m_source(source)
        , m_result(result)
        , m_x(x)
        , m_y(y)
        , m_rowFirst(rowFirst)
        , m_rowEnd(rowEnd)
        , m_filter(filter)
        , m_line(std::size_t(x + filter.Size() - 1), 0)
        , m_slice(std::size_t(rowEnd - rowFirst + filter.Size() - 1) * std::size_t(x), 0)
        , m_rows(std::size_t(filter.Size()))
    {
    }

    void Run(int first, int end)
    {
        const std::size_t slice = std::size_t(m_x) * std::size_t(m_y);
        for (int z = first; z < end; ++z)
            FilterSlice(z, m_result + std::size_t(z) * slice + std::size_t(m_rowFirst) * std::size_t(m_x));
    }

    // The x and y passes of the rows of source slice z into out.
    void FilterSlice(int z, unsigned char* out)
    {
        FilterRows(m_source + std::size_t(z) * std::size_t(m_x) * std::size_t(m_y));
        FilterColumns(out);
    }

private:
    // Buffer row r holds slice row m_rowFirst - half + r; those beyond the slice are never written.
    void FilterRows(const unsigned char* slice)
    {
        const int half = m_filter.Half();
        for (int k = 0; k < m_filter.Size(); ++k)
            m_rows[std::size_t(k)] = m_line.data() + k;
        const int first = std::max(0, m_rowFirst - half);
        const int end = std::min(m_y, m_rowEnd + m_filter.Size() - 1 - half);
        const unsigned char* in = slice + std::size_t(first) * std::size_t(m_x);
        unsigned char* out = m_slice.data() + std::size_t(first - m_rowFirst + half) * std::size_t(m_x);
        for (int j = first; j < end; ++j, in += m_x, out += m_x)
        {
            std::memcpy(m_line.data() + half, in, std::size_t(m_x));
            m_filter.Filter(m_rows.data(), out, m_x);
        }
    }

    // Output row j sums buffer rows j to j + Size() - 1, so the rows are one long row over the buffer
    // shifted by whole rows.
    void FilterColumns(unsigned char* out)
    {
        const std::size_t voxels = std::size_t(m_x) * std::size_t(m_rowEnd - m_rowFirst);
        for (std::size_t run = 0; run < voxels; run += kRunVoxels)
        {
            for (int k = 0; k < m_filter.Size(); ++k)
                m_rows[std::size_t(k)] = m_slice.data() + std::size_t(k) * std::size_t(m_x) + run;
            m_filter.Filter(m_rows.data(), out + run, int(std::min(kRunVoxels, voxels - run)));
        }
    }

    const unsigned char* const m_source;
    unsigned char* const m_result;
    const int m_x;
    const int m_y;
    const int m_rowFirst;
    const int m_rowEnd;
    const GaussianRowFilter& m_filter;
    std::vector<unsigned char> m_line;
    std::vector<unsigned char> m_slice;
    std::vector<const unsigned char*> m_rows;
};

// All three passes over rows [rowFirst, rowEnd) of a band of z slices: the x and y passes of each slice
// land in a ring of as many slices as the kernel has taps, and each output slice is the weighted sum of
// ring slices, so that the volume crosses memory once. A band recomputes the slices within the kernel's
// reach before its first, and the x pass of the rows within reach beyond its own.
class VolumeFilter
{
public:
    VolumeFilter(const unsigned char* source, unsigned char* result, int x, int y, int z,
                 const GaussianRowFilter& filter, int rowFirst, int rowEnd)
        : m_slices(source, result, x, y, filter, rowFirst, rowEnd)
        , m_result(result + std::size_t(rowFirst) * std::size_t(x))
        , m_z(z)
        , m_filter(filter)
        , m_volumeSlice(std::size_t(x) * std::size_t(y))
        , m_sliceVoxels(std::size_t(x) * std::size_t(rowEnd - rowFirst))
        , m_ring(m_sliceVoxels * std::size_t(filter.Size()))
        , m_zero(m_sliceVoxels, 0)
        , m_rows(std::size_t(filter.Size()))
    {
    }

    // Slices first to end - 1. A run that goes on from the previous one's end keeps its ring; any other
    // fills the ring anew from the slices before first.
    void Run(int first, int end)
    {
        const int size = m_filter.Size();
        const int half = m_filter.Half();
        int next = first == m_end ? m_next : std::max(0, first - half);
        for (int z = first; z < end; ++z)
        {
            for (const int last = std::min(m_z - 1, z - half + size - 1); next <= last; ++next)
                m_slices.FilterSlice(next, Slot(next));
            // The z pass sums whole ring slices voxel by voxel: the slice is one long row.
            unsigned char* out = m_result + std::size_t(z) * m_volumeSlice;
            for (std::size_t run = 0; run < m_sliceVoxels; run += kRunVoxels)
            {
                for (int k = 0; k < size; ++k)
                {
                    const int input = z - half + k;
                    m_rows[std::size_t(k)] = (input >= 0 && input < m_z ? Slot(input) : m_zero.data()) + run;
                }
                m_filter.Filter(m_rows.data(), out + run, int(std::min(kRunVoxels, m_sliceVoxels - run)));
            }
        }
        m_next = next;
        m_end = end;
    }

private:
    unsigned char* Slot(int slice) { return m_ring.data() + std::size_t(slice % m_filter.Size()) * m_sliceVoxels; }

    SliceFilter m_slices;
    unsigned char* const m_result;
    const int m_z;
    const GaussianRowFilter& m_filter;
    const std::size_t m_volumeSlice;
    const std::size_t m_sliceVoxels;
    std::vector<unsigned char> m_ring;
    const std::vector<unsigned char> m_zero;
    std::vector<const unsigned char*> m_rows;
    // The next slice the x and y passes fill into the ring, and the end of the last run.
    int m_next = 0;
    int m_end = -1;
};

unsigned ThreadCount(unsigned requested)
{
    if (requested > 0)
        return requested;
    return std::max(1u, std::thread::hardware_concurrency());
}

// Runs each work item once, on as many threads as there are items, the calling thread among them, and
// returns when all have ended; an error inside one reaches the caller then.
template <typename Work>
void RunThreads(const std::vector<Work>& work)
{
    ThreadPhases(work.size()).Run({{work.size(), [&work](std::size_t item) { work[item](); }}});
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

// Hands out bands a few at a time: threads of the two-pass path take the next ones when they are done
// instead of owning fixed shares, so that a thread the system delays holds up the others only for its
// last few bands. Those bands recompute nothing, so short ones cost nothing extra; the one-pass path,
// whose runs recompute slices, steals halves of shares instead.
class BandCounter
{
public:
    BandCounter(int extent, int step)
        : m_extent(extent)
        , m_step(std::max(1, step))
    {
    }

    // Eight bands a thread: short enough to even out threads that the system delays.
    static int ShortBands(int extent, unsigned threads)
    {
        return extent / int(std::min<unsigned>(threads, 1u << 20) * 8);
    }

    bool Take(int& first, int& end)
    {
        // 64 bits: threads asking past the end must not wrap the counter around on long axes.
        const std::int64_t next = m_next.fetch_add(m_step);
        if (next >= m_extent)
            return false;
        first = int(next);
        end = int(std::min<std::int64_t>(m_extent, next + m_step));
        return true;
    }

private:
    const int m_extent;
    const int m_step;
    std::atomic<std::int64_t> m_next{0};
};

// The fused x and y passes over whole z slices.
struct SliceWork
{
    const unsigned char* source = nullptr;
    unsigned char* result = nullptr;
    int x = 0;
    int y = 0;
    int scale = 1;
    BandCounter* slices = nullptr;

    void operator()() const
    {
        const GaussianRowFilter filter(GetKernel(scale));
        SliceFilter work(source, result, x, y, filter, 0, y);
        for (int first, end; slices->Take(first, end);)
            work.Run(first, end);
    }
};

// All three passes over the slices a thread takes: index i is slice i % z of row band i / z.
struct VolumeWork
{
    const unsigned char* source = nullptr;
    unsigned char* result = nullptr;
    int x = 0;
    int y = 0;
    int z = 0;
    int bands = 1;
    int scale = 1;
    WorkStealingRanges* slices = nullptr;
    unsigned thread = 0;

    void operator()() const
    {
        const GaussianRowFilter filter(GetKernel(scale));
        std::unique_ptr<VolumeFilter> work;
        int band = -1;
        for (int index; slices->Next(thread, index);)
        {
            if (index / z != band)
            {
                band = index / z;
                work = std::make_unique<VolumeFilter>(source, result, x, y, z, filter, RowOf(band), RowOf(band + 1));
            }
            work->Run(index % z, index % z + 1);
        }
    }

    int RowOf(int band) const { return int(std::int64_t(y) * band / bands); }
};

// The z pass, in place, over rows of x at each y.
struct DepthWork
{
    Band band{};
    int scale = 1;
    BandCounter* rows = nullptr;

    void operator()() const
    {
        const GaussianRowFilter filter(GetKernel(scale));
        BandFilter work(band, filter);
        for (int first, end; rows->Take(first, end);)
            work.Run(first, end);
    }
};

// Row bands each slice is split into for the one-pass path, so that each thread's ring of slices fits in
// its core's own cache: the fewest that divide the threads evenly and bring the ring within 1 MB, as long
// as the rows a band's x pass adds on either side stay within a quarter of its own. With eight threads on
// 500 x 300 slices, this gives 2 bands at scale 4 and 4 at scale 8: the whole call took 0.89-1.02 x the
// time of whole slices, 0.94 at the median, over eight sets of 9-11 alternated calls. On one thread, whose
// ring has the cache to itself, row bands took 1.04-1.37 x the time.
int RowBands(int taps, int x, int y, int z, unsigned threads)
{
    constexpr std::size_t kRingBytes = std::size_t(1) << 20;
    const std::size_t ring = std::size_t(taps) * std::size_t(x) * std::size_t(y);
    if (threads < 2 || ring <= kRingBytes)
        return 1;
    for (unsigned bands = 2; bands <= threads && std::int64_t(taps - 1) * 4 * bands <= y; ++bands)
    {
        // The thread's slice indices run over every band's slices.
        if (std::int64_t(z) * bands > INT_MAX)
            return 1;
        if (threads % bands == 0 && (ring + kRingBytes - 1) / kRingBytes <= bands)
            return int(bands);
    }
    return 1;
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

void GaussianFilter3D(const unsigned char* source, const unsigned int* size, SmoothedVolume& result, int scale,
                      unsigned threads)
{
    GetKernel(scale);
    const int x = AxisLength(size[0]);
    const int y = AxisLength(size[1]);
    const int z = AxisLength(size[2]);
    const std::ptrdiff_t slice = static_cast<std::ptrdiff_t>(x) * y;
    const std::size_t count = static_cast<std::size_t>(slice) * static_cast<std::size_t>(z);
    if (result.capacity() < count)
    {
        // Every voxel is overwritten: the old ones need not move into the new storage.
        result.clear();
        result.reserve(count);
        AdviseHugePages(result.data(), count);
    }
    result.resize(count);
    if (result.empty())
        return;
    // The same sums as the x pass followed by the y pass, one slice at a time, then the z pass.
    // Without a count from the caller, every thread gets a million voxels or more: for less, starting and
    // joining it costs more than it saves, above all on a busy machine where a thread may start late.
    constexpr std::size_t kVoxelsPerThread = std::size_t(1) << 20;
    const unsigned threadCount =
        threads > 0 ? threads : unsigned(std::clamp<std::size_t>(count / kVoxelsPerThread, 1, ThreadCount(0)));
    // Slices a band recomputes for its neighbour, against the band's own: a short kernel on long bands
    // crosses memory once; otherwise the x and y passes run slice by slice and the z pass after them.
    // Bands at least eight times the recomputed slices, or four times while the ring of slices stays
    // small: with rings of 2.5 MB and more (500 x 300 slices at scales 8 and 16 on 4 threads), the
    // recomputed slices and the ring outgrowing the core's share of the cache cost more than the memory
    // traffic saved; at scale 4 on 8 threads, with a 1.65 MB ring, one pass took 0.87 x the time of the two.
    // Splitting slices into row bands shrinks the ring and the slices recomputed along z.
    const int taps = static_cast<int>(GetKernel(scale).size);
    const int bands = RowBands(taps, x, y, z, threadCount);
    const std::size_t ring = std::size_t(taps) * std::size_t(x) * std::size_t((y + bands - 1) / bands);
    constexpr std::size_t kSmallRingBytes = std::size_t(2) << 20;
    const std::uint64_t recomputed = std::uint64_t(taps - 1) * (threadCount / unsigned(bands));
    if (recomputed * (ring <= kSmallRingBytes ? 4 : 8) <= std::uint64_t(z))
    {
        // A thread that steals slices recomputes taps - 1 of them: it steals only twice as many.
        WorkStealingRanges slices(z * bands, threadCount, 2 * (taps - 1));
        VolumeWork volumeWork;
        volumeWork.source = source;
        volumeWork.result = result.data();
        volumeWork.x = x;
        volumeWork.y = y;
        volumeWork.z = z;
        volumeWork.bands = bands;
        volumeWork.scale = scale;
        volumeWork.slices = &slices;
        std::vector<VolumeWork> work(threadCount, volumeWork);
        for (unsigned t = 0; t < threadCount; ++t)
            work[t].thread = t;
        RunThreads(work);
        return;
    }

    BandCounter slices(z, BandCounter::ShortBands(z, threadCount));
    SliceWork sliceWork;
    sliceWork.source = source;
    sliceWork.result = result.data();
    sliceWork.x = x;
    sliceWork.y = y;
    sliceWork.scale = scale;
    sliceWork.slices = &slices;
    RunThreads(std::vector<SliceWork>(threadCount, sliceWork));

    BandCounter rows(y, BandCounter::ShortBands(y, threadCount));
    DepthWork depthWork;
    depthWork.band = {result.data(), result.data(), z, x, slice, 1, x, 0, y};
    depthWork.scale = scale;
    depthWork.rows = &rows;
    RunThreads(std::vector<DepthWork>(threadCount, depthWork));
}
