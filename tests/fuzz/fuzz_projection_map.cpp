#include "core/MemoryStreamRef.h"
#include "scene/ProjectionMapRenderer.h"

#include <cstdint>
#include <exception>

namespace
{
// The projection map layer's readers, without the view it draws in, on the generated atlases' view grid.
class ProjectionMapReader : public ProjectionMapRenderer
{
public:
    ProjectionMapReader()
        : ProjectionMapRenderer(RESOLUTION)
    {
    }
    using ProjectionMapRenderer::ReadSites;

private:
    static constexpr float RESOLUTION[3] = {1000.0f, 1000.0f, 1000.0f};
};

// Picks the lines as the scene's picking code does, along the x axis through the grid's middle.
void HitTest(ProjectionMapReader& reader)
{
    const float origin[3] = {-100.0f, 4.0f, 5.0f};
    const float direction[3] = {1.0f, 0.0f, 0.0f};
    const ProjectionMapRenderer::InjectionStreamLine* line = nullptr;
    reader.HitTest(origin, direction, line);
}
} // namespace

// Byte 0 picks the reader: even, the server's JSON answer to a projection map request (LoadData); odd,
// an afferent seed experiment's file of injection sites and their lines (ReadSites). The rest is the
// input. Seeds: the demo server's projection map answers, damaged ones included, and the generated
// atlases' afferent files.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 0x7FFFFFFF)
        return 0;
    ProjectionMapReader reader;
    try
    {
        if (data[0] % 2 == 0)
        {
            reader.LoadData(reinterpret_cast<const char*>(data + 1), static_cast<unsigned int>(size - 1));
            HitTest(reader);
        }
        else
        {
            MemoryStreamRef stream(data + 1, static_cast<unsigned int>(size - 1));
            reader.ReadSites(stream);
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
