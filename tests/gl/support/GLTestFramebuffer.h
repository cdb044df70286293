#pragma once

#include <array>
#include <cstdint>
#include <vector>

// A framebuffer object (RGBA8 colour + 24-bit depth, no multisampling) that tests draw into and read
// back. Needs the test context current.
class GLTestFramebuffer
{
public:
    GLTestFramebuffer(int width, int height);
    ~GLTestFramebuffer();
    GLTestFramebuffer(const GLTestFramebuffer&) = delete;
    GLTestFramebuffer& operator=(const GLTestFramebuffer&) = delete;

    // Binds it for drawing and reading and sets the viewport to the whole of it.
    void Bind();
    void Unbind();
    // RGBA pixel at (x, y), y counted upwards from the bottom row as the GL does.
    std::array<std::uint8_t, 4> Pixel(int x, int y) const;
    // All pixels, rows bottom first, 4 bytes a pixel.
    std::vector<std::uint8_t> ReadPixels() const;

    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    unsigned int GetName() const { return framebuffer; }

private:
    void Release();

    int width, height;
    unsigned int framebuffer = 0;
    unsigned int colour = 0;
    unsigned int depth = 0;
};
