#include "gl/GLCube.h"

#include "gl/GLBegin.h"

#include <GL/glew.h>

namespace
{

const int kFaces[6][4] = {{0, 1, 2, 3}, {3, 2, 6, 7}, {7, 6, 5, 4}, {4, 5, 1, 0}, {5, 6, 2, 1}, {7, 4, 0, 3}};

const float kNormals[6][3] = {{-1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, -1, 0}, {0, 0, -1}, {0, 0, 1}};

} // namespace

GLCube::GLCube()
    : m_corners{{-0.5f, -0.5f, 0.5f}, {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, 0.5f},
                {0.5f, -0.5f, 0.5f},  {0.5f, -0.5f, -0.5f},  {0.5f, 0.5f, -0.5f},  {0.5f, 0.5f, 0.5f}}
{
}

void GLCube::DrawAt(float x, float y, float z, float sx, float sy, float sz) const
{
    for (int face = 0; face < 6; ++face)
    {
        GLBegin quad(GL_QUADS);
        glNormal3fv(kNormals[face]);
        for (int k = 0; k < 4; ++k)
        {
            const float* c = m_corners[kFaces[face][k]];
            glVertex3f(c[0] * sx + x, c[1] * sy + y, c[2] * sz + z);
        }
    }
}

void GLCube::DrawAt(float x, float y, float z, float size) const
{
    DrawAt(x, y, z, size, size, size);
}

void GLCube::DrawAt(float sx, float sy, float sz) const
{
    DrawAt(0.0f, 0.0f, 0.0f, sx, sy, sz);
}
