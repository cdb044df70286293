#pragma once

#include "scene/KestRenderer.h"

#include <string>

// The tract-probability layer of the tractography atlas: when the probe moves to another voxel of its
// fixed 128 x 128 x 68 grid it reads that seed voxel's streamline counts from the space's "ProbTrack"
// folder ("<x>/scm_<x>_<y>_<z>.nii.gz") and draws them through the volume renderer. A seed without a
// file, or a file that does not read, leaves the drawn volume as it is.
class ProbTrackRenderer : public KestRenderer
{
public:
    static constexpr unsigned int GRID_SIZE[3] = {128, 128, 68};
    static constexpr float GRID_RESOLUTION = 1000.0f;

    explicit ProbTrackRenderer(BrainSceneView* view);

    void PositionChanged(const float* position) override;
    bool FindLocation(const float* position, unsigned int* location) override;
    void LoadVolume() override;

    // The tract file of a seed voxel (indices on the layer's grid).
    std::string TractFile(unsigned int x, unsigned int y, unsigned int z) const;

private:
    void ReadVolume(const std::string& path);
};
