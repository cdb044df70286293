#include "scene/AtlasCube.h"

#include <GL/glew.h>

#include "atlas/AtlasSpace.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLBegin.h"

namespace
{

struct Face
{
    float normal[3];
    float corners[4][3];
};

const Face kFaces[6] = {
    {{0, 0, 1}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}},
    {{0, 0, -1}, {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}},
    {{0, -1, 0}, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}},
    {{0, 1, 0}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}},
    {{-1, 0, 0}, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}},
    {{1, 0, 0}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}},
};

} // namespace

AtlasCube::AtlasCube(const BrainExpressionModel* model, const AtlasSpace* space, const float* textureScale)
    : m_model(model)
    , m_space(space)
    , m_textureScale(textureScale)
{
    const unsigned int* dimensions = space->GetViewDimensions();
    for (int axis = 0; axis < 3; ++axis)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(axis);
        m_dimensions[axis] = static_cast<float>(dimensions[axis]);
        m_high[axis] = model->GetCuttingPlaneLocation(plane, true) * m_dimensions[axis];
        m_low[axis] = model->GetCuttingPlaneLocation(plane, false) * m_dimensions[axis];
    }
}

void AtlasCube::DrawPlaneVertex(float x, float y, float z)
{
    const float point[3] = {x, y, z};
    float colour[3];
    float texture[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        colour[axis] = m_dimensions[axis] > 0.0f ? point[axis] / m_dimensions[axis] : 0.0f;
        texture[axis] = colour[axis] * m_textureScale[axis];
    }
    glColor3fv(colour);
    glTexCoord3fv(texture);
    glVertex3fv(point);
}

void AtlasCube::DrawVertex(float u, float v, float w)
{
    DrawPlaneVertex(m_high[0] + (m_low[0] - m_high[0]) * u, m_high[1] + (m_low[1] - m_high[1]) * v,
                    m_high[2] + (m_low[2] - m_high[2]) * w);
}

void AtlasCube::Draw()
{
    GLBegin quads(GL_QUADS);
    for (const Face& face : kFaces)
    {
        glNormal3fv(face.normal);
        for (const auto& corner : face.corners)
            DrawVertex(corner[0], corner[1], corner[2]);
    }
}

void AtlasCube::DrawPlanes(const BrainExpressionModel* model)
{
    const float* d = m_dimensions;
    GLBegin quads(GL_QUADS);
    if (model->GetMPRPlaneVisible(Image3dPlane::Plane(2)))
    {
        const float z = d[2] * model->GetMPRSliceLocation(Image3dPlane::Plane(2));
        DrawPlaneVertex(0, 0, z);
        DrawPlaneVertex(d[0], 0, z);
        DrawPlaneVertex(d[0], d[1], z);
        DrawPlaneVertex(0, d[1], z);
    }
    if (model->GetMPRPlaneVisible(Image3dPlane::Plane(1)))
    {
        const float y = d[1] * model->GetMPRSliceLocation(Image3dPlane::Plane(1));
        DrawPlaneVertex(0, y, 0);
        DrawPlaneVertex(d[0], y, 0);
        DrawPlaneVertex(d[0], y, d[2]);
        DrawPlaneVertex(0, y, d[2]);
    }
    if (model->GetMPRPlaneVisible(Image3dPlane::Plane(0)))
    {
        const float x = d[0] * model->GetMPRSliceLocation(Image3dPlane::Plane(0));
        DrawPlaneVertex(x, 0, 0);
        DrawPlaneVertex(x, d[1], 0);
        DrawPlaneVertex(x, d[1], d[2]);
        DrawPlaneVertex(x, 0, d[2]);
    }
}
