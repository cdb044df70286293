#include "atlas/Colormap.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("colormap.txt", data, size);
    try
    {
        Colormap colormap;
        colormap.Load(path.c_str());
        colormap.CalculateMeanValue();
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
