#include "Mesh.h"

namespace atlasgen
{

std::uint32_t Mesh::AddVertex(const std::array<float, 3>& position, const std::array<float, 3>& normal, int structure)
{
    positions.push_back(position);
    normals.push_back(normal);
    structures.push_back(structure);
    samples.push_back(0);
    shades.push_back(1.0f);
    return static_cast<std::uint32_t>(positions.size() - 1);
}

void Mesh::AddBox(const std::array<float, 3>& centre, const std::array<float, 3>& halfSize, int structure)
{
    for (int axis = 0; axis < 3; ++axis)
    {
        const int b = (axis + 1) % 3, c = (axis + 2) % 3;
        for (int side = -1; side <= 1; side += 2)
        {
            std::array<float, 3> normal{0.0f, 0.0f, 0.0f};
            normal[axis] = static_cast<float>(side);
            // (b, c) corners counter-clockwise seen from +axis; reversed for the -axis face.
            const int cb[4] = {-1, 1, 1, -1}, cc[4] = {-1, -1, 1, 1};
            std::array<std::uint32_t, 4> quad{};
            for (int k = 0; k < 4; ++k)
            {
                const int j = side > 0 ? k : 3 - k;
                std::array<float, 3> p = centre;
                p[axis] += side * halfSize[axis];
                p[b] += cb[j] * halfSize[b];
                p[c] += cc[j] * halfSize[c];
                quad[k] = AddVertex(p, normal, structure);
            }
            quads.push_back(quad);
        }
    }
}

} // namespace atlasgen
