#include "scene/ImageControlBar.h"

ImageControlBar::ImageControlBar() = default;

ImageControlBar::~ImageControlBar() = default;

bool ImageControlBar::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool ImageControlBar::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}

void ImageControlBar::Create(BrainSceneRenderer* renderer, int x, int y, int width, int height)
{
    m_renderer = renderer;
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
}

void ImageControlBar::Draw() {}

int ImageControlBar::GetCellWidth() const
{
    return 0;
}

void ImageControlBar::CheckImagesAvailable() {}
