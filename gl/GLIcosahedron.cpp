#include "gl/GLIcosahedron.h"

#include "gl/GLBegin.h"

#include <GL/glew.h>

namespace
{

const float X = 0.525731112119133606f;
const float Z = 0.850650808352039932f;

const float kVertices[12][3] = {{-X, 0, Z}, {X, 0, Z},   {-X, 0, -Z}, {X, 0, -Z}, {0, Z, X},  {0, Z, -X},
                                {0, -Z, X}, {0, -Z, -X}, {Z, X, 0},   {-Z, X, 0}, {Z, -X, 0}, {-Z, -X, 0}};

const int kFaces[20][3] = {{0, 4, 1}, {0, 9, 4},  {9, 5, 4},  {4, 5, 8},  {4, 8, 1},  {8, 10, 1}, {8, 3, 10},
                           {5, 3, 8}, {5, 2, 3},  {2, 7, 3},  {7, 10, 3}, {7, 6, 10}, {7, 11, 6}, {11, 0, 6},
                           {0, 1, 6}, {6, 1, 10}, {9, 0, 11}, {9, 11, 2}, {9, 2, 5},  {7, 2, 11}};

} // namespace

GLIcosahedron::GLIcosahedron() = default;

void GLIcosahedron::EmitTriangles(float x, float y, float z, float size) const
{
    for (const auto& face : kFaces)
    {
        for (int index : face)
        {
            const float* v = kVertices[index];
            glNormal3fv(v);
            glVertex3f(v[0] * size + x, v[1] * size + y, v[2] * size + z);
        }
    }
}

void GLIcosahedron::DrawAt(float x, float y, float z, float size, bool beginEnd) const
{
    if (beginEnd)
    {
        GLBegin triangles(GL_TRIANGLES);
        EmitTriangles(x, y, z, size);
    }
    else
    {
        EmitTriangles(x, y, z, size);
    }
}
