#pragma once

#include <functional>
#include <vector>

// The smallest power of two not below x, but at least minimum.
int nextPower2(float x, int minimum);

// A 2-D texture whose pixels live in a CPU buffer of the image's size (rows top first, 4 bytes a
// pixel in `format` order) while the GL texture has power-of-two sides and keeps the image in its
// lower-left corner. Writes to the buffer are uploaded lazily, on the next bind or draw after
// TextureChanged. Owns its GL name, so it moves but never copies.
class GLTexture
{
public:
    GLTexture();
    GLTexture(int width, int height, unsigned int format, unsigned int filter);
    GLTexture(const GLTexture&) = delete;
    GLTexture& operator=(const GLTexture&) = delete;
    GLTexture(GLTexture&& other) noexcept;
    GLTexture& operator=(GLTexture&& other) noexcept;
    ~GLTexture();

    // The texel scale goes back to 1.
    void Initialize(int width, int height, unsigned int format, unsigned int filter);
    // Texels per logical pixel of an image rendered for a scaled screen: Draw(x, y) covers the image's size
    // divided by it, which GetDrawWidth and GetDrawHeight give for layouts.
    void SetTexelScale(double scale);
    double GetTexelScale() const { return m_texelScale; }
    int GetDrawWidth() const;
    int GetDrawHeight() const;
    // An image rasterised for a screen follows the screen: `rasterise` fills the texture at the ratio that
    // `ratio` answers, now and again whenever Draw(x, y) finds that answer changed (a window moved to a screen
    // of another scale). The size it is laid out at stays, so layouts need not hear of it.
    using PixelRatio = std::function<double()>;
    using Rasterise = std::function<void(GLTexture&, double ratio)>;
    void FollowPixelRatio(PixelRatio ratio, Rasterise rasterise);
    void TextureChanged() { m_changed = true; }
    // Leaves the texture bound, uploaded if it had changed.
    void BindTexture();
    // Uploads the buffer into the bound texture, recreating the texture if the GL lost it.
    void LoadTexture();
    // The whole image with its lower-left corner at (x, y), in pixel coordinates, at its draw size; an image
    // that follows a pixel ratio is rasterised again first when the ratio changed.
    void Draw(int x, int y);
    // Source coordinates count texels from the buffer's first row: rows height..0 draw upright.
    void Draw(int srcX0, int srcY0, int srcX1, int srcY1, int dstX0, int dstY0, int dstX1, int dstY1);

    unsigned char* GetPixels() { return m_pixels.data(); }
    const unsigned char* GetPixels() const { return m_pixels.data(); }
    std::size_t GetPixelBytes() const { return m_pixels.size(); }
    // The image's size in texels (the buffer's).
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetTextureWidth() const { return m_textureWidth; }
    int GetTextureHeight() const { return m_textureHeight; }
    unsigned int GetTexture() const { return m_texture; }
    unsigned int GetFormat() const { return m_format; }
    bool IsChanged() const { return m_changed; }

private:
    // Rasterises a follower again when its ratio changed.
    void FollowRatio();
    void Release();
    // A new texture name, bound, with the parameters and storage of m_textureWidth x m_textureHeight texels.
    void GenerateTexture();
    void CreateTexture();
    void RecreateTexture();
    void SetParameters(bool clampToEdge);

    unsigned int m_format = 0;
    unsigned int m_filter = 0;
    int m_width = 0;
    int m_height = 0;
    int m_textureWidth = 0;
    int m_textureHeight = 0;
    unsigned int m_texture = 0;
    std::vector<unsigned char> m_pixels;
    bool m_changed = false;
    double m_texelScale = 1.0;
    PixelRatio m_ratio;
    Rasterise m_rasterise;
    // The ratio the follower was last rasterised at, kept apart from the texel scale so that an image that
    // failed to load is not tried again every frame.
    double m_rasterRatio = 0.0;
};
