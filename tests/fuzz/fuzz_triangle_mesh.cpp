#include "atlas/GLTriangleMesh.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>

// The input is a .msh file; a loaded mesh is also hit-tested, which walks every strip's indices.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("mesh.msh", data, size);
    try
    {
        GLTriangleMesh mesh;
        mesh.Load(path.c_str(), true);
        const float origin[3] = {0, 0, 1000}, direction[3] = {0, 0, -1}, box[2] = {-1e30f, 1e30f};
        mesh.HitTest(origin, direction, box, box, box);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
