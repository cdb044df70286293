#pragma once

#include "expression/ProjectionStreamLines.h"
#include "scene/KestRenderer.h"

#include <vector>

// The projection map downloaded for the probe's position.
class ProjectionMapRenderer : public KestRenderer
{
public:
    // One projection experiment: its path in view-grid units from the first to the last point.
    struct InjectionStreamLine
    {
        std::vector<ProjectionStreamLines::Point3d> points;
        unsigned int id = 0;
        float density = 0.0f;
    };

    explicit ProjectionMapRenderer(BrainSceneView* view);

    // The nearest line end hit by the unit ray, or the largest float and null.
    virtual float HitTest(const float* origin, const float* direction, const InjectionStreamLine*& line);
    virtual void SetAfferentSeedExperiment(unsigned int experimentId);
};
