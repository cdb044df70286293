#include "scene/ProbeMouseTool.h"

#include <GL/glew.h>

#include "atlas/AtlasSpace.h"
#include "core/GeometryUtils.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModel.h"
#include "gl/DevicePixels.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"

#include <algorithm>
#include <cmath>

ProbeMouseTool::ProbeMouseTool(BrainSceneView* view)
    : m_view(view)
{
    makeIdentity(m_inverse);
}

ProbeMouseTool::~ProbeMouseTool() = default;

void ProbeMouseTool::Marker(float position[3], float& radius) const
{
    const AtlasSpace* space = m_view->GetAtlasSpace();
    const unsigned int* d = space->GetViewDimensions();
    const float* probe = m_view->GetModel()->GetProbeLocation();
    for (int a = 0; a < 3; ++a)
        position[a] = static_cast<float>(d[a]) * probe[a];
    radius = 2.5f * (space->GetAtlasResolution()[0] / space->GetViewResolution()[0]);
}

std::vector<int> ProbeMouseTool::TickPositions(float spacing, float resolution, float bregma, float d)
{
    std::vector<int> ticks;
    const float step = spacing / resolution;
    if (!(step > 0.0f) || !std::isfinite(step))
        return ticks;
    const float first = bregma - static_cast<float>(static_cast<int>(bregma / step)) * step;
    // A view resolution coarser than the spacing gives steps below one voxel, which would never advance.
    for (int t = static_cast<int>(first); static_cast<float>(t) < d;
         t = std::max(t + 1, static_cast<int>(static_cast<float>(t) + step)))
        ticks.push_back(t);
    return ticks;
}

void ProbeMouseTool::DrawAxes(float radius, const float* position) const
{
    const AtlasSpace* space = m_view->GetAtlasSpace();
    const unsigned int* d = space->GetViewDimensions();
    const float* resolution = space->GetViewResolution();
    const float* bregma = space->GetViewBregma();
    const float spacing = resolution[0] < 1000.0f ? 1000.0f : 10000.0f;
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT);
    glDepthMask(GL_TRUE);
    glPushMatrix();
    glColor4f(0.5f, 0.6f, 0.5f, 1.0f);
    glBegin(GL_LINES);
    for (int a = 0; a < 3; ++a)
    {
        float from[3] = {position[0], position[1], position[2]};
        float to[3] = {position[0], position[1], position[2]};
        from[a] = 0.0f;
        to[a] = static_cast<float>(d[a]);
        glVertex3fv(from);
        glVertex3fv(to);
        const float b = a == 0 ? static_cast<float>(static_cast<int>(bregma[0])) : bregma[a];
        for (const int t : TickPositions(spacing, resolution[a], b, static_cast<float>(d[a])))
            for (int other = 0; other < 3; ++other)
            {
                if (other == a)
                    continue;
                float p[3] = {position[0], position[1], position[2]};
                p[a] = static_cast<float>(t);
                p[other] = position[other] - radius;
                glVertex3fv(p);
                p[other] = position[other] + radius;
                glVertex3fv(p);
            }
    }
    glEnd();
    glPopMatrix();
    glPopAttrib();
}

void ProbeMouseTool::Display(bool pick, unsigned int name)
{
    float position[3];
    float radius = 0.0f;
    Marker(position, radius);
    if (m_canDrag)
    {
        if (m_dragging)
            glColor4f(0.35f, 0.85f, 0.35f, 1.0f);
        else
            glColor4f(0.85f, 0.35f, 0.35f, 1.0f);
        if (pick)
            glLoadName(name);
        m_marker.DrawAt(position[0], position[1], position[2], radius, true);
        if (pick)
            glLoadName(0);
    }
    DrawAxes(radius, position);
}

float ProbeMouseTool::HitTest(const float* origin, const float* direction)
{
    float position[3];
    float radius = 0.0f;
    Marker(position, radius);
    const BrainExpressionModel* model = m_view->GetModel();
    const unsigned int* d = m_view->GetAtlasSpace()->GetViewDimensions();
    for (int a = 0; a < 3; ++a)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(a);
        const float low = static_cast<float>(d[a]) * model->GetCuttingPlaneLocation(plane, true);
        const float high = static_cast<float>(d[a]) * model->GetCuttingPlaneLocation(plane, false);
        if (position[a] < low || position[a] > high)
            return kRayNoHit;
    }
    if (rayPointDistance(origin, direction, position) > radius)
        return kRayNoHit;
    double squared = 0.0;
    for (int a = 0; a < 3; ++a)
    {
        const double delta = static_cast<double>(origin[a]) - position[a];
        squared += delta * delta;
    }
    return static_cast<float>(std::sqrt(squared) - radius);
}

bool ProbeMouseTool::Unproject(int x, int y, float point[3]) const
{
    const int height = m_view->GetRenderer()->GetHeight();
    return unprojectPoint(static_cast<float>(x), static_cast<float>(height - y - 1), 0.5f, m_inverse, m_viewport,
                          &point[0], &point[1], &point[2]);
}

bool ProbeMouseTool::OnButtonDown(int, int x, int y, int, unsigned int)
{
    if (!m_canDrag)
        return false;
    m_dragging = true;
    float modelView[16];
    float projection[16];
    DevicePixels(m_view->GetRenderer()->GetContext()).GetViewport(m_viewport);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    float combined[16];
    multiplyMatrices(modelView, projection, combined);
    if (!invertMatrix(combined, m_inverse))
        makeIdentity(m_inverse);
    Unproject(x, y, m_lastPoint);
    return true;
}

void ProbeMouseTool::MoveMouse(int x, int y, int, unsigned int, bool notify)
{
    float p[3];
    if (!Unproject(x, y, p))
        return;
    BrainExpressionModel* model = m_view->GetModel();
    const unsigned int* d = m_view->GetAtlasSpace()->GetViewDimensions();
    const float* probe = model->GetProbeLocation();
    float moved[3];
    for (int a = 0; a < 3; ++a)
        moved[a] = std::clamp((p[a] - m_lastPoint[a]) / static_cast<float>(d[a]) + probe[a], 0.0f, 1.0f);
    model->SetProbeLocation(moved, m_view->GetAtlasSpace(), notify);
    std::copy(p, p + 3, m_lastPoint);
}

bool ProbeMouseTool::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    MoveMouse(x, y, flags, time, true);
    return true;
}

bool ProbeMouseTool::OnButtonUp(int, int x, int y, int flags, unsigned int time)
{
    m_dragging = false;
    MoveMouse(x, y, flags, time, true);
    return true;
}
