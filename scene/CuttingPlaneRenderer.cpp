#include "scene/CuttingPlaneRenderer.h"

#include <GL/glew.h>

#include "atlas/AtlasSpace.h"
#include "core/GeometryUtils.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModel.h"

namespace
{

Image3dPlane::Plane AsPlane(int axis)
{
    return static_cast<Image3dPlane::Plane>(axis);
}

} // namespace

CuttingPlaneRenderer::CuttingPlaneRenderer(BrainExpressionModel* model, AtlasSpace* space)
    : m_model(model)
    , m_space(space)
{
}

CuttingPlaneRenderer::~CuttingPlaneRenderer() = default;

void CuttingPlaneRenderer::PlaneCorners(int axis, float c, const float* high, const float* low, float corners[4][3])
{
    const int p = axis == 0 ? 1 : 0;
    const int q = axis == 2 ? 1 : 2;
    const float* pValues[4] = {high, low, low, high};
    const float* qValues[4] = {high, high, low, low};
    for (int i = 0; i < 4; ++i)
    {
        corners[i][axis] = c;
        corners[i][p] = pValues[i][p];
        corners[i][q] = qValues[i][q];
    }
}

void CuttingPlaneRenderer::Display(bool pick, unsigned int name)
{
    const auto location = [this](int axis, bool high) { return m_model->GetCuttingPlaneLocation(AsPlane(axis), high); };
    DrawAxialSlice(location(1, true), pick, name + 1);
    DrawAxialSlice(location(1, false), pick, name + 4);
    DrawCoronalSlice(location(0, true), pick, name + 0);
    DrawCoronalSlice(location(0, false), pick, name + 3);
    DrawSagittalSlice(location(2, true), pick, name + 2);
    DrawSagittalSlice(location(2, false), pick, name + 5);
}

void CuttingPlaneRenderer::DrawAxialSlice(float location, bool pick, unsigned int name)
{
    DrawPlane(1, location, pick, name);
}

void CuttingPlaneRenderer::DrawCoronalSlice(float location, bool pick, unsigned int name)
{
    DrawPlane(0, location, pick, name);
}

void CuttingPlaneRenderer::DrawSagittalSlice(float location, bool pick, unsigned int name)
{
    DrawPlane(2, location, pick, name);
}

void CuttingPlaneRenderer::DrawPlane(int axis, float location, bool pick, unsigned int name)
{
    float high[3];
    float low[3];
    for (int a = 0; a < 3; ++a)
    {
        high[a] = m_model->GetCuttingPlaneLocation(AsPlane(a), true);
        low[a] = m_model->GetCuttingPlaneLocation(AsPlane(a), false);
    }
    float corners[4][3];
    PlaneCorners(axis, location, high, low, corners);
    const unsigned int* d = m_space->GetViewDimensions();
    // Outside selection mode the name stack may be empty, where loading a name is an error.
    if (pick)
        glLoadName(name);
    glPushMatrix();
    glScalef(static_cast<float>(d[0]), static_cast<float>(d[1]), static_cast<float>(d[2]));
    if (!pick)
        glColor4fv(CUBE_COLOR);
    glBegin(pick ? GL_QUADS : GL_LINE_LOOP);
    for (const float* corner : corners)
        glVertex3fv(corner);
    glEnd();
    glPopMatrix();
}

float CuttingPlaneRenderer::HitTest(const float* origin, const float* direction, int& index)
{
    index = -1;
    if (!m_model->GetCuttingPlanesVisible())
        return kRayNoHit;
    const unsigned int* d = m_space->GetViewDimensions();
    float high[3];
    float low[3];
    for (int a = 0; a < 3; ++a)
    {
        high[a] = m_model->GetCuttingPlaneLocation(AsPlane(a), true) * static_cast<float>(d[a]);
        low[a] = m_model->GetCuttingPlaneLocation(AsPlane(a), false) * static_cast<float>(d[a]);
    }
    float best = kRayNoHit;
    for (const int candidate : {2, 5, 0, 3, 1, 4})
    {
        const int axis = candidate % 3;
        float corners[4][3];
        PlaneCorners(axis, candidate < 3 ? high[axis] : low[axis], high, low, corners);
        const float distance = rayQuadDistance(origin, direction, corners[0], corners[1], corners[2], corners[3]);
        if (distance < best)
        {
            best = distance;
            index = candidate;
        }
    }
    return best;
}
