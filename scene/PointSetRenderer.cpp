#include "scene/PointSetRenderer.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/GeometryUtils.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLBegin.h"
#include "gl/GLIcosahedron.h"
#include "scene/BrainSceneView.h"

#include <cmath>
#include <memory>

namespace
{

constexpr float kPi = 3.14159265358979f;

} // namespace

PointSetRenderer::PointSetRenderer(BrainSceneView* view)
    : m_view(view)
{
    if (const std::shared_ptr<PointSet> grid = view->GetAtlasSpace()->GetSampleGrid())
        m_pointCount = static_cast<unsigned int>(grid->points.size());
}

PointSetRenderer::~PointSetRenderer() = default;

float PointSetRenderer::Radius(float size, float viewResolution)
{
    return std::cbrt(3.0f * size / (4.0f * kPi)) * 1000.0f / viewResolution;
}

void PointSetRenderer::ForEachShownPoint(const std::function<void(const PointSet::Point3d&, float)>& visit) const
{
    BrainExpressionModel* model = m_view->GetModel();
    AtlasSpace* space = m_view->GetAtlasSpace();
    const AnnotationLabel* layer =
        model->GetAtlas()->GetOntology()->GetAnnotationLabelByDatabaseId(BrainSceneView::POINT_SET_STRUCTURE_ID);
    if (!layer || layer->index == 0 || !model->GetStructureSelector().Intersects(layer->selector))
        return;
    const std::shared_ptr<PointSet> grid = space->GetSampleGrid();
    if (!grid)
        return;
    const unsigned int* d = space->GetViewDimensions();
    const float resolution = space->GetViewResolution()[0];
    float low[3], high[3];
    for (int a = 0; a < 3; ++a)
    {
        low[a] = model->GetCuttingPlaneLocation(static_cast<Image3dPlane::Plane>(a), true) * d[a];
        high[a] = model->GetCuttingPlaneLocation(static_cast<Image3dPlane::Plane>(a), false) * d[a];
    }
    for (const PointSet::Point3d& p : grid->points)
    {
        if (!(p.size > 0.0f) || !p.label)
            continue;
        const float c[3] = {p.x, p.y, p.z};
        bool inside = true;
        for (int a = 0; a < 3; ++a)
            inside = inside && low[a] <= c[a] && c[a] <= high[a];
        if (inside && p.label->selector.Intersects(model->GetExpressionSelector()))
            visit(p, Radius(p.size, resolution));
    }
}

void PointSetRenderer::Display(int nameBase)
{
    static const GLIcosahedron sphere;
    const AnnotationLabel* selected = m_view->GetModel()->GetSelectedStructure();
    std::unique_ptr<GLBegin> batch;
    if (nameBase <= 0)
        batch = std::make_unique<GLBegin>(GL_TRIANGLES);
    ForEachShownPoint([&](const PointSet::Point3d& p, float r) {
        if (p.label == selected)
        {
            glColor4f(0.0f, 0.8f, 0.0f, 1.0f);
            r *= 1.1f;
        }
        else
            glColor4f(p.label->color[0] / 255.0f * 0.7f, p.label->color[1] / 255.0f * 0.7f,
                      p.label->color[2] / 255.0f * 0.7f, 1.0f);
        if (nameBase > 0)
            glLoadName(p.label->index + static_cast<unsigned int>(nameBase));
        sphere.DrawAt(p.x, p.y, p.z, r, nameBase > 0);
    });
}

float PointSetRenderer::HitTest(const float* rayOrigin, const float* rayDirection, const PointSet::Point3d*& point)
{
    point = nullptr;
    float best = kRayNoHit;
    ForEachShownPoint([&](const PointSet::Point3d& p, float r) {
        const float position[3] = {p.x, p.y, p.z};
        if (rayPointDistance(rayOrigin, rayDirection, position) > r)
            return;
        const float dx = rayOrigin[0] - p.x, dy = rayOrigin[1] - p.y, dz = rayOrigin[2] - p.z;
        const float candidate = std::sqrt(dx * dx + dy * dy + dz * dz) - r;
        if (candidate < best)
        {
            best = candidate;
            point = &p;
        }
    });
    return best;
}
