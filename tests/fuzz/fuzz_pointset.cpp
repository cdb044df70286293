#include "atlas/PointSet.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>

// Byte 0 picks the text or the binary reader; the rest is the point file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string path = FuzzTempFile::Write((data[0] & 1) ? "points.csv" : "points.bin", data + 1, size - 1);
    try
    {
        PointSet points;
        points.Load(path.c_str(), nullptr);
        points.GetSamplePointMap();
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
