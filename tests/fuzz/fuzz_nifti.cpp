#include "core/Image3d.h"
#include "core/MemoryStreamRef.h"
#include "core/NiftiReader.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    try
    {
        MemoryStreamRef stream(data, static_cast<unsigned int>(size));
        NiftiReader reader(&stream);
        if (reader.GetNumVoxels() > (16u << 20))
            return 0;
        std::unique_ptr<Image3d> image = reader.GetImage();
        std::vector<float> voxels(reader.GetNumVoxels());
        reader.GetImage(voxels.data());
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
