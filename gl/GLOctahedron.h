#pragma once

// An octahedron glyph of eight triangles with outward face normals.
class GLOctahedron
{
public:
    GLOctahedron();
    // With inTriangles true the eight triangles go into a GL_TRIANGLES primitive the caller has begun
    // (the opposite sense of GLIcosahedron's flag); with false it draws two triangle fans of its own.
    void DrawAt(float x, float y, float z, float size, bool inTriangles) const;

private:
    void Vertex(const float* v, float x, float y, float z, float size) const;
    void EmitTriangles(float x, float y, float z, float size) const;
    void EmitFan(const float* apex, const float (*faceNormals)[3], float x, float y, float z, float size) const;

    float m_top[3], m_rim[4][3], m_bottom[3];
    float m_upperNormals[4][3];
    float m_lowerNormals[4][3];
};
