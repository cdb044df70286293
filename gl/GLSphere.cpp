#include "gl/GLSphere.h"

#include "gl/GLBegin.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace
{

const int kMaxDivisions = 239;
const float kPi = 3.1415927f;
const float kTwoPi = 6.2831855f;

GLSphere::Point3d MakePoint(float x, float y, float z)
{
    return GLSphere::Point3d{{x, y, z}, {x, y, z}};
}

void Emit(const GLSphere::Point3d& p, float x, float y, float z, float radius)
{
    glNormal3fv(p.normal);
    glVertex3f(p.position[0] * radius + x, p.position[1] * radius + y, p.position[2] * radius + z);
}

void EmitPosition(const GLSphere::Point3d& p, float x, float y, float z, float radius)
{
    glVertex3f(p.position[0] * radius + x, p.position[1] * radius + y, p.position[2] * radius + z);
}

} // namespace

GLSphere::GLSphere(int slices, int stacks)
{
    slices = std::min(slices, kMaxDivisions);
    stacks = std::min(stacks, kMaxDivisions);
    if (slices < 2 || stacks < 1)
        throw std::runtime_error("Sphere: number of stacks and/or slices invalid.");

    std::vector<float> sinTheta(slices + 1), cosTheta(slices + 1);
    for (int i = 0; i <= slices; ++i)
    {
        const float angle = kTwoPi * static_cast<float>(i) / static_cast<float>(slices);
        sinTheta[i] = std::sin(angle);
        cosTheta[i] = std::cos(angle);
    }
    // The last entry repeats the first so that every ring closes exactly.
    sinTheta[slices] = sinTheta[0];
    cosTheta[slices] = cosTheta[0];

    std::vector<float> sinPhi(stacks + 1), cosPhi(stacks + 1);
    for (int j = 0; j <= stacks; ++j)
    {
        const float angle = kPi * static_cast<float>(j) / static_cast<float>(stacks);
        sinPhi[j] = std::sin(angle);
        cosPhi[j] = std::cos(angle);
    }
    sinPhi[0] = 0.0f;
    sinPhi[stacks] = 0.0f;

    auto ring = [&](int i, int j) { return MakePoint(sinTheta[i] * sinPhi[j], cosTheta[i] * sinPhi[j], cosPhi[j]); };

    m_topCap.push_back(MakePoint(0.0f, 0.0f, 1.0f));
    for (int i = slices; i >= 0; --i)
        m_topCap.push_back(ring(i, 1));

    m_bottomCap.push_back(MakePoint(0.0f, 0.0f, -1.0f));
    for (int i = 0; i <= slices; ++i)
        m_bottomCap.push_back(ring(i, stacks - 1));

    for (int j = 1; j < stacks - 1; ++j)
    {
        for (int i = 0; i <= slices; ++i)
        {
            m_body.push_back(ring(i, j + 1));
            m_body.push_back(ring(i, j));
        }
    }
}

void GLSphere::DrawAt(float x, float y, float z, float radius) const
{
    {
        GLBegin fan(GL_TRIANGLE_FAN);
        for (const Point3d& p : m_topCap)
            Emit(p, x, y, z, radius);
    }
    {
        GLBegin fan(GL_TRIANGLE_FAN);
        for (const Point3d& p : m_bottomCap)
            Emit(p, x, y, z, radius);
    }
    GLBegin strip(GL_QUAD_STRIP);
    for (const Point3d& p : m_body)
        Emit(p, x, y, z, radius);
}

void GLSphere::DrawWireFrame(float x, float y, float z, float radius) const
{
    {
        GLBegin lines(GL_LINES);
        for (const std::vector<Point3d>* cap : {&m_topCap, &m_bottomCap})
        {
            for (std::size_t k = 1; k < cap->size(); ++k)
            {
                Emit(cap->front(), x, y, z, radius);
                Emit((*cap)[k], x, y, z, radius);
            }
        }
    }
    if (m_body.size() <= 2)
        return;
    // Every quad of the strip, the last one included.
    for (std::size_t k = 0; k + 3 < m_body.size(); k += 2)
    {
        GLBegin loop(GL_LINE_LOOP);
        EmitPosition(m_body[k], x, y, z, radius);
        EmitPosition(m_body[k + 1], x, y, z, radius);
        EmitPosition(m_body[k + 3], x, y, z, radius);
        EmitPosition(m_body[k + 2], x, y, z, radius);
    }
}
