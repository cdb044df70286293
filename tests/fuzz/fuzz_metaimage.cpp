#include "core/Image3d.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <sstream>
#include <string>

namespace
{
// A header may rightly declare a volume of gigabytes, which LoadHeader then allocates; such inputs
// only exhaust the fuzzer's memory, so they are left out.
bool DeclaresHugeVolume(const std::string& header)
{
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);)
    {
        std::istringstream tokens(line);
        std::string key, equals;
        if (!(tokens >> key >> equals) || key != "DimSize")
            continue;
        unsigned long long voxels = 1;
        for (int axis = 0; axis < 3; ++axis)
        {
            std::string token;
            if (!(tokens >> token))
                break;
            voxels *= std::min<unsigned long long>(std::strtoull(token.c_str(), nullptr, 10), 1ull << 32);
            if (voxels > (4ull << 20))
                return true;
        }
    }
    return false;
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

    if (DeclaresHugeVolume(header))
        return 0;
    try
    {
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
