#pragma once

#include "BrainModel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace atlasgen
{

// The brain sampled on a voxel grid: the model's structure index per voxel (-1 outside the brain),
// x fastest, then y, then z. Voxel i covers [i, i + 1) times the spacing, so its centre lies at
// (i + 0.5) times the spacing.
class LabelVolume
{
public:
    // extent: the size of the brain's bounding box in µm, which the model's coordinates are relative to.
    LabelVolume(const BrainModel& model, const int dims[3], float resolution, const double extent[3]);

    int Dim(int axis) const { return dims_[axis]; }
    float Resolution() const { return resolution_; }
    std::size_t Count() const { return labels_.size(); }
    std::size_t Index(int x, int y, int z) const { return (static_cast<std::size_t>(z) * dims_[1] + y) * dims_[0] + x; }
    bool Contains(int x, int y, int z) const
    {
        return x >= 0 && y >= 0 && z >= 0 && x < dims_[0] && y < dims_[1] && z < dims_[2];
    }
    // -1 outside the brain and outside the grid.
    int At(int x, int y, int z) const { return Contains(x, y, z) ? labels_[Index(x, y, z)] : -1; }
    int AtIndex(std::size_t i) const { return labels_[i]; }

private:
    int dims_[3];
    float resolution_;
    std::vector<std::int16_t> labels_;
};

} // namespace atlasgen
