#include "gl/Trackball.h"

#include "gl/BrainSceneServices.h"

#include <GL/glew.h>

#include <cmath>

namespace
{

constexpr float kRadius = 0.4f;

// Compositions since the last renormalisation, shared by every trackball.
int compositionCount = 0;

// The point on the ball under (x, y): a sphere near the centre, a hyperbolic sheet further out.
float ProjectToSphere(float r, float x, float y)
{
    const float d = std::sqrt(x * x + y * y);
    if (d < r * 0.70710678118654752440f)
        return std::sqrt(r * r - d * d);
    const float t = r / 1.41421356237309504880f;
    return t * t / d;
}

void Cross(const float a[3], const float b[3], float out[3])
{
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

float Dot(const float a[3], const float b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

} // namespace

void trackball(float q[4], float p1x, float p1y, float p2x, float p2y)
{
    if (p1x == p2x && p1y == p2y)
    {
        q[0] = q[1] = q[2] = 0.0f;
        q[3] = 1.0f;
        return;
    }
    const float p1[3] = {p1x, p1y, ProjectToSphere(kRadius, p1x, p1y)};
    const float p2[3] = {p2x, p2y, ProjectToSphere(kRadius, p2x, p2y)};
    float axis[3];
    Cross(p2, p1, axis);
    const float d[3] = {p1[0] - p2[0], p1[1] - p2[1], p1[2] - p2[2]};
    float t = std::sqrt(Dot(d, d)) / (2.0f * kRadius);
    if (t > 1.0f)
        t = 1.0f;
    if (t < -1.0f)
        t = -1.0f;
    axis_to_quat(axis, 2.0f * std::asin(t), q);
}

void axis_to_quat(float axis[3], float phi, float q[4])
{
    const float length = std::sqrt(Dot(axis, axis));
    if (length > 0.0f)
    {
        for (int k = 0; k < 3; ++k)
            axis[k] /= length;
    }
    const float s = std::sin(phi / 2.0f);
    for (int k = 0; k < 3; ++k)
        q[k] = axis[k] * s;
    q[3] = std::cos(phi / 2.0f);
}

void add_quats(const float q1[4], const float q2[4], float dest[4])
{
    float cross[3];
    Cross(q2, q1, cross);
    float result[4];
    for (int k = 0; k < 3; ++k)
        result[k] = q1[k] * q2[3] + q2[k] * q1[3] + cross[k];
    result[3] = q1[3] * q2[3] - Dot(q1, q2);
    for (int k = 0; k < 4; ++k)
        dest[k] = result[k];
    if (compositionCount++ >= 97)
    {
        compositionCount = 0;
        normalize_quat(dest);
    }
}

void normalize_quat(float q[4])
{
    const float squared = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    for (int k = 0; k < 4; ++k)
        q[k] /= squared;
}

void build_rotmatrix(float m[4][4], const float q[4])
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    m[0][1] = 2.0f * (x * y - z * w);
    m[0][2] = 2.0f * (z * x + y * w);
    m[0][3] = 0.0f;
    m[1][0] = 2.0f * (x * y + z * w);
    m[1][1] = 1.0f - 2.0f * (z * z + x * x);
    m[1][2] = 2.0f * (y * z - x * w);
    m[1][3] = 0.0f;
    m[2][0] = 2.0f * (z * x - y * w);
    m[2][1] = 2.0f * (y * z + x * w);
    m[2][2] = 1.0f - 2.0f * (y * y + x * x);
    m[2][3] = 0.0f;
    m[3][0] = m[3][1] = m[3][2] = 0.0f;
    m[3][3] = 1.0f;
}

Trackball::Trackball(BrainSceneServices* parent)
    : m_parent(parent)
{
    build_rotmatrix(m_matrix, m_current);
}

void Trackball::SetParent(BrainSceneServices* parent)
{
    m_parent = parent;
}

void Trackball::SetSize(int x, int y, int width, int height, float scale)
{
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    m_scale = scale;
}

void Trackball::MultiplyMatrix() const
{
    glMultMatrixf(&m_matrix[0][0]);
}

void Trackball::SetCurrent(const float q[4])
{
    for (int k = 0; k < 4; ++k)
        m_current[k] = q[k];
    build_rotmatrix(m_matrix, m_current);
}

void Trackball::WriteToModel()
{
    if (m_parent)
        m_parent->SetModelRotation(m_current);
}

void Trackball::SetQuaternion(const float q[4])
{
    for (int k = 0; k < 4; ++k)
        m_spin[k] = q[k];
    SetCurrent(q);
}

void Trackball::AddRotation(const float* axis, float angle, bool animate)
{
    float copy[3] = {axis[0], axis[1], axis[2]};
    if (animate)
    {
        axis_to_quat(copy, 2.0f * angle, m_spin);
        Animate();
        if (m_parent)
            m_parent->Animate(true);
        return;
    }
    float step[4];
    axis_to_quat(copy, angle, step);
    float result[4];
    add_quats(step, m_current, result);
    SetCurrent(result);
    // A bookmark taken after key turns must record them, as it does after a spin.
    WriteToModel();
}

void Trackball::Animate()
{
    float result[4];
    add_quats(m_spin, m_current, result);
    SetCurrent(result);
    WriteToModel();
}

bool Trackball::OnButtonDown(int, int x, int y, int, unsigned int time)
{
    m_lastX = x;
    m_lastY = y;
    m_lastTime = time;
    m_dragging = true;
    return true;
}

bool Trackball::OnButtonUp(int, int, int, int, unsigned int time)
{
    m_dragging = false;
    const unsigned int elapsed = time - m_lastTime;
    if (m_parent)
        m_parent->Animate(elapsed < 25);
    return true;
}

void Trackball::ToBall(int x, int y, const int area[4], int height, float& px, float& py) const
{
    px = ((static_cast<float>(x) - area[0]) / area[2] - 0.5f) * m_scale;
    py = ((static_cast<float>(height - y) - area[1]) / area[3] - 0.5f) * m_scale;
}

bool Trackball::OnMouseMove(int x, int y, int, unsigned int time)
{
    if (!m_dragging || !m_parent)
        return true;
    // An empty side stands for the parent's size at this move: kept, it would outlive a resize of the
    // parent (a parent of zero size, sized afterwards, would keep its zero side's partner for good).
    int area[4] = {m_x, m_y, m_width, m_height};
    if (area[2] < 1)
    {
        area[0] = 0;
        area[2] = m_parent->GetWidth();
    }
    if (area[3] < 1)
    {
        area[1] = 0;
        area[3] = m_parent->GetHeight();
    }
    // A zero size would make the rotation NaN, and every later composition with it. The pointer still
    // moved: the next step starts from here, not from where it was before the size came back.
    if (area[2] < 1 || area[3] < 1)
    {
        m_lastX = x;
        m_lastY = y;
        m_lastTime = time;
        return true;
    }
    const int height = m_parent->GetHeight();
    float p1x, p1y, p2x, p2y;
    ToBall(m_lastX, m_lastY, area, height, p1x, p1y);
    ToBall(x, y, area, height, p2x, p2y);
    trackball(m_spin, p1x, p1y, p2x, p2y);
    m_lastX = x;
    m_lastY = y;
    m_lastTime = time;
    Animate();
    return true;
}
