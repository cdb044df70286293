#pragma once

#include <string>

namespace atlasgen
{

// Size and detail of a generated atlas.
struct Profile
{
    std::string name;
    int atlasDims[3];
    float atlasResolution; // µm per atlas voxel
    int viewDims[3];
    float viewResolution; // µm per view voxel
    bool sixteenBit;      // annotation voxels of 2 bytes
    bool coarse;          // only the handful of structures of the smallest profile
    bool meshOnAtlasGrid; // meshes from the atlas grid rather than the view grid
    int sectionStride;    // every n-th atlas slice becomes a section image
    int samplesPerSpace;
    int probes;

    // Throws std::invalid_argument for a name other than "micro", "tiny" or "demo".
    static Profile FromName(const std::string& name);
};

} // namespace atlasgen
