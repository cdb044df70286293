#include "AtlasWriter.h"

#include "LabelVolume.h"
#include "RootFiles.h"
#include "SpaceFiles.h"
#include "SurfaceNets.h"

#include <filesystem>

namespace atlasgen
{

void AtlasWriter::Write(const std::string& folder) const
{
    const Profile& p = c_.profile;
    const LabelVolume atlas(c_.model, p.atlasDims, p.atlasResolution, c_.extent);
    const LabelVolume view(c_.model, p.viewDims, p.viewResolution, c_.extent);
    const LabelVolume& meshGrid = p.meshOnAtlasGrid ? atlas : view;

    // One surface per structure's subtree; the pseudo-structures and the fibre bundle drawn as lines
    // have none.
    const auto& list = c_.model.Structures();
    std::vector<StructureMesh> meshes;
    for (std::size_t s = 0; s < list.size(); ++s)
    {
        if (list[s].pseudo || list[s].abbreviation == "ac")
            continue;
        std::vector<char> inside(list.size());
        for (std::size_t t = 0; t < list.size(); ++t)
            inside[t] = c_.model.InSubtree(static_cast<int>(t), static_cast<int>(s));
        Mesh mesh = SurfaceNets::Extract(meshGrid, inside);
        if (!mesh.Empty())
            meshes.push_back({static_cast<int>(s), std::move(mesh)});
    }

    RootFiles(c_).Write(folder);
    for (std::size_t s = 0; s < c_.identity.spaces.size(); ++s)
        SpaceFiles(c_, static_cast<int>(s), atlas, view, meshes)
            .Write(folder + "/Spaces/" + c_.identity.spaces[s].name);
}

} // namespace atlasgen
