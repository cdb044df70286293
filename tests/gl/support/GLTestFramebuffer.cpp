#include "gl/support/GLTestFramebuffer.h"

#include <GL/glew.h>

#include <stdexcept>

GLTestFramebuffer::GLTestFramebuffer(int width, int height)
    : width(width)
    , height(height)
{
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE)
    {
        Release();
        throw std::runtime_error("The test framebuffer is incomplete.");
    }
}

GLTestFramebuffer::~GLTestFramebuffer()
{
    Release();
}

void GLTestFramebuffer::Release()
{
    if (framebuffer)
        glDeleteFramebuffers(1, &framebuffer);
    if (colour)
        glDeleteRenderbuffers(1, &colour);
    if (depth)
        glDeleteRenderbuffers(1, &depth);
    framebuffer = colour = depth = 0;
}

void GLTestFramebuffer::Bind()
{
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width, height);
}

void GLTestFramebuffer::Unbind()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

std::array<std::uint8_t, 4> GLTestFramebuffer::Pixel(int x, int y) const
{
    std::array<std::uint8_t, 4> pixel{};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    return pixel;
}

std::vector<std::uint8_t> GLTestFramebuffer::ReadPixels() const
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}
