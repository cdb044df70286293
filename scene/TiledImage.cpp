#include "scene/TiledImage.h"

TiledImage::TiledImage(int width, int height, BrainSceneRenderer* renderer)
    : m_renderer(renderer)
    , m_width(width)
    , m_height(height)
{
}

TiledImage::~TiledImage() = default;

void TiledImage::LoadImage(const ImageSeries::ImageInfo*, unsigned int, int, int, ImageSeries::PlaneOfSection, float,
                           float, const AtlasSpace*, const char*, const char*, const char*)
{
}

void TiledImage::LoadImage(const char*, int, int, int, int) {}

void TiledImage::Hide()
{
    m_visible = false;
}

void TiledImage::ShowBlank() {}

void TiledImage::Display(float) {}

bool TiledImage::CanShowImageInBrowser() const
{
    return false;
}

bool TiledImage::ShowImageInBrowser()
{
    return false;
}

bool TiledImage::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool TiledImage::OnDoubleClick(int, int, int, int, unsigned int)
{
    return false;
}

bool TiledImage::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}
