#include "gl/CheckGLError.h"
#include "gl/GLTexture.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <deque>
#include <stdexcept>
#include <string>

namespace
{

std::deque<unsigned int> fakeErrors;
unsigned int FakeError()
{
    if (fakeErrors.empty())
        return 0;
    const unsigned int code = fakeErrors.front();
    fakeErrors.pop_front();
    return code;
}

class GLTextureTest : public GLTest
{
protected:
    void TearDown() override
    {
        SetGLErrorSource(nullptr);
        fakeErrors.clear();
        GLTest::TearDown();
    }

    // Pixel (column c, row r from the top) holds (c, r, blue, 255).
    static void FillPattern(GLTexture& texture, unsigned char blue)
    {
        unsigned char* p = texture.GetPixels();
        for (int r = 0; r < texture.GetHeight(); ++r)
        {
            for (int c = 0; c < texture.GetWidth(); ++c, p += 4)
            {
                p[0] = static_cast<unsigned char>(c);
                p[1] = static_cast<unsigned char>(r);
                p[2] = blue;
                p[3] = 255;
            }
        }
        texture.TextureChanged();
    }

    // Checks that the texture's image covers exactly the rectangle from (x, y) of its size, its first
    // row at the top, and nothing around it.
    void ExpectImageAt(const GLTexture& texture, int x, int y, unsigned char blue)
    {
        const auto pixels = Framebuffer().ReadPixels();
        int wrong = 0;
        for (int wy = 0; wy < kHeight; ++wy)
        {
            for (int wx = 0; wx < kWidth; ++wx)
            {
                const unsigned char* got = &pixels[(static_cast<std::size_t>(wy) * kWidth + wx) * 4];
                const int c = wx - x, r = texture.GetHeight() - 1 - (wy - y);
                const bool inside = c >= 0 && c < texture.GetWidth() && r >= 0 && r < texture.GetHeight();
                const unsigned char want[4] = {
                    static_cast<unsigned char>(inside ? c : 0), static_cast<unsigned char>(inside ? r : 0),
                    static_cast<unsigned char>(inside ? blue : 0), static_cast<unsigned char>(inside ? 255 : 0)};
                if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2] || got[3] != want[3])
                {
                    if (++wrong <= 5)
                        ADD_FAILURE() << "pixel (" << wx << ", " << wy << ") is " << int(got[0]) << "," << int(got[1])
                                      << "," << int(got[2]) << "," << int(got[3]);
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }

    void Clear() { glClear(GL_COLOR_BUFFER_BIT); }
};

GLint BoundTextureParameter(GLenum parameter)
{
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
    return value;
}

} // namespace

TEST(NextPower2Test, RoundsUpToPowersOfTwoWithAMinimum)
{
    EXPECT_EQ(nextPower2(1, 0), 1);
    EXPECT_EQ(nextPower2(100, 0), 128);
    EXPECT_EQ(nextPower2(256, 0), 256);
    EXPECT_EQ(nextPower2(257, 0), 512);
    EXPECT_EQ(nextPower2(0, 4), 4);
    EXPECT_EQ(nextPower2(3, 16), 16);
    EXPECT_EQ(nextPower2(-5, 2), 2);
    for (int k = 0; k <= 30; ++k)
        EXPECT_EQ(nextPower2(static_cast<float>(1 << k), 0), 1 << k) << k;
}

TEST_F(GLTextureTest, AnEmptyTextureCannotBindAndDrawsNothing)
{
    GLTexture texture;
    EXPECT_EQ(texture.GetTexture(), 0u);
    try
    {
        texture.BindTexture();
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Attempted to bind texture that has not been initialized.");
    }
    texture.Draw(0, 0);
    EXPECT_EQ(Framebuffer().Pixel(0, 0)[3], 0);
}

TEST_F(GLTextureTest, StorageIsPowerOfTwoWithAnImageSizedBuffer)
{
    GLTexture texture(100, 30, GL_RGBA, GL_NEAREST);
    EXPECT_EQ(texture.GetWidth(), 100);
    EXPECT_EQ(texture.GetHeight(), 30);
    EXPECT_EQ(texture.GetTextureWidth(), 128);
    EXPECT_EQ(texture.GetTextureHeight(), 32);
    EXPECT_EQ(texture.GetPixelBytes(), 12000u);
    EXPECT_FALSE(texture.IsChanged());
    texture.BindTexture();
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(width, 128);
    EXPECT_EQ(height, 32);
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(GLTextureTest, DrawsPixelExactWithTheFirstRowOnTop)
{
    GLTexture texture(100, 30, GL_RGBA, GL_NEAREST);
    FillPattern(texture, 77);
    texture.Draw(10, 20);
    EXPECT_FALSE(texture.IsChanged());
    ExpectImageAt(texture, 10, 20, 77);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(GLTextureTest, DrawsASourceRectangleIntoADestination)
{
    GLTexture texture(8, 8, GL_RGBA, GL_NEAREST);
    FillPattern(texture, 5);
    // Columns 2..5 of rows 1..3 (rows counted from the buffer's start), upright, scaled to 8 x 6.
    texture.Draw(2, 4, 6, 1, 100, 100, 108, 106);
    const auto topLeft = Framebuffer().Pixel(100, 105);
    EXPECT_EQ(topLeft[0], 2);
    EXPECT_EQ(topLeft[1], 1);
    const auto bottomRight = Framebuffer().Pixel(107, 100);
    EXPECT_EQ(bottomRight[0], 5);
    EXPECT_EQ(bottomRight[1], 3);
    EXPECT_EQ(Framebuffer().Pixel(108, 100)[3], 0);
}

TEST_F(GLTextureTest, UploadsOnlyAfterAChangeIsMarked)
{
    GLTexture texture(16, 16, GL_RGBA, GL_NEAREST);
    FillPattern(texture, 10);
    texture.Draw(0, 0);
    ExpectImageAt(texture, 0, 0, 10);

    FillPattern(texture, 200);
    // Writing pixels alone is not seen: without the mark the old upload stays.
    texture.GetPixels()[2] = 99;
    glClear(GL_COLOR_BUFFER_BIT);
    const bool changed = texture.IsChanged();
    EXPECT_TRUE(changed);
    texture.Draw(0, 0);
    EXPECT_FALSE(texture.IsChanged());
    EXPECT_EQ(Framebuffer().Pixel(1, 15)[2], 200);
    EXPECT_EQ(Framebuffer().Pixel(0, 15)[2], 99);

    texture.GetPixels()[2] = 42; // not marked
    glClear(GL_COLOR_BUFFER_BIT);
    texture.Draw(0, 0);
    EXPECT_EQ(Framebuffer().Pixel(0, 15)[2], 99);
}

TEST_F(GLTextureTest, KeepsTexturingOnWhenItWasOn)
{
    GLTexture texture(4, 4, GL_RGBA, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    texture.Draw(0, 0);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glDisable(GL_TEXTURE_2D);
}

TEST_F(GLTextureTest, BgraBuffersDrawInTheirOwnOrder)
{
    GLTexture texture(2, 2, GL_BGRA, GL_NEAREST);
    unsigned char* p = texture.GetPixels();
    for (int k = 0; k < 4; ++k)
    {
        p[4 * k] = 10;     // blue
        p[4 * k + 1] = 20; // green
        p[4 * k + 2] = 30; // red
        p[4 * k + 3] = 255;
    }
    texture.TextureChanged();
    texture.Draw(0, 0);
    const auto pixel = Framebuffer().Pixel(1, 1);
    EXPECT_EQ(pixel[0], 30);
    EXPECT_EQ(pixel[1], 20);
    EXPECT_EQ(pixel[2], 10);
}

TEST_F(GLTextureTest, ATextureDeletedBehindItsBackIsRecreatedOnUpload)
{
    GLTexture texture(20, 10, GL_RGBA, GL_NEAREST);
    FillPattern(texture, 1);
    texture.Draw(0, 0);
    const unsigned int lost = texture.GetTexture();
    glDeleteTextures(1, &lost);

    FillPattern(texture, 150);
    glClear(GL_COLOR_BUFFER_BIT);
    texture.Draw(30, 40);
    ExpectImageAt(texture, 30, 40, 150);
    EXPECT_NE(texture.GetTexture(), 0u);
    EXPECT_TRUE(glIsTexture(texture.GetTexture()));
    texture.BindTexture();
    // A recreated texture keeps the wrap mode of a new one, so its edges draw alike.
    EXPECT_EQ(BoundTextureParameter(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 32);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(GLTextureTest, AnUploadFailureIsReportedAndTheChangeKept)
{
    GLTexture texture(4, 4, GL_RGBA, GL_NEAREST);
    texture.TextureChanged();
    SetGLErrorSource(&FakeError);
    fakeErrors = {0, GL_INVALID_VALUE}; // the bind succeeds, the upload fails
    try
    {
        texture.BindTexture();
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "OpenGL error 1281: invalid value in TexSubImage2D\n");
    }
    EXPECT_TRUE(texture.IsChanged());
    SetGLErrorSource(nullptr);
    texture.BindTexture();
    EXPECT_FALSE(texture.IsChanged());
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(GLTextureTest, AFailedInitializeLeavesAnEmptyTexture)
{
    GLTexture texture(8, 8, GL_RGBA, GL_NEAREST);
    SetGLErrorSource(&FakeError);
    fakeErrors = {GL_OUT_OF_MEMORY};
    try
    {
        texture.Initialize(64, 64, GL_RGBA, GL_LINEAR);
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "OpenGL error 1285: out of memory in GenTextures\n");
    }
    EXPECT_EQ(texture.GetTexture(), 0u);
    EXPECT_EQ(texture.GetWidth(), 0);
    EXPECT_EQ(texture.GetTextureWidth(), 0);
    EXPECT_EQ(texture.GetPixelBytes(), 0u);
    EXPECT_THROW(texture.BindTexture(), std::runtime_error);
}

TEST_F(GLTextureTest, ANegativeSizeFailsLikeAnyOtherInitialize)
{
    GLTexture texture(8, 8, GL_RGBA, GL_NEAREST);
    // Callers catch the failures of textures as runtime errors.
    EXPECT_THROW(texture.Initialize(-1, 4, GL_RGBA, GL_NEAREST), std::runtime_error);
    EXPECT_EQ(texture.GetTexture(), 0u);
    EXPECT_EQ(texture.GetPixelBytes(), 0u);
}

TEST_F(GLTextureTest, MovingHandsOverTheGLName)
{
    GLTexture first(4, 4, GL_RGBA, GL_NEAREST);
    const unsigned int name = first.GetTexture();
    GLTexture second(std::move(first));
    EXPECT_EQ(first.GetTexture(), 0u);
    EXPECT_EQ(first.GetPixelBytes(), 0u);
    EXPECT_EQ(second.GetTexture(), name);
    {
        GLTexture third;
        third = std::move(second);
        EXPECT_EQ(third.GetTexture(), name);
        EXPECT_TRUE(glIsTexture(name));
    }
    EXPECT_FALSE(glIsTexture(name)); // deleted once, by its last owner
}
