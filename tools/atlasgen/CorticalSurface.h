#pragma once

#include "AtlasContext.h"
#include "Mesh.h"
#include "SpaceFiles.h"

#include <array>
#include <vector>

namespace atlasgen
{

// An inflated cortical surface of one hemisphere for the microarray atlas: a smooth closed surface
// beside the brain whose vertices carry the cortical area below them, a sulcal shading and the ids of
// the cortical samples nearest to them. Positions are view voxels, as the surfaces are drawn untransformed.
class CorticalSurface
{
public:
    struct Hit
    {
        unsigned int sampleId;
        std::array<float, 3> position;
    };

    // side: +1 right hemisphere (z above the mid-plane), -1 left. Appends the samples placed on it.
    static Mesh Build(const AtlasContext& context, int side, const std::vector<SpaceFiles::Sample>& samples,
                      std::vector<Hit>& hits);
};

} // namespace atlasgen
