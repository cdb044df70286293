#pragma once

#include "scene/KestRenderer.h"

// The projection map downloaded for the probe's position.
class ProjectionMapRenderer : public KestRenderer
{
public:
    explicit ProjectionMapRenderer(BrainSceneView* view);
};
