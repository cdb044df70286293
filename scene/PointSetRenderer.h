#pragma once

#include "atlas/PointSet.h"

#include <functional>

class BrainSceneView;

// The sample points of a scene view's atlas space (injection sites and the like) as spheres whose volume
// is the point's size in cubic millimetres, coloured by structure, and their ray pick. Shown only while
// the point-set pseudo-structure is selected. Main thread only.
class PointSetRenderer
{
public:
    explicit PointSetRenderer(BrainSceneView* view);
    virtual ~PointSetRenderer();
    PointSetRenderer(const PointSetRenderer&) = delete;
    PointSetRenderer& operator=(const PointSetRenderer&) = delete;

    // nameBase 0 draws; above 0 draws every point under the selection name structure index + nameBase.
    virtual void Display(int nameBase);
    // The distance along the ray to the nearest point's sphere, the largest float for none.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, const PointSet::Point3d*& point);

    unsigned int GetPointCount() const { return m_pointCount; }
    // A point's sphere radius in view-grid units.
    static float Radius(float size, float viewResolution);

private:
    // Calls visit for each point shown now, with its radius.
    void ForEachShownPoint(const std::function<void(const PointSet::Point3d&, float)>& visit) const;

    BrainSceneView* m_view;
    unsigned int m_pointCount = 0;
};
