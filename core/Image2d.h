#pragma once

#include <cstddef>
#include <vector>

// A BGRA pixel buffer: 4 bytes a pixel (blue, green, red, alpha), rows from the top, each row exactly
// width * 4 bytes with no padding. The decoded form of in-memory JPEG tiles.
class Image2d
{
public:
    Image2d() = default;

    // Sets the size; the pixel bytes are kept when their count already matches (a tile slot decodes
    // image after image of one size without reallocating), else resized with new bytes zero.
    // Throws std::invalid_argument for a negative size.
    void Initialize(int width, int height);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

    unsigned char* GetPixels() { return m_pixels.data(); }
    const unsigned char* GetPixels() const { return m_pixels.data(); }
    std::size_t GetPixelBytes() const { return m_pixels.size(); }

    // The four bytes of the pixel at column x, row y (counted from the top); no bounds check.
    unsigned char* GetPixel(int x, int y) { return m_pixels.data() + RowOffset(y) + 4 * std::size_t(x); }
    const unsigned char* GetPixel(int x, int y) const { return m_pixels.data() + RowOffset(y) + 4 * std::size_t(x); }

private:
    std::size_t RowOffset(int y) const { return std::size_t(y) * std::size_t(m_width) * 4; }

    int m_width = 0;
    int m_height = 0;
    std::vector<unsigned char> m_pixels;
};
