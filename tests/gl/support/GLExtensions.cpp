#include "gl/support/GLExtensions.h"

#include <GL/glew.h>

#include <stdexcept>
#include <string>

void InitGLExtensions()
{
    const GLenum result = glewInit();
    if (result != GLEW_OK)
        throw std::runtime_error(std::string("glewInit failed: ") +
                                 reinterpret_cast<const char*>(glewGetErrorString(result)));
    // GLEW may leave an error behind from probing; tests start from a clean queue.
    for (int k = 0; k < 32 && glGetError() != GL_NO_ERROR; ++k)
    {
    }
}
