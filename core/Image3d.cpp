#include "core/Image3d.h"

#include "core/FileUtils.h"
#include "core/Image3dImpl.h"
#include "core/JPEGHelpers.h"
#include "core/OSUtils.h"
#include "core/VolumeProgress.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <climits>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace
{
struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

std::string SliceFileName(unsigned int z)
{
    char name[32];
    std::snprintf(name, sizeof name, "%03u.jpg", z);
    return name;
}

int JpegSide(unsigned int size)
{
    if (size == 0 || size > unsigned(INT_MAX))
        throw std::runtime_error("Invalid image dimension");
    return static_cast<int>(size);
}

bool WriteSlices(FILE* file, const unsigned char* voxels, const unsigned int* size)
{
    const std::uint64_t sizeX = size[0], sizeY = size[1], sizeZ = size[2];
    const int width = JpegSide(size[1]);
    const int height = JpegSide(size[2]);
    std::vector<std::int32_t> table(sizeX, 0);
    if (std::fwrite(table.data(), sizeof(std::int32_t), table.size(), file) != table.size())
        return false;
    std::vector<unsigned char> plane(sizeY * sizeZ);
    for (std::uint64_t x = 0; x < sizeX; ++x)
    {
        for (std::uint64_t z = 0; z < sizeZ; ++z)
            for (std::uint64_t y = 0; y < sizeY; ++y)
                plane[y + z * sizeY] = voxels[x + sizeX * (y + sizeY * z)];
        const long offset = std::ftell(file);
        // The table holds signed 32-bit offsets: a larger file could not be read back.
        if (offset < 0 || offset > long(INT32_MAX))
            return false;
        table[x] = static_cast<std::int32_t>(offset);
        WriteJPEG(file, plane.data(), width, height);
    }
    return std::fseek(file, 0, SEEK_SET) == 0 &&
           std::fwrite(table.data(), sizeof(std::int32_t), table.size(), file) == table.size();
}
}

Image3d::~Image3d() = default;

std::unique_ptr<Image3d> Image3d::CreateImage(const std::type_info& type)
{
    if (type == typeid(unsigned char))
        return std::make_unique<Image3dImpl<unsigned char>>();
    if (type == typeid(unsigned short))
        return std::make_unique<Image3dImpl<unsigned short>>();
    if (type == typeid(float))
        return std::make_unique<Image3dImpl<float>>();
    throw std::runtime_error("Pixel type not supported");
}

std::unique_ptr<Image3d> Image3d::CreateImage(const std::type_info& type, const unsigned int* size,
                                              const float* resolution)
{
    std::unique_ptr<Image3d> image = CreateImage(type);
    image->Allocate(size, resolution);
    return image;
}

void Image3d::SetCachableProcessedFilePath(const char* path)
{
    m_cachePath = path ? path : "";
}

bool Image3d::IsOpen() const
{
    return m_open;
}

unsigned int Image3d::GetSize(int axis) const
{
    return m_size[axis];
}

const unsigned int* Image3d::GetSize() const
{
    return m_size;
}

float Image3d::GetResolution(int axis) const
{
    return m_resolution[axis];
}

const float* Image3d::GetResolution() const
{
    return m_resolution;
}

std::uint64_t Image3d::CheckedVoxelCount(const unsigned int* size, std::size_t voxelBytes)
{
    // Three 32-bit counts cannot overflow 64 bits after the first product is bounded.
    const std::uint64_t slice = std::uint64_t(size[0]) * size[1];
    if (slice > MAX_IMAGE_BYTES || slice * size[2] > MAX_IMAGE_BYTES / voxelBytes)
        throw std::runtime_error("Invalid image dimension");
    return slice * size[2];
}

void Image3d::SetGeometry(const unsigned int* size, const float* resolution, std::size_t voxelBytes)
{
    CheckedVoxelCount(size, voxelBytes);
    for (int axis = 0; axis < 3; ++axis)
    {
        m_size[axis] = size[axis];
        m_resolution[axis] = resolution[axis];
    }
    m_sliceVoxels = std::uint64_t(size[0]) * size[1];
}

void Image3d::ClearGeometry()
{
    for (int axis = 0; axis < 3; ++axis)
    {
        m_size[axis] = 0;
        m_resolution[axis] = 0.0f;
    }
    m_sliceVoxels = 0;
}

std::uint64_t Image3d::VoxelCount() const
{
    return m_sliceVoxels * m_size[2];
}

void Image3d::RemovePartialFile(const char* path)
{
    if (!path)
        return;
    boost::system::error_code ec;
    if (boost::filesystem::is_regular_file(boost::filesystem::status(path, ec)))
        OSUtils::DeleteFile(path);
}

bool Image3d::ImportSlices(const char* folder, const unsigned int* size, const float* resolution,
                           TaskProgress* progress)
{
    if (GetPixelType() != typeid(unsigned char))
        throw std::runtime_error("Only 8-bit images are supported for importing slices");
    try
    {
        m_cachePath.clear();
        Allocate(size, resolution);
        const int width = JpegSide(m_size[0]);
        const int height = JpegSide(m_size[1]);
        unsigned char* voxels = static_cast<unsigned char*>(GetBuffer());
        VolumeProgress reporter(progress);
        for (unsigned int z = 0; z < m_size[2]; ++z)
        {
            if (reporter.Update(float(z + 1) / float(m_size[2]) * 100.0f))
                return false;
            const std::string path = (boost::filesystem::path(folder) / SliceFileName(z)).string();
            const File file(OpenFile(path.c_str(), "rb"));
            if (!file)
                throw std::runtime_error(std::string("Error reading atlas slices at ") + folder);
            ReadJPEG(file.get(), voxels + z * m_sliceVoxels, width, height);
        }
        m_open = true;
        return true;
    }
    catch (...)
    {
        m_open = false;
        throw;
    }
}

bool Image3d::ExportSlices(const char* path) const
{
    if (GetPixelType() != typeid(unsigned char))
        throw std::runtime_error("Only 8-bit images are supported for exporting slices");
    if (GetNumVoxels() != VoxelCount())
        return false;
    File file(OpenFile(path, "wb"));
    if (!file)
        return false;
    bool written = false;
    try
    {
        written = WriteSlices(file.get(), static_cast<const unsigned char*>(GetBuffer()), m_size);
    }
    catch (...)
    {
        file.reset();
        RemovePartialFile(path);
        throw;
    }
    // The data is on disk only once the file has been closed without error.
    written = std::fclose(file.release()) == 0 && written;
    if (!written)
        RemovePartialFile(path);
    return written;
}
