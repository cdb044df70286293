#include "gl/GLTexture.h"

#include "gl/CheckGLError.h"
#include "gl/GLBegin.h"

#include <GL/glew.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <utility>

int nextPower2(float x, int minimum)
{
    if (!(x > 0.0f))
        return minimum;
    // log2 is exact for powers of two, where ln(x)/ln(2) is not for every one of them (2^29).
    const double exponent = std::ceil(std::log2(static_cast<double>(x)));
    const int power = exponent >= 30.0 ? 1 << 30 : static_cast<int>(std::exp2(exponent));
    return power < minimum ? minimum : power;
}

namespace
{

// Restores 2-D texturing to off on every way out of a draw that had to turn it on.
class TexturingScope
{
public:
    TexturingScope()
        : m_wasOn(glIsEnabled(GL_TEXTURE_2D) == GL_TRUE)
    {
        if (!m_wasOn)
        {
            glEnable(GL_TEXTURE_2D);
            CheckGLError("Enable", true);
        }
    }
    ~TexturingScope()
    {
        if (!m_wasOn)
            glDisable(GL_TEXTURE_2D);
    }
    TexturingScope(const TexturingScope&) = delete;
    TexturingScope& operator=(const TexturingScope&) = delete;

private:
    bool m_wasOn;
};

} // namespace

GLTexture::GLTexture() = default;

GLTexture::GLTexture(int width, int height, unsigned int format, unsigned int filter)
{
    Initialize(width, height, format, filter);
}

GLTexture::GLTexture(GLTexture&& other) noexcept
    : m_format(other.m_format)
    , m_filter(other.m_filter)
    , m_width(std::exchange(other.m_width, 0))
    , m_height(std::exchange(other.m_height, 0))
    , m_textureWidth(std::exchange(other.m_textureWidth, 0))
    , m_textureHeight(std::exchange(other.m_textureHeight, 0))
    , m_texture(std::exchange(other.m_texture, 0))
    , m_pixels(std::move(other.m_pixels))
    , m_changed(std::exchange(other.m_changed, false))
    , m_texelScale(std::exchange(other.m_texelScale, 1.0))
    , m_ratio(std::exchange(other.m_ratio, {}))
    , m_rasterise(std::exchange(other.m_rasterise, {}))
    , m_rasterRatio(std::exchange(other.m_rasterRatio, 0.0))
{
    other.m_pixels.clear();
}

GLTexture& GLTexture::operator=(GLTexture&& other) noexcept
{
    if (this != &other)
    {
        Release();
        m_format = other.m_format;
        m_filter = other.m_filter;
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_textureWidth = std::exchange(other.m_textureWidth, 0);
        m_textureHeight = std::exchange(other.m_textureHeight, 0);
        m_texture = std::exchange(other.m_texture, 0);
        m_pixels = std::move(other.m_pixels);
        other.m_pixels.clear();
        m_changed = std::exchange(other.m_changed, false);
        m_texelScale = std::exchange(other.m_texelScale, 1.0);
        m_ratio = std::exchange(other.m_ratio, {});
        m_rasterise = std::exchange(other.m_rasterise, {});
        m_rasterRatio = std::exchange(other.m_rasterRatio, 0.0);
    }
    return *this;
}

GLTexture::~GLTexture()
{
    if (m_texture)
        glDeleteTextures(1, &m_texture);
}

void GLTexture::Release()
{
    m_width = m_height = m_textureWidth = m_textureHeight = 0;
    if (m_texture)
        glDeleteTextures(1, &m_texture);
    m_texture = 0;
    m_pixels.clear();
}

void GLTexture::Initialize(int width, int height, unsigned int format, unsigned int filter)
{
    m_texelScale = 1.0;
    if (m_texture)
        Release();
    m_format = format;
    m_filter = filter;
    m_width = width;
    m_height = height;
    try
    {
        CreateTexture();
    }
    catch (...)
    {
        Release();
        throw;
    }
}

void GLTexture::SetParameters(bool clampToEdge)
{
    const GLint wrap = clampToEdge ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    CheckGLError("Texture wrap", true);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, m_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, m_filter);
    CheckGLError("Texture interpolation", true);
}

void GLTexture::GenerateTexture()
{
    glGenTextures(1, &m_texture);
    CheckGLError("GenTextures", true);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    CheckGLError("BindTexture", true);
    SetParameters(GLEW_VERSION_1_2);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, m_textureWidth, m_textureHeight, 0, m_format, GL_UNSIGNED_BYTE, nullptr);
    CheckGLError("TexImage2D", true);
}

void GLTexture::CreateTexture()
{
    if (m_width < 0 || m_height < 0)
        throw std::runtime_error("Texture size must not be negative.");
    m_textureWidth = nextPower2(static_cast<float>(m_width), 0);
    m_textureHeight = nextPower2(static_cast<float>(m_height), 0);
    GenerateTexture();
    m_pixels.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height) * 4, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GLTexture::BindTexture()
{
    if (!m_texture)
        throw std::runtime_error("Attempted to bind texture that has not been initialized.");
    glBindTexture(GL_TEXTURE_2D, m_texture);
    CheckGLError("BindTexture", true);
    if (m_changed)
        LoadTexture();
}

void GLTexture::RecreateTexture()
{
    glDeleteTextures(1, &m_texture);
    m_texture = 0;
    // Made as a fresh texture is, so that a recreated one draws its edges alike.
    GenerateTexture();
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_width, m_height, m_format, GL_UNSIGNED_BYTE, m_pixels.data());
    CheckGLError("TexSubImage2D", true);
}

void GLTexture::LoadTexture()
{
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_width, m_height, m_format, GL_UNSIGNED_BYTE, m_pixels.data());
    const unsigned int error = ReadGLError();
    if (error == GL_INVALID_OPERATION)
    {
        // The texture is gone (deleted behind our back, or its context lost it): make it anew.
        RecreateTexture();
    }
    else if (error != GL_NO_ERROR)
    {
        // Any other failure is reported: clearing the flag would show stale pixels as if uploaded.
        std::string message = GLErrorLine(error, "TexSubImage2D");
        try
        {
            CheckGLError("TexSubImage2D", true);
        }
        catch (const std::runtime_error& more)
        {
            message += more.what();
        }
        throw std::runtime_error(message);
    }
    m_changed = false;
}

void GLTexture::SetTexelScale(double scale)
{
    m_texelScale = std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

int GLTexture::GetDrawWidth() const
{
    return static_cast<int>(std::lround(m_width / m_texelScale));
}

int GLTexture::GetDrawHeight() const
{
    return static_cast<int>(std::lround(m_height / m_texelScale));
}

void GLTexture::FollowPixelRatio(PixelRatio ratio, Rasterise rasterise)
{
    m_ratio = std::move(ratio);
    m_rasterise = std::move(rasterise);
    m_rasterRatio = 0.0;
    FollowRatio();
}

void GLTexture::FollowRatio()
{
    if (!m_ratio || !m_rasterise)
        return;
    const double ratio = m_ratio();
    if (ratio == m_rasterRatio)
        return;
    m_rasterRatio = ratio;
    m_rasterise(*this, ratio);
}

void GLTexture::Draw(int x, int y)
{
    FollowRatio();
    Draw(0, m_height, m_width, 0, x, y, x + GetDrawWidth(), y + GetDrawHeight());
}

void GLTexture::Draw(int srcX0, int srcY0, int srcX1, int srcY1, int dstX0, int dstY0, int dstX1, int dstY1)
{
    if (!m_texture || m_textureWidth == 0 || m_textureHeight == 0)
        return;
    TexturingScope texturing;
    glBindTexture(GL_TEXTURE_2D, m_texture);
    CheckGLError("BindTexture", true);
    if (m_changed)
        LoadTexture();
    const float s0 = static_cast<float>(srcX0) / m_textureWidth, s1 = static_cast<float>(srcX1) / m_textureWidth;
    const float t0 = static_cast<float>(srcY0) / m_textureHeight, t1 = static_cast<float>(srcY1) / m_textureHeight;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    {
        GLBegin quad(GL_QUADS);
        glTexCoord2f(s0, t0);
        glVertex2i(dstX0, dstY0);
        glTexCoord2f(s1, t0);
        glVertex2i(dstX1, dstY0);
        glTexCoord2f(s1, t1);
        glVertex2i(dstX1, dstY1);
        glTexCoord2f(s0, t1);
        glVertex2i(dstX0, dstY1);
    }
    CheckGLError("End", true);
    glBindTexture(GL_TEXTURE_2D, 0);
}
