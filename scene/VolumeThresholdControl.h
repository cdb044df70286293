#pragma once

#include "scene/ThresholdControl1D.h"

// The window of the volume rendering (without a colormap) or of the correlation volume's maximum
// intensity projection (with one).
class VolumeThresholdControl : public ThresholdControl1D
{
public:
    VolumeThresholdControl(BrainSceneRenderer* renderer, const Colormap* colormap);

    void UpdateModel(float low, float high, bool notify) override;
    Range GetModelWindow() override;
};
