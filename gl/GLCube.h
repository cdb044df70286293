#pragma once

// A solid box glyph of six quads with outward face normals.
class GLCube
{
public:
    GLCube();
    // A box of sizes (sx, sy, sz) centred at (x, y, z).
    void DrawAt(float x, float y, float z, float sx, float sy, float sz) const;
    void DrawAt(float x, float y, float z, float size) const;
    // A box of sizes (sx, sy, sz) centred at the origin.
    void DrawAt(float sx, float sy, float sz) const;

private:
    float m_corners[8][3];
};
