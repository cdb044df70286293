#include "core/Image3d.h"

#include "tests/fuzz/FuzzMemoryCap.h"
#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

namespace
{
std::size_t PixelSize(std::uint8_t selector)
{
    static const std::size_t sizes[] = {1, 2, 4};
    return sizes[selector % 3];
}

const std::type_info& PixelType(std::uint8_t selector)
{
    switch (selector % 3)
    {
    case 0:
        return typeid(unsigned char);
    case 1:
        return typeid(unsigned short);
    default:
        return typeid(float);
    }
}
}

// A header declares sizes before its data is seen; the readers that hand headers in bound them by the
// bytes they have, as this harness does. Run under a cap, a header that allocates far beyond its data
// shows up as a finding.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1024);
    return 0;
}

// Byte 0 picks the voxel type and the path; then a MetaImage header, a NUL, and its data file bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t selector = data[0];
    const char* text = reinterpret_cast<const char*>(data + 1);
    const std::size_t textSize = size - 1;
    const void* nul = std::memchr(text, 0, textSize);
    const std::size_t headerSize = nul ? static_cast<const char*>(nul) - text : textSize;
    const std::string header(text, headerSize);
    const std::size_t dataOffset = nul ? headerSize + 1 : textSize;
    const std::uint8_t* voxels = data + 1 + dataOffset;
    const std::size_t voxelBytes = textSize - dataOffset;

    if (selector & 0x80)
    {
        // A raw voxel file of a small size given by the header bytes.
        if (header.size() < 3)
            return 0;
        const unsigned int dims[3] = {std::uint8_t(header[0]) % 32u + 1u, std::uint8_t(header[1]) % 32u + 1u,
                                      std::uint8_t(header[2]) % 32u + 1u};
        const float resolution[3] = {1.0f, 2.0f, 3.0f};
        const std::string path = FuzzTempFile::Write("volume.raw", voxels, voxelBytes);
        try
        {
            std::unique_ptr<Image3d> image = Image3d::CreateImage(PixelType(selector));
            image->Load(path.c_str(), dims, resolution, (selector & 0x40) != 0, nullptr);
        }
        catch (const std::exception&)
        {
        }
        return 0;
    }

    try
    {
        // As every reader of a header does: the voxels it declares must be the bytes at hand before the
        // image is allocated.
        if (Image3d::HeaderVoxelCount(header.c_str()) * PixelSize(selector) != voxelBytes)
            return 0;
        std::unique_ptr<Image3d> image = Image3d::CreateImage(PixelType(selector));
        image->LoadHeader(header.c_str());
        image->LoadHeaderData(voxels, voxelBytes);
        image->GetValue(1.0f, 2.0f, 3.0f);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
