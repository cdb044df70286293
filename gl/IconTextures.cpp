#include "gl/IconTextures.h"

#include "gl/ApplicationImages.h"
#include "gl/DevicePixels.h"
#include "gl/GLTexture.h"

#include <algorithm>
#include <utility>

namespace
{

constexpr unsigned int kBGRA = 0x80E1;   // GL_BGRA
constexpr unsigned int kLinear = 0x2601; // GL_LINEAR

// The image as plain RGBA or RGB bytes, or a null image when its layout is not one an icon may have.
QImage IconBytes(QImage image)
{
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB)
    {
        // A palette only names colours; what counts is the pixels it expands to.
        if (image.colorCount() > 0 && !image.isGrayscale())
            image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    const bool alpha = image.hasAlphaChannel();
    const int bits = image.bitPlaneCount();
    if (alpha && bits == 32)
        return image.convertToFormat(QImage::Format_RGBA8888);
    if (!alpha && bits == 24)
        return image.convertToFormat(QImage::Format_RGB888);
    return QImage();
}

void CopyPixels(const QImage& source, GLTexture& texture, bool invert)
{
    const bool alpha = source.format() == QImage::Format_RGBA8888;
    const int step = alpha ? 4 : 3;
    unsigned char* out = texture.GetPixels();
    for (int y = 0; y < source.height(); ++y)
    {
        const unsigned char* in = source.constScanLine(y);
        for (int x = 0; x < source.width(); ++x, in += step, out += 4)
        {
            if (invert)
            {
                out[0] = static_cast<unsigned char>(~in[0]);
                out[1] = static_cast<unsigned char>(~in[1]);
                out[2] = static_cast<unsigned char>(~in[2]);
                out[3] = in[0] == 0 ? 255 : 0;
            }
            else
            {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = alpha ? in[3] : 255;
            }
        }
    }
}

} // namespace

bool LoadIconTexture(const std::string& name, GLTexture& texture, bool invert, double ratio)
{
    const QImage image = ApplicationImages::GetImage(name, ratio);
    if (image.isNull())
        return false;
    const QImage bytes = IconBytes(image);
    if (bytes.isNull())
        return false;
    texture.Initialize(bytes.width(), bytes.height(), kBGRA, kLinear);
    CopyPixels(bytes, texture, invert);
    texture.SetTexelScale(ratio);
    texture.TextureChanged();
    return true;
}

void BrightenIcon(GLTexture& texture)
{
    unsigned char* pixel = texture.GetPixels();
    const std::size_t count = static_cast<std::size_t>(texture.GetWidth()) * texture.GetHeight();
    for (std::size_t k = 0; k < count && pixel; ++k, pixel += 4)
    {
        if (pixel[0] == 0)
            continue;
        const bool white = pixel[0] >= 205;
        for (int c = 0; c < 3; ++c)
            pixel[c] = white ? 255 : static_cast<unsigned char>(std::min(pixel[c] + 50, 255));
    }
    texture.TextureChanged();
}

bool MakeStartArrow(GLTexture& texture, double ratio)
{
    return LoadIconTexture("StartArrow", texture, true, ratio);
}

bool MakeEndArrow(GLTexture& texture, double ratio)
{
    return LoadIconTexture("EndArrow", texture, true, ratio);
}

bool MakeNextArrow(GLTexture& texture, double ratio)
{
    return LoadIconTexture("RightArrow", texture, true, ratio);
}

bool MakePrevArrow(GLTexture& texture, double ratio)
{
    return LoadIconTexture("LeftArrow", texture, true, ratio);
}

bool MakePauseIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("Pause", texture, true, ratio);
}

bool MakeFindMoreIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("FindMore", texture, true, ratio);
}

bool MakeZoomIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("Zoom", texture, true, ratio);
}

bool MakeFindSimilarIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("FindSimilarGenes", texture, true, ratio);
}

bool MakeCoronalPlaneIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("CoronalPlane", texture, false, ratio);
}

bool MakeSagittalPlaneIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("SagittalPlane", texture, false, ratio);
}

bool MakeISHImageIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("ISHSectionMode", texture, false, ratio);
}

bool MakeShowBrowserImageIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("ShowImageInBrowser", texture, false, ratio);
}

void MakeActiveShowBrowserImageIcon(GLTexture& texture, double ratio)
{
    LoadIconTexture("ShowImageInBrowser", texture, false, ratio);
    BrightenIcon(texture);
}

bool MakeCloseTabIcon(GLTexture& texture, double ratio)
{
    return LoadIconTexture("CloseTab", texture, false, ratio);
}

void MakeActiveCloseTabIcon(GLTexture& texture, double ratio)
{
    LoadIconTexture("CloseTab", texture, false, ratio);
    BrightenIcon(texture);
}

void MakeDisplayIcon(GLTexture& texture, GLDisplay* display, IconMaker make)
{
    if (!display)
    {
        make(texture, 1.0);
        return;
    }
    texture.FollowPixelRatio([display] { return DevicePixels(display).GetRatio(); }, std::move(make));
}
