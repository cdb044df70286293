#pragma once

#include "scene/KestRenderer.h"

// The tract probability layer of the tractography atlas.
class ProbTrackRenderer : public KestRenderer
{
public:
    explicit ProbTrackRenderer(BrainSceneView* view);
};
