#include "gl/CheckGLError.h"

#include <GL/glew.h>

#include <stdexcept>

namespace
{

unsigned int ReadFromGL()
{
    return glGetError();
}

GLErrorSource errorSource = &ReadFromGL;

} // namespace

GLErrorSource SetGLErrorSource(GLErrorSource source)
{
    GLErrorSource previous = errorSource;
    errorSource = source ? source : &ReadFromGL;
    return previous;
}

unsigned int ReadGLError()
{
    return errorSource();
}

const char* GLErrorText(unsigned int code)
{
    switch (code)
    {
    case GL_INVALID_ENUM:
        return "invalid enum";
    case GL_INVALID_VALUE:
        return "invalid value";
    case GL_INVALID_OPERATION:
        return "invalid operation";
    case GL_STACK_OVERFLOW:
        return "stack overflow";
    case GL_STACK_UNDERFLOW:
        return "stack underflow";
    case GL_OUT_OF_MEMORY:
        return "out of memory";
    default:
        return "unknown";
    }
}

std::string GLErrorLine(unsigned int code, const char* where)
{
    return "OpenGL error " + std::to_string(code) + ": " + GLErrorText(code) + " in " + where + "\n";
}

void CheckGLError(const char* where, bool throwOnError)
{
    unsigned int code = ReadGLError();
    if (code == GL_NO_ERROR)
        return;
    std::string message;
    for (int drained = 0; code != GL_NO_ERROR && drained < kMaxDrainedGLErrors; ++drained)
    {
        message += GLErrorLine(code, where);
        if (drained + 1 < kMaxDrainedGLErrors)
            code = ReadGLError();
    }
    if (throwOnError)
        throw std::runtime_error(message);
}
