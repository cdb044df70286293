#include "scene/AtlasCube.h"

#include <GL/glew.h>

#include "atlas/AtlasSpace.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModel.h"

AtlasCube::AtlasCube(const BrainExpressionModel* model, const AtlasSpace* space, const float* textureScale)
    : m_model(model)
    , m_space(space)
    , m_textureScale(textureScale)
{
    const unsigned int* d = space->GetViewDimensions();
    for (int a = 0; a < 3; ++a)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(a);
        m_dimensions[a] = static_cast<float>(d[a]);
        m_high[a] = model->GetCuttingPlaneLocation(plane, true) * m_dimensions[a];
        m_low[a] = model->GetCuttingPlaneLocation(plane, false) * m_dimensions[a];
    }
}

void AtlasCube::DrawPlaneVertex(float x, float y, float z) const
{
    const float colour[3] = {x / m_dimensions[0], y / m_dimensions[1], z / m_dimensions[2]};
    glColor3fv(colour);
    glTexCoord3f(colour[0] * m_textureScale[0], colour[1] * m_textureScale[1], colour[2] * m_textureScale[2]);
    glVertex3f(x, y, z);
}

void AtlasCube::DrawVertex(float u, float v, float w) const
{
    DrawPlaneVertex(m_high[0] + (m_low[0] - m_high[0]) * u, m_high[1] + (m_low[1] - m_high[1]) * v,
                    m_high[2] + (m_low[2] - m_high[2]) * w);
}

void AtlasCube::Draw() const
{
    struct Face
    {
        float normal[3];
        float corners[4][3];
    };
    static const Face faces[6] = {
        {{0, 0, 1}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}},
        {{0, 0, -1}, {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}},
        {{0, -1, 0}, {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}},
        {{0, 1, 0}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}},
        {{-1, 0, 0}, {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}},
        {{1, 0, 0}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}},
    };
    glBegin(GL_QUADS);
    for (const Face& face : faces)
    {
        glNormal3fv(face.normal);
        for (const auto& corner : face.corners)
            DrawVertex(corner[0], corner[1], corner[2]);
    }
    glEnd();
}

void AtlasCube::DrawPlanes(const BrainExpressionModel* model) const
{
    const float* d = m_dimensions;
    const auto visible = [model](int plane) {
        return model->GetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(plane));
    };
    const auto location = [model, d](int plane) {
        return d[plane] * model->GetMPRSliceLocation(static_cast<Image3dPlane::Plane>(plane));
    };
    glBegin(GL_QUADS);
    if (visible(2))
    {
        const float z = location(2);
        DrawPlaneVertex(0, 0, z);
        DrawPlaneVertex(d[0], 0, z);
        DrawPlaneVertex(d[0], d[1], z);
        DrawPlaneVertex(0, d[1], z);
    }
    if (visible(1))
    {
        const float y = location(1);
        DrawPlaneVertex(0, y, 0);
        DrawPlaneVertex(d[0], y, 0);
        DrawPlaneVertex(d[0], y, d[2]);
        DrawPlaneVertex(0, y, d[2]);
    }
    if (visible(0))
    {
        const float x = location(0);
        DrawPlaneVertex(x, 0, 0);
        DrawPlaneVertex(x, d[1], 0);
        DrawPlaneVertex(x, d[1], d[2]);
        DrawPlaneVertex(x, 0, d[2]);
    }
    glEnd();
}
