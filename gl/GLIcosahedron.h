#pragma once

// A unit icosahedron glyph with vertex normals, 20 triangles.
class GLIcosahedron
{
public:
    GLIcosahedron();
    // With beginEnd false the triangles go into a GL_TRIANGLES primitive the caller has begun, so that
    // many glyphs share one begin and end.
    void DrawAt(float x, float y, float z, float size, bool beginEnd) const;

private:
    void EmitTriangles(float x, float y, float z, float size) const;
};
