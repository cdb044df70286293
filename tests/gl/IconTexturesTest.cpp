#include "gl/ApplicationImages.h"
#include "gl/GLTexture.h"
#include "gl/IconTextures.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <array>
#include <string>
#include <vector>

namespace
{

using Pixel = std::array<int, 4>;

Pixel At(const GLTexture& texture, int x, int y)
{
    const unsigned char* p = texture.GetPixels() + (static_cast<std::size_t>(y) * texture.GetWidth() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

// An image added for one test and removed after it.
class ScopedImage
{
public:
    ScopedImage(const std::string& name, const QImage& image)
        : m_name(name)
    {
        ApplicationImages::SetImage(name, image);
    }
    ~ScopedImage() { ApplicationImages::SetImage(m_name, QImage()); }

private:
    std::string m_name;
};

QImage TwoPixels(QImage::Format format, QRgb top, QRgb bottom)
{
    QImage image(1, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, top);
    image.setPixel(0, 1, bottom);
    return image.convertToFormat(format);
}

using IconTexturesTest = GLTest;

TEST_F(IconTexturesTest, BytesBecomeBGRATopRowFirst)
{
    struct Case
    {
        const char* what;
        QImage image;
        bool invert;
        Pixel top, bottom;
    };
    const Case cases[] = {
        {"with alpha",
         TwoPixels(QImage::Format_ARGB32, qRgba(10, 20, 30, 40), qRgba(200, 100, 50, 255)),
         false,
         {30, 20, 10, 40},
         {50, 100, 200, 255}},
        {"without alpha",
         TwoPixels(QImage::Format_RGB888, qRgb(10, 20, 30), qRgb(1, 2, 3)),
         false,
         {30, 20, 10, 255},
         {3, 2, 1, 255}},
        {"inverted line art",
         TwoPixels(QImage::Format_RGB888, qRgb(0, 0, 0), qRgb(255, 255, 255)),
         true,
         {255, 255, 255, 255},
         {0, 0, 0, 0}},
        {"inverted looks at the first byte only",
         TwoPixels(QImage::Format_RGB32, qRgb(0, 60, 255), qRgb(1, 0, 0)),
         true,
         {255, 195, 0, 255},
         {254, 255, 255, 0}},
    };
    for (const Case& c : cases)
    {
        ScopedImage image("TestIcon", c.image);
        GLTexture texture;
        ASSERT_TRUE(LoadIconTexture("TestIcon", texture, c.invert)) << c.what;
        EXPECT_EQ(texture.GetWidth(), 1);
        EXPECT_EQ(texture.GetHeight(), 2);
        EXPECT_EQ(texture.GetFormat(), static_cast<unsigned int>(GL_BGRA));
        EXPECT_TRUE(texture.IsChanged());
        EXPECT_EQ(At(texture, 0, 0), c.top) << c.what;
        EXPECT_EQ(At(texture, 0, 1), c.bottom) << c.what;
    }
}

TEST_F(IconTexturesTest, UnusableOrMissingImagesLeaveTheTexture)
{
    QImage grey(2, 2, QImage::Format_Grayscale8);
    grey.fill(0);
    QImage deep(2, 2, QImage::Format_RGBA64);
    deep.fill(Qt::red);
    QImage shallow(2, 2, QImage::Format_RGB16);
    shallow.fill(Qt::red);
    struct Case
    {
        const char* what;
        QImage image;
    };
    for (const Case& c : {Case{"grey", grey}, Case{"16 bits a channel", deep}, Case{"16 bits a pixel", shallow},
                          Case{"missing", QImage()}})
    {
        ScopedImage image("TestIcon", c.image);
        GLTexture texture(3, 3, GL_BGRA, GL_LINEAR);
        texture.GetPixels()[0] = 77;
        EXPECT_FALSE(LoadIconTexture("TestIcon", texture, false)) << c.what;
        EXPECT_EQ(texture.GetWidth(), 3) << c.what;
        EXPECT_EQ(texture.GetPixels()[0], 77) << c.what;
    }
    GLTexture texture;
    EXPECT_FALSE(LoadIconTexture("NoSuchImage", texture, true));
    EXPECT_EQ(texture.GetTexture(), 0u);
}

TEST_F(IconTexturesTest, BrightenLooksAtTheFirstByte)
{
    struct Case
    {
        Pixel before, after;
    };
    const Case cases[] = {
        {{204, 100, 230, 17}, {254, 150, 255, 17}},
        {{205, 0, 10, 200}, {255, 255, 255, 200}},
        {{0, 100, 250, 255}, {0, 100, 250, 255}},
        {{1, 1, 1, 0}, {51, 51, 51, 0}},
    };
    GLTexture texture(4, 1, GL_BGRA, GL_LINEAR);
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 4; ++c)
            texture.GetPixels()[k * 4 + c] = static_cast<unsigned char>(cases[k].before[c]);
    BrightenIcon(texture);
    EXPECT_TRUE(texture.IsChanged());
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(At(texture, k, 0), cases[k].after) << "pixel " << k;
}

TEST_F(IconTexturesTest, EveryMakerLoadsItsImage)
{
    struct Case
    {
        const char* what;
        bool (*make)(GLTexture&, double);
        bool inverted;
    };
    const Case cases[] = {
        {"start", MakeStartArrow, true},
        {"end", MakeEndArrow, true},
        {"next", MakeNextArrow, true},
        {"previous", MakePrevArrow, true},
        {"pause", MakePauseIcon, true},
        {"find more", MakeFindMoreIcon, true},
        {"zoom", MakeZoomIcon, true},
        {"find similar", MakeFindSimilarIcon, true},
        {"coronal", MakeCoronalPlaneIcon, false},
        {"sagittal", MakeSagittalPlaneIcon, false},
        {"ISH", MakeISHImageIcon, false},
        {"browser", MakeShowBrowserImageIcon, false},
        {"close tab", MakeCloseTabIcon, false},
    };
    // At ratio 2 (a screen scaled by 2) the image has twice the texels a side and keeps its drawn size;
    // line art stays pure white on transparent.
    for (const Case& c : cases)
        for (const double ratio : {1.0, 2.0})
        {
            SCOPED_TRACE(ratio);
            GLTexture texture, plain;
            ASSERT_TRUE(c.make(texture, ratio)) << c.what;
            ASSERT_TRUE(c.make(plain, 1.0));
            ASSERT_GT(texture.GetWidth(), 0);
            EXPECT_EQ(texture.GetWidth(), static_cast<int>(ratio * plain.GetWidth())) << c.what;
            EXPECT_EQ(texture.GetHeight(), static_cast<int>(ratio * plain.GetHeight())) << c.what;
            EXPECT_EQ(texture.GetDrawWidth(), plain.GetWidth()) << c.what;
            EXPECT_EQ(texture.GetDrawHeight(), plain.GetHeight()) << c.what;
            int opaque = 0, clear = 0;
            for (int y = 0; y < texture.GetHeight(); ++y)
                for (int x = 0; x < texture.GetWidth(); ++x)
                {
                    const Pixel p = At(texture, x, y);
                    opaque += p[3] == 255;
                    clear += p[3] == 0;
                    if (c.inverted)
                    {
                        EXPECT_TRUE(p == (Pixel{255, 255, 255, 255}) || p[3] == 0) << c.what;
                    }
                }
            EXPECT_GT(opaque, 4) << c.what << ": the icon shows something";
            EXPECT_GT(clear, 4) << c.what << ": and has a transparent surround";
            // Drawing uploads it without a GL error.
            texture.Draw(0, 0);
        }
}

TEST_F(IconTexturesTest, ActiveVariantsAreBrightened)
{
    struct Case
    {
        bool (*make)(GLTexture&, double);
        void (*makeActive)(GLTexture&, double);
    };
    for (const Case& c : {Case{MakeCloseTabIcon, MakeActiveCloseTabIcon},
                          Case{MakeShowBrowserImageIcon, MakeActiveShowBrowserImageIcon}})
    {
        GLTexture normal, active;
        ASSERT_TRUE(c.make(normal, 1.0));
        c.makeActive(active, 1.0);
        BrightenIcon(normal);
        ASSERT_EQ(normal.GetPixelBytes(), active.GetPixelBytes());
        EXPECT_TRUE(std::equal(normal.GetPixels(), normal.GetPixels() + normal.GetPixelBytes(), active.GetPixels()));
    }
}

} // namespace
