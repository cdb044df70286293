#include "atlas/GLLines.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>

// The input is a .ls file; a loaded line set is also moved, which walks every point.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("lines.ls", data, size);
    try
    {
        GLLines lines(nullptr);
        lines.Load(path.c_str());
        const float scale[3] = {2, 2, 2}, offset[3] = {1, 1, 1};
        lines.Transform(scale, offset);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
