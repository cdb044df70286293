#include "gl/DevicePixels.h"

#include <GL/glew.h>

#include "gl/GLDisplay.h"

#include <cmath>

namespace
{

// A ratio that is no number or not above 0 would fold every rectangle to nothing.
double SaneRatio(double ratio)
{
    return std::isfinite(ratio) && ratio > 0.0 ? ratio : 1.0;
}

} // namespace

DevicePixels::DevicePixels(double ratio)
    : m_ratio(SaneRatio(ratio))
{
}

DevicePixels::DevicePixels(GLDisplay* display)
    : m_ratio(display ? SaneRatio(display->GetPixelRatio()) : 1.0)
{
}

int DevicePixels::ToDevice(int logical) const
{
    return static_cast<int>(std::lround(logical * m_ratio));
}

int DevicePixels::ToLogical(int device) const
{
    return static_cast<int>(std::lround(device / m_ratio));
}

int DevicePixels::CentreOf(int logical) const
{
    return static_cast<int>(std::floor((logical + 0.5) * m_ratio));
}

void DevicePixels::Viewport(int x, int y, int width, int height) const
{
    const int left = ToDevice(x), bottom = ToDevice(y);
    glViewport(left, bottom, ToDevice(x + width) - left, ToDevice(y + height) - bottom);
}

void DevicePixels::Scissor(int x, int y, int width, int height) const
{
    const int left = ToDevice(x), bottom = ToDevice(y);
    glScissor(left, bottom, ToDevice(x + width) - left, ToDevice(y + height) - bottom);
}

void DevicePixels::GetViewport(int viewport[4]) const
{
    GLint device[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, device);
    viewport[0] = ToLogical(device[0]);
    viewport[1] = ToLogical(device[1]);
    viewport[2] = ToLogical(device[0] + device[2]) - viewport[0];
    viewport[3] = ToLogical(device[1] + device[3]) - viewport[1];
}

void DevicePixels::LineWidth(float width) const
{
    glLineWidth(static_cast<float>(width * m_ratio));
}

void DevicePixels::PointSize(float size) const
{
    glPointSize(static_cast<float>(size * m_ratio));
}
