#pragma once

#include "AtlasContext.h"
#include "SpaceFiles.h"

#include <array>
#include <string>
#include <vector>

namespace atlasgen
{

// The files that the scene's probe layers read from a space folder rather than from the server: the
// tract volumes of the tractography atlas ("ProbTrack"), the afferent seed experiments of the mouse
// connectivity atlases ("Afferents") and the transform chain of the rat atlas ("Transforms/*.meta").
class LocalData
{
public:
    // The tract grid: 128 x 128 x 68 voxels of 1 mm spanning the view box.
    static constexpr int TRACT_GRID[3] = {128, 128, 68};
    static constexpr int MAX_TRACT_SEEDS = 8;
    static constexpr unsigned int DEFAULT_AFFERENT = 100140756;

    LocalData(const AtlasContext& context, const std::vector<SpaceFiles::Sample>& samples);

    void Write(const std::string& folder) const;

    // Tract seed voxels inside the brain, on a sparse lattice.
    std::vector<std::array<int, 3>> TractSeeds() const;

private:
    void WriteTracts(const std::string& folder) const;
    void WriteTract(const std::string& path, const std::array<int, 3>& seed, int number) const;
    void WriteAfferents(const std::string& folder) const;
    void WriteAfferent(const std::string& path, unsigned int experiment) const;
    void WriteTransforms(const std::string& folder) const;
    // Centre of a structure's subtree in fractions of the brain box; false when it has no voxels.
    bool StructureCentre(int structure, double* centre) const;
    bool Inside(const double* fraction) const;

    const AtlasContext& c_;
    const std::vector<SpaceFiles::Sample>& samples_;
};

} // namespace atlasgen
