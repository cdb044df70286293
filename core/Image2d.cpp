#include "core/Image2d.h"

#include <stdexcept>

void Image2d::Initialize(int width, int height)
{
    if (width < 0 || height < 0)
        throw std::invalid_argument("Image size must not be negative.");
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * 4;
    if (m_pixels.size() != bytes)
        m_pixels.resize(bytes);
    m_width = width;
    m_height = height;
}
