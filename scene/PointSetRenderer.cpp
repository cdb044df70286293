#include "scene/PointSetRenderer.h"

#include "core/GeometryUtils.h"

PointSetRenderer::PointSetRenderer(BrainSceneView* view)
    : m_view(view)
{
}

PointSetRenderer::~PointSetRenderer() = default;

void PointSetRenderer::Display(int) {}

float PointSetRenderer::HitTest(const float*, const float*, const PointSet::Point3d*& point)
{
    point = nullptr;
    return kRayNoHit;
}
