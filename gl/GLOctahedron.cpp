#include "gl/GLOctahedron.h"

#include "core/GeometryUtils.h"
#include "gl/GLBegin.h"

#include <GL/glew.h>

namespace
{

// The outward unit normal of the face (apex, a, b) of a solid centred at the origin: the cross
// product of (apex - a) and (a - b), turned round where it points inward (the lower faces).
void OutwardNormal(const float* apex, const float* a, const float* b, float* normal)
{
    float u[3], v[3];
    subtractVectors(apex, a, u);
    subtractVectors(a, b, v);
    normalizedCrossProduct(u, v, normal);
    if (vdot(normal, a) < 0.0f)
    {
        for (int k = 0; k < 3; ++k)
            normal[k] = -normal[k];
    }
}

} // namespace

GLOctahedron::GLOctahedron()
    : m_top{0.0f, 0.5f, 0.0f}
    , m_rim{{-0.5f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.5f}, {0.5f, 0.0f, 0.0f}, {0.0f, 0.0f, -0.5f}}
    , m_bottom{0.0f, -0.5f, 0.0f}
{
    for (int k = 0; k < 4; ++k)
    {
        OutwardNormal(m_top, m_rim[k], m_rim[(k + 1) % 4], m_upperNormals[k]);
        OutwardNormal(m_bottom, m_rim[k], m_rim[(k + 1) % 4], m_lowerNormals[k]);
    }
}

void GLOctahedron::Vertex(const float* v, float x, float y, float z, float size) const
{
    glVertex3f(v[0] * size + x, v[1] * size + y, v[2] * size + z);
}

void GLOctahedron::EmitTriangles(float x, float y, float z, float size) const
{
    for (int half = 0; half < 2; ++half)
    {
        const float* apex = half == 0 ? m_top : m_bottom;
        const float(*normals)[3] = half == 0 ? m_upperNormals : m_lowerNormals;
        for (int k = 0; k < 4; ++k)
        {
            glNormal3fv(normals[k]);
            Vertex(apex, x, y, z, size);
            Vertex(m_rim[k], x, y, z, size);
            Vertex(m_rim[(k + 1) % 4], x, y, z, size);
        }
    }
}

void GLOctahedron::EmitFan(const float* apex, const float (*faceNormals)[3], float x, float y, float z,
                           float size) const
{
    GLBegin fan(GL_TRIANGLE_FAN);
    glNormal3fv(faceNormals[0]);
    Vertex(apex, x, y, z, size);
    for (int k = 0; k <= 4; ++k)
    {
        glNormal3fv(faceNormals[k % 4]);
        Vertex(m_rim[k % 4], x, y, z, size);
    }
}

void GLOctahedron::DrawAt(float x, float y, float z, float size, bool inTriangles) const
{
    if (inTriangles)
    {
        EmitTriangles(x, y, z, size);
    }
    else
    {
        EmitFan(m_top, m_upperNormals, x, y, z, size);
        EmitFan(m_bottom, m_lowerNormals, x, y, z, size);
    }
}
