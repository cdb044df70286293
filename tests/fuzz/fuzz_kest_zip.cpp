#include "scene/KestRenderer.h"

#include <cstdint>
#include <exception>

namespace
{
// The correlation layer's reading of a reply, without the view it draws in.
class KestReader : public KestRenderer
{
public:
    explicit KestReader(const unsigned int* grid)
    {
        for (int axis = 0; axis < 3; ++axis)
            m_gridSize[axis] = grid[axis];
        SizeVolumeBuffer();
    }
    using KestRenderer::UnpackVolume;
};
} // namespace

// A correlation reply as the layer unpacks it: the first entry whose name holds ".raw", of exactly the
// layer's grid of floats, read into its buffer. Byte 0 picks the grid: the generated atlases' view grid,
// the rat atlas's correlation grid or one of 2 x 2 x 2 voxels; the rest is the zip. Seeds: the demo
// server's correlation zips and small ones of each grid.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const unsigned int grids[3][3] = {{12, 8, 10}, {67, 41, 58}, {2, 2, 2}};
    KestReader reader(grids[data[0] % 3]);
    try
    {
        reader.UnpackVolume(data + 1, size - 1);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
