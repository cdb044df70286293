#include "gl/GLBegin.h"

#include <GL/glew.h>

GLBegin::GLBegin(unsigned int mode)
{
    glBegin(mode);
}

GLBegin::~GLBegin()
{
    glEnd();
}
