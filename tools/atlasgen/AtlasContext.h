#pragma once

#include "AtlasIdentity.h"
#include "BrainModel.h"
#include "Profile.h"

#include <array>
#include <string>

namespace atlasgen
{

// Everything the writers of one atlas share: what to write, at which size, for which server.
struct AtlasContext
{
    AtlasContext(const Profile& profile, unsigned int id, const std::string& baseUrl);

    Profile profile;
    AtlasIdentity identity;
    BrainModel model;
    std::string baseUrl;
    double extent[3];     // brain bounding box in µm: the atlas grid's size
    int origin[3];        // bregma on the atlas grid
    float meshResolution; // µm per mesh-file unit
    // Each space's transform (column-major 4x4) from its voxel box to the scene: the identity, or with
    // tiltedSpaces a turn about an oblique axis and a shift of a tenth of the view box, so that the
    // viewer's use of it shows.
    bool tiltedSpaces = false;

    std::array<float, 16> SpaceTransform() const;

    // View voxels to millimetres from bregma (column-major 4x4), the space's MNI transform.
    std::array<float, 16> MniTransform() const;
    float ViewBregma(int axis) const { return origin[axis] * profile.atlasResolution / profile.viewResolution; }
};

// Shortest decimal text that reads back as the same float.
std::string Number(double value);

} // namespace atlasgen
