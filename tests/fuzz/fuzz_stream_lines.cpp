#include "core/MemoryStreamRef.h"
#include "expression/ProjectionStreamLines.h"

#include "tests/fuzz/FuzzMemoryCap.h"

#include <cstdint>
#include <exception>

// A stream-line file declares its line and point counts before the points: each count must be held by
// the bytes behind it before it sizes anything.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    AddMemoryCap(argc, argv, 1536);
    return 0;
}

// The bytes of a "streamlines.sl". Seeds: the demo server's projection data sets' stream lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    ProjectionStreamLines lines;
    try
    {
        MemoryStreamRef stream(data, static_cast<unsigned int>(size));
        lines.Load(stream);
    }
    catch (const std::exception&)
    {
    }
    // What was read before a failure is kept and drawn: it must be whole.
    const float scale[3] = {0.5f, 2.0f, 1.0f}, offset[3] = {0.0f, 0.0f, 0.0f};
    lines.Transform(scale, offset);
    for (ProjectionStreamLines::Line& line : lines.GetLineList())
        ProjectionStreamLines::ComputeNormals(line);
    ProjectionStreamLines::DrawnLineIndices(lines.GetLineList().size());
    return 0;
}
