#include "core/Image3dImpl.h"

#include "core/ByteOrder.h"
#include "core/FileUtils.h"
#include "core/GaussianFilter3D.h"
#include "core/HugePages.h"
#include "core/OSUtils.h"
#include "core/VolumeProgress.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace
{
const char* const kBitDepthMismatch = "Subsample failed.  Input and output images must have the same bit depth.";

// The files are little-endian; on a little-endian host these calls do nothing.
void FromLittleEndian(unsigned char*, std::size_t) {}

void FromLittleEndian(unsigned short* voxels, std::size_t count)
{
    for (std::size_t done = 0; done < count;)
    {
        const int run = int(std::min<std::size_t>(count - done, 1u << 30));
        SwapByteRange(reinterpret_cast<short*>(voxels + done), run);
        done += std::size_t(run);
    }
}

void FromLittleEndian(float* voxels, std::size_t count)
{
    for (std::size_t done = 0; done < count;)
    {
        const int run = int(std::min<std::size_t>(count - done, 1u << 30));
        ReverseLongWordRange(reinterpret_cast<int*>(voxels + done), run);
        done += std::size_t(run);
    }
}

template <typename T>
T Inverted(T value);

template <>
unsigned char Inverted(unsigned char value)
{
    return static_cast<unsigned char>(255 - value);
}

// 16-bit arithmetic: values above 255 wrap around.
template <>
unsigned short Inverted(unsigned short value)
{
    return static_cast<unsigned short>(255 - value);
}

template <>
float Inverted(float value)
{
    return 255.0f - value;
}

// One MetaImage line split at white space.
std::vector<std::string> Tokens(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

// A whole token as an unsigned 32-bit number: digits only, no sign, no blanks.
bool ParseCount(const std::string& token, unsigned int& value)
{
    const char* end = token.data() + token.size();
    const auto [stop, error] = std::from_chars(token.data(), end, value);
    return error == std::errc() && stop == end;
}

bool ParseSpacing(const std::string& token, float& value)
{
    const char* end = token.data() + token.size();
    const auto [stop, error] = std::from_chars(token.data(), end, value);
    return error == std::errc() && stop == end && std::isfinite(value);
}

struct MetaHeader
{
    unsigned int size[3] = {0, 0, 0};
    float spacing[3] = {1.0f, 1.0f, 1.0f};
    bool hasSize = false;
    std::size_t elementSize = 0;
    std::string elementType;
    std::string dataFile;
};

void ReadDimensions(const std::vector<std::string>& tokens, MetaHeader& header)
{
    if (tokens.size() < 5)
        throw std::runtime_error("Invalid image dimension");
    for (int axis = 0; axis < 3; ++axis)
    {
        if (!ParseCount(tokens[2 + axis], header.size[axis]) || header.size[axis] == 0)
            throw std::runtime_error("Invalid image dimension");
    }
    header.hasSize = true;
}

void ReadSpacing(const std::vector<std::string>& tokens, MetaHeader& header)
{
    if (tokens.size() < 5)
        throw std::runtime_error("Invalid pixel spacing");
    for (int axis = 0; axis < 3; ++axis)
    {
        if (!ParseSpacing(tokens[2 + axis], header.spacing[axis]) || header.spacing[axis] == 0.0f)
            throw std::runtime_error("Invalid pixel spacing");
    }
}

void ReadElementType(const std::vector<std::string>& tokens, MetaHeader& header)
{
    const std::string type = tokens.size() > 2 ? tokens[2] : "";
    if (type == "MET_UCHAR")
        header.elementSize = 1;
    else if (type == "MET_USHORT" || type == "MET_SHORT")
        header.elementSize = 2;
    else if (type == "MET_FLOAT" || type == "MET_INT" || type == "MET_UINT")
        header.elementSize = 4;
    else
        throw std::runtime_error("Unsupported pixel type");
    header.elementType = type;
}

MetaHeader ParseMetaHeader(const char* text)
{
    MetaHeader header;
    std::istringstream lines(text ? text : "");
    for (std::string line; std::getline(lines, line);)
    {
        const std::vector<std::string> tokens = Tokens(line);
        // Only "Key = value" with blanks around the "=" is a field.
        if (tokens.size() < 2 || tokens[1] != "=")
            continue;
        const std::string& key = tokens[0];
        if (key == "ElementSpacing")
            ReadSpacing(tokens, header);
        else if (key == "DimSize")
            ReadDimensions(tokens, header);
        else if (key == "ElementType")
            ReadElementType(tokens, header);
        else if (key == "ElementDataFile")
            header.dataFile = tokens.size() > 2 ? tokens[2] : "";
    }
    return header;
}

std::string WriteFailure(const char* path, std::size_t bytes)
{
    return std::string("Could not write the image file at ") + path + "." + "Please make sure you have " +
           std::to_string(bytes / 1048576) + " MB of free space.";
}

// Whether a seekable file holds fewer bytes than that; a stream that cannot tell its length (a pipe) is
// read and checked as it goes.
bool ShorterThan(std::fstream& file, std::uint64_t bytes)
{
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    file.clear();
    file.seekg(0, std::ios::beg);
    file.clear();
    return length >= 0 && std::uint64_t(length) < bytes;
}

// Index of the voxel nearest to a coordinate. NaN, infinities and a zero spacing end up clamped to
// the volume instead of reaching an integer conversion.
std::uint64_t NearestIndex(float coordinate, float resolution, unsigned int size)
{
    const float position = coordinate / resolution + 0.5f;
    if (!(position >= 1.0f))
        return 0;
    if (position >= float(size))
        return size - 1;
    return std::min<std::uint64_t>(static_cast<std::uint64_t>(position), size - 1);
}
}

template <typename T>
void Image3dImpl<T>::Allocate(const unsigned int* size, const float* resolution)
{
    SetGeometry(size, resolution, sizeof(T));
    const std::uint64_t count = VoxelCount();
    if (m_voxels.size() != count)
    {
        try
        {
            Resize(std::size_t(count), true);
        }
        catch (...)
        {
            // The new size is already set: without voxels to match, the image must not stay open.
            Unload();
            throw;
        }
    }
    m_open = true;
}

template <typename T>
void Image3dImpl<T>::Resize(std::size_t count, bool zeroed)
{
    // Voxels that Allocate keeps move into the new storage; those a file is about to replace need not.
    if (m_voxels.capacity() < count && (m_voxels.empty() || !zeroed))
    {
        // Fresh storage, its pages asked for large before first use.
        VoxelArray().swap(m_voxels);
        m_voxels.reserve(count);
        AdviseHugePages(m_voxels.data(), count * sizeof(T));
    }
    if (zeroed)
        m_voxels.resize(count, T());
    else
        m_voxels.resize(count);
}

template <typename T>
void Image3dImpl<T>::Unload()
{
    ClearGeometry();
    VoxelArray().swap(m_voxels);
    m_cachePath.clear();
    m_headerElement = HeaderElement::Native;
    m_open = false;
}

template <typename T>
bool Image3dImpl<T>::Load(const char* path, const unsigned int* size, const float* resolution, bool invert,
                          TaskProgress* progress)
{
    m_open = false;
    try
    {
        SetGeometry(size, resolution, sizeof(T));
        if (ReadVoxels(path, invert, progress))
            return true;
    }
    catch (...)
    {
    }
    VoxelArray().swap(m_voxels);
    m_open = false;
    return false;
}

template <typename T>
bool Image3dImpl<T>::ReadVoxels(const char* path, bool invert, TaskProgress* progress)
{
    VolumeProgress reporter(progress);
    std::fstream file;
    OpenStream(file, path, std::ios::in | std::ios::binary);
    if (!file)
        return false;
    const std::uint64_t count = VoxelCount();
    // A short file fails anyway: finding out first spares allocating gigabytes for a size taken from
    // elsewhere that the file cannot fill.
    if (ShorterThan(file, count * sizeof(T)))
        return false;
    if (m_voxels.size() != count)
        Resize(std::size_t(count), false);
    const unsigned int depth = m_size[2];
    for (unsigned int z = 0; z < depth; z += 8)
    {
        if (reporter.Update(float(z) / float(depth) * 100.0f))
            return false;
        const std::uint64_t slices = std::min(8u, depth - z);
        const std::uint64_t bytes = slices * m_sliceVoxels * sizeof(T);
        file.read(reinterpret_cast<char*>(m_voxels.data() + z * m_sliceVoxels), std::streamsize(bytes));
        if (!file || std::uint64_t(file.gcount()) != bytes)
            return false;
    }
    FromLittleEndian(m_voxels.data(), m_voxels.size());
    m_open = true;
    if (invert)
        Invert();
    return true;
}

std::uint64_t Image3d::HeaderVoxelCount(const char* headerText)
{
    const MetaHeader header = ParseMetaHeader(headerText);
    if (!header.hasSize)
        throw std::runtime_error("Invalid image dimension");
    // The count sizes the caller's buffers: a grid that no image could hold is refused here, before a
    // product that wraps around can look like a small one.
    return CheckedVoxelCount(header.size, std::max<std::size_t>(header.elementSize, 1));
}

template <typename T>
std::string Image3dImpl<T>::LoadHeader(const char* headerText)
{
    const MetaHeader header = ParseMetaHeader(headerText);
    if (header.elementSize == 0)
        throw std::runtime_error("Pixel type not found in mhd header file");
    if (header.elementSize != sizeof(T))
        throw std::runtime_error("Pixel type found in mhd header file does not match expected pixel type");
    if (!header.hasSize)
        throw std::runtime_error("Invalid image dimension");
    Allocate(header.size, header.spacing);
    m_headerElement = HeaderElement::Native;
    if (std::is_same<T, float>::value && header.elementType == "MET_INT")
        m_headerElement = HeaderElement::Int32;
    else if (std::is_same<T, float>::value && header.elementType == "MET_UINT")
        m_headerElement = HeaderElement::Uint32;
    return header.dataFile;
}

template <typename T>
void Image3dImpl<T>::LoadHeaderData(const void* data, std::size_t size)
{
    if (!m_open || size != m_voxels.size() * sizeof(T))
        throw std::runtime_error("The image data does not match the size in its header.");
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (m_headerElement == HeaderElement::Native)
    {
        if (size != 0)
            std::memcpy(m_voxels.data(), bytes, size);
        FromLittleEndian(m_voxels.data(), m_voxels.size());
        return;
    }
    // 32-bit integers: their values, not their bits, become the float voxels.
    for (std::size_t i = 0; i < m_voxels.size(); ++i)
    {
        const std::uint32_t word = std::uint32_t(bytes[4 * i]) | std::uint32_t(bytes[4 * i + 1]) << 8 |
                                   std::uint32_t(bytes[4 * i + 2]) << 16 | std::uint32_t(bytes[4 * i + 3]) << 24;
        if (m_headerElement == HeaderElement::Int32)
            m_voxels[i] = static_cast<T>(static_cast<std::int32_t>(word));
        else
            m_voxels[i] = static_cast<T>(word);
    }
}

template <typename T>
bool Image3dImpl<T>::Save(const char* path, TaskProgress* progress) const
{
    // After a failed Load the size stands but the voxels are gone; checked before an existing file is
    // truncated.
    if (m_voxels.size() != VoxelCount())
        throw std::runtime_error("Save failed. The image holds no voxels.");
    VolumeProgress reporter(progress);
    std::fstream file;
    OpenStream(file, path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file)
        throw std::runtime_error(std::string("Could not create image file for writing: ") + (path ? path : "") + "." +
                                 "Please make sure this path exists and you have write permissions.");
    const std::size_t totalBytes = m_voxels.size() * sizeof(T);
    try
    {
        const unsigned int depth = m_size[2];
        for (unsigned int z = 0; z < depth; z += 2)
        {
            if (reporter.Update(float(z) / float(depth) * 100.0f))
            {
                file.close();
                RemovePartialFile(path);
                return false;
            }
            const std::uint64_t slices = std::min(2u, depth - z);
            const std::uint64_t bytes = slices * m_sliceVoxels * sizeof(T);
            file.write(reinterpret_cast<const char*>(m_voxels.data() + z * m_sliceVoxels), std::streamsize(bytes));
            if (!file)
                throw std::runtime_error(WriteFailure(path, totalBytes));
        }
        // Buffered bytes reach the disk only here: a full disk shows up at the close.
        file.close();
        if (file.fail())
            throw std::runtime_error(WriteFailure(path, totalBytes));
    }
    catch (...)
    {
        file.close();
        RemovePartialFile(path);
        throw;
    }
    return true;
}

template <typename T>
bool Image3dImpl<T>::LoadCache(Image3dImpl& target, const std::string& path, const unsigned int* size,
                               const float* resolution) const
{
    return OSUtils::FileExists(path.c_str()) && target.Load(path.c_str(), size, resolution, false, nullptr);
}

template <typename T>
void Image3dImpl<T>::SaveCache(const Image3dImpl& image, const std::string& path)
{
    try
    {
        image.Save(path.c_str(), nullptr);
    }
    catch (const std::exception&)
    {
    }
}

template <typename T>
void Image3dImpl<T>::Subsample(int factor, Image3d& out, bool smooth) const
{
    if (factor < 1)
        throw std::invalid_argument("Subsample factor must be 1 or more.");
    Image3dImpl* target = dynamic_cast<Image3dImpl*>(&out);
    if (!target)
        throw std::runtime_error(kBitDepthMismatch);
    if (target == this)
        throw std::invalid_argument("Subsample needs an output image other than its input.");
    if (m_voxels.size() != VoxelCount())
        throw std::runtime_error("Subsample failed. The image holds no voxels.");

    const unsigned int step = unsigned(factor);
    unsigned int size[3];
    float resolution[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        size[axis] = m_size[axis] / step;
        resolution[axis] = m_resolution[axis] * float(factor);
    }
    const std::string cache = m_cachePath.empty() ? "" : m_cachePath + "_d" + std::to_string(factor);
    if (!cache.empty() && LoadCache(*target, cache, size, resolution))
        return;

    target->Allocate(size, resolution);
    const T* source = m_voxels.data();
    SmoothedVolume smoothed;
    if constexpr (std::is_same<T, unsigned char>::value)
    {
        if (smooth)
        {
            GaussianFilter3D(m_voxels.data(), m_size, smoothed, factor);
            source = smoothed.data();
        }
    }
    const std::uint64_t half = step / 2;
    T* destination = target->m_voxels.data();
    for (std::uint64_t k = 0; k < size[2]; ++k)
        for (std::uint64_t j = 0; j < size[1]; ++j)
        {
            const T* row = source + (k * step + half) * m_sliceVoxels + (j * step + half) * m_size[0] + half;
            for (std::uint64_t i = 0; i < size[0]; ++i)
                *destination++ = row[i * step];
        }
    if (!cache.empty())
        SaveCache(*target, cache);
}

template <typename T>
void Image3dImpl<T>::ResampleFromImage(const Image3d& source)
{
    const Image3dImpl* from = dynamic_cast<const Image3dImpl*>(&source);
    if (!from)
        throw std::runtime_error(kBitDepthMismatch);
    if (from == this)
        return;
    const unsigned int ownSize[3] = {m_size[0], m_size[1], m_size[2]};
    const float ownResolution[3] = {m_resolution[0], m_resolution[1], m_resolution[2]};
    if (!m_cachePath.empty() && LoadCache(*this, m_cachePath, ownSize, ownResolution))
        return;
    Allocate(ownSize, ownResolution);
    if (m_voxels.empty())
        return;
    if (from->m_voxels.empty())
        throw std::runtime_error("Resampling failed. The source image holds no voxels.");

    // 16.16 fixed point as the cached volumes were made; the products are 64-bit so that large
    // indices cannot wrap.
    std::uint64_t step[3];
    for (int axis = 0; axis < 3; ++axis)
        step[axis] = static_cast<std::uint64_t>(float(from->m_size[axis]) / float(m_size[axis]) * 65536.0f + 0.5f);
    auto sourceIndex = [&](int axis, std::uint64_t index) {
        return std::min<std::uint64_t>((step[axis] * index) >> 16, from->m_size[axis] - 1);
    };
    T* destination = m_voxels.data();
    for (std::uint64_t z = 0; z < m_size[2]; ++z)
    {
        const std::uint64_t sz = sourceIndex(2, z);
        for (std::uint64_t y = 0; y < m_size[1]; ++y)
        {
            const T* row = from->m_voxels.data() + sz * from->m_sliceVoxels + sourceIndex(1, y) * from->m_size[0];
            for (std::uint64_t x = 0; x < m_size[0]; ++x)
                *destination++ = row[sourceIndex(0, x)];
        }
    }
    if (!m_cachePath.empty())
        SaveCache(*this, m_cachePath);
    m_open = true;
}

template <typename T>
float Image3dImpl<T>::GetValue(float x, float y, float z) const
{
    if (!m_open || m_voxels.empty())
        return 0.0f;
    const std::uint64_t i = NearestIndex(x, m_resolution[0], m_size[0]);
    const std::uint64_t j = NearestIndex(y, m_resolution[1], m_size[1]);
    const std::uint64_t k = NearestIndex(z, m_resolution[2], m_size[2]);
    return static_cast<float>(m_voxels[i + j * m_size[0] + k * m_sliceVoxels]);
}

template <typename T>
void Image3dImpl<T>::Invert()
{
    for (T& voxel : m_voxels)
        voxel = Inverted(voxel);
}

template class Image3dImpl<unsigned char>;
template class Image3dImpl<unsigned short>;
template class Image3dImpl<float>;
