#include "scene/ThresholdControl1D.h"

ThresholdControl1D::ThresholdControl1D(BrainSceneRenderer* renderer, const Range& range, const Colormap* colormap)
    : m_renderer(renderer)
    , m_colormap(colormap)
    , m_xRange(range)
{
    if (range.min == 0.0f && range.max == 0.0f)
        m_xRange = Range{0.0f, 255.0f};
}

ThresholdControl1D::~ThresholdControl1D() = default;

bool ThresholdControl1D::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool ThresholdControl1D::OnButtonUp(int, int, int, int, unsigned int)
{
    return false;
}

bool ThresholdControl1D::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}

void ThresholdControl1D::Display() {}

int ThresholdControl1D::GetWidth()
{
    return 255;
}

int ThresholdControl1D::GetHeight()
{
    return 15;
}

void ThresholdControl1D::ResetCursorRects() {}

void ThresholdControl1D::SetOriginOffset(int x, int y)
{
    m_offsetX = x;
    m_offsetY = y;
}

void ThresholdControl1D::SetXRange(float minimum, float maximum)
{
    m_xRange = Range{minimum, maximum};
}

void ThresholdControl1D::SetColormap(const Colormap* colormap)
{
    m_colormap = colormap;
}
