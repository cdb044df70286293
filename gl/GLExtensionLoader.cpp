#include "gl/GLExtensionLoader.h"

#include "gl/CheckGLError.h"

#include <GL/glew.h>

bool GLExtensionLoader::Load()
{
    const GLenum result = glewInit();
    // glewInit may leave an error behind from its probing.
    CheckGLError("glewInit", false);
    return result == GLEW_OK;
}

int GLExtensionLoader::GetMaxSamples()
{
    GLint samples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &samples);
    if (glGetError() != GL_NO_ERROR)
        return 0;
    return samples;
}
