#include "core/NiftiReader.h"

#include "core/IOStream.h"
#include "core/Image3d.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace
{
const char* const kGzipError = "Error while decompressing gzip stream.";

constexpr std::size_t kHeaderSize = 348;
constexpr std::size_t kGzipHeaderSize = 10;
constexpr std::size_t kGzipTrailerSize = 8;
// Deflate cannot expand its input by more than about 1032 times; a larger ISIZE is a lie.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

enum GzipFlags : unsigned char
{
    kHeaderCrc = 2,
    kExtra = 4,
    kName = 8,
    kComment = 16,
    kReserved = 0xE0
};

std::uint32_t LittleEndian32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::int16_t LittleEndian16(const unsigned char* p)
{
    return static_cast<std::int16_t>(std::uint16_t(p[0]) | std::uint16_t(p[1]) << 8);
}

float LittleEndianFloat(const unsigned char* p)
{
    const std::uint32_t bits = LittleEndian32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Offset of the deflate data of a gzip member: the optional extra field, file name, comment and
// header CRC (as the gzip tool and nibabel write them) are skipped by their flags.
std::size_t DeflateStart(const std::vector<unsigned char>& file)
{
    if (file.size() < kGzipHeaderSize + kGzipTrailerSize)
        throw std::runtime_error(kGzipError);
    const std::size_t end = file.size() - kGzipTrailerSize;
    if (file[1] != 0x8B || file[2] != Z_DEFLATED || (file[3] & kReserved))
        throw std::runtime_error(kGzipError);
    const unsigned char flags = file[3];
    std::size_t position = kGzipHeaderSize;
    if (flags & kExtra)
    {
        if (end - position < 2)
            throw std::runtime_error(kGzipError);
        position += 2 + (std::size_t(file[position]) | std::size_t(file[position + 1]) << 8);
    }
    for (const unsigned char text : {kName, kComment})
    {
        if (!(flags & text))
            continue;
        while (position < end && file[position] != 0)
            ++position;
        ++position;
    }
    if (flags & kHeaderCrc)
        position += 2;
    if (position > end)
        throw std::runtime_error(kGzipError);
    return position;
}

// Inflates a whole gzip member in one call. ISIZE must be plausible for the compressed length and
// equal to what comes out, and the CRC must match: a damaged file is an error, not a wrong volume.
std::vector<unsigned char> Gunzip(const std::vector<unsigned char>& file)
{
    const std::size_t start = DeflateStart(file);
    const std::size_t compressed = file.size() - kGzipTrailerSize - start;
    const std::uint32_t expectedCrc = LittleEndian32(file.data() + file.size() - 8);
    const std::uint32_t inflatedSize = LittleEndian32(file.data() + file.size() - 4);
    if (inflatedSize > compressed * kMaxDeflateRatio + 64 || compressed > std::numeric_limits<uInt>::max())
        throw std::runtime_error(kGzipError);

    std::vector<unsigned char> out(inflatedSize);
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        throw std::runtime_error(kGzipError);
    zs.next_in = const_cast<Bytef*>(file.data() + start);
    zs.avail_in = static_cast<uInt>(compressed);
    unsigned char none = 0;
    zs.next_out = out.empty() ? &none : out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    // Output that does not fit ISIZE leaves the stream unfinished.
    const int status = inflate(&zs, Z_FINISH);
    const bool complete = status == Z_STREAM_END && zs.total_out == inflatedSize;
    if (inflateEnd(&zs) != Z_OK || !complete)
        throw std::runtime_error(kGzipError);
    if (crc32(crc32(0L, Z_NULL, 0), out.data(), static_cast<uInt>(out.size())) != expectedCrc)
        throw std::runtime_error(kGzipError);
    return out;
}
}

NiftiReader::NiftiReader(IOStream* stream)
    : m_stream(stream)
{
    if (!m_stream)
        throw std::runtime_error("Unexpected empty I/O stream");
    const unsigned int size = m_stream->GetSize();
    if (size < 14)
        throw std::runtime_error("Unexpected end of I/O stream");
    std::vector<unsigned char> file(size);
    m_stream->Seek(0);
    m_stream->Read(file.data(), size);
    m_bytes = file[0] == 0x1F ? Gunzip(file) : std::move(file);
    ReadHeader();
}

NiftiReader::~NiftiReader() = default;

void NiftiReader::ReadHeader()
{
    if (m_bytes.size() < kHeaderSize || LittleEndian32(m_bytes.data()) != kHeaderSize)
        throw std::runtime_error("Not a little-endian NIfTI-1 file.");
    for (int axis = 0; axis < 3; ++axis)
    {
        const std::int16_t dim = LittleEndian16(m_bytes.data() + 42 + 2 * axis);
        if (dim < 1)
            throw std::runtime_error("Invalid NIfTI image dimension.");
        m_size[axis] = static_cast<unsigned int>(dim);
        m_resolution[axis] = LittleEndianFloat(m_bytes.data() + 80 + 4 * axis);
    }
    const float offset = LittleEndianFloat(m_bytes.data() + 108);
    if (!(offset >= float(kHeaderSize)) || offset > float(m_bytes.size()))
        throw std::runtime_error("Invalid NIfTI voxel offset.");
    m_voxelOffset = static_cast<std::uint64_t>(offset);
}

std::uint64_t NiftiReader::GetNumVoxels() const
{
    return std::uint64_t(m_size[0]) * m_size[1] * m_size[2];
}

const unsigned char* NiftiReader::VoxelData(std::size_t elementSize) const
{
    // Three 16-bit dimensions and an element size cannot overflow 64 bits.
    if (m_voxelOffset + GetNumVoxels() * elementSize > m_bytes.size())
        throw std::runtime_error("The NIfTI file ends before its voxel data.");
    return m_bytes.data() + m_voxelOffset;
}

std::unique_ptr<Image3d> NiftiReader::GetImage()
{
    const unsigned char* data = VoxelData(2);
    std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned short), m_size, m_resolution);
    unsigned short* voxels = static_cast<unsigned short*>(image->GetBuffer());
    const std::uint64_t count = GetNumVoxels();
    for (std::uint64_t i = 0; i < count; ++i)
        voxels[i] = static_cast<unsigned short>(data[2 * i] | data[2 * i + 1] << 8);
    return image;
}

void NiftiReader::GetImage(float* out)
{
    const unsigned char* data = VoxelData(8);
    const std::uint64_t count = GetNumVoxels();
    float maximum = 0.0f;
    for (std::uint64_t i = 0; i < count; ++i)
    {
        const std::uint64_t low = LittleEndian32(data + 8 * i);
        const std::uint64_t high = LittleEndian32(data + 8 * i + 4);
        float x = static_cast<float>(low | high << 32);
        if (x != 0.0f)
            x = static_cast<float>(std::log(x) / 0.6931472);
        out[i] = x;
        maximum = std::max(maximum, x);
    }
    // Every count 0 or 1 leaves nothing to normalise by; the volume stays 0.
    if (maximum == 0.0f)
        return;
    const float scale = 0.75f * maximum;
    for (std::uint64_t i = 0; i < count; ++i)
        out[i] /= scale;
}
