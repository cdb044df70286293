#pragma once

#include "atlas/PointSet.h"

class BrainSceneView;

// The sample points of a scene view's atlas space. For now it draws nothing and is never hit.
class PointSetRenderer
{
public:
    explicit PointSetRenderer(BrainSceneView* view);
    virtual ~PointSetRenderer();
    PointSetRenderer(const PointSetRenderer&) = delete;
    PointSetRenderer& operator=(const PointSetRenderer&) = delete;

    // nameBase 0 draws; above 0 draws every point under a selection name.
    virtual void Display(int nameBase);
    // The distance along the ray to the nearest point, the largest float for none.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, const PointSet::Point3d*& point);

private:
    BrainSceneView* m_view;
};
