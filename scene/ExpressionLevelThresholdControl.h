#pragma once

#include "scene/ThresholdControl1D.h"

// The expression window of the microarray atlas over its colour bar.
class ExpressionLevelThresholdControl : public ThresholdControl1D
{
public:
    ExpressionLevelThresholdControl(BrainSceneRenderer* renderer, const Range& range, const Colormap* colormap);

    void UpdateModel(float low, float high, bool notify) override;
    Range GetModelWindow() override;
};
