#pragma once

#include "LabelVolume.h"
#include "Mesh.h"

#include <vector>

namespace atlasgen
{

// Extracts the boundary of a set of structures from a label volume with surface nets: one vertex per
// boundary cell, one quad per boundary face, then a light smoothing that keeps every vertex in its
// cell. Positions are in voxel units of the volume (voxel centres at i + 0.5); normals come from the
// gradient of the smoothed mask and point outwards.
class SurfaceNets
{
public:
    // inside[s] tells whether structure s belongs to the set.
    static Mesh Extract(const LabelVolume& volume, const std::vector<char>& inside);
};

} // namespace atlasgen
