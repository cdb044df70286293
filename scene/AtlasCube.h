#pragma once

class AtlasSpace;
class BrainExpressionModel;

// The box of a scene view's grid that the cutting planes leave, and the visible slice planes, with every
// vertex coloured by its own position as a fraction of the grid and texture-mapped to the matching place of
// a volume texture: what the ray caster draws to find where its rays enter and leave. The box is taken
// when it is built; it lives for one frame.
class AtlasCube
{
public:
    // textureScale (three floats, borrowed) turns a grid fraction into a texture coordinate.
    AtlasCube(const BrainExpressionModel* model, const AtlasSpace* space, const float* textureScale);

    // The box as six quads, each after its outward normal.
    void Draw();
    void DrawPlanes(const BrainExpressionModel* model);
    // One box vertex: u, v, w run from 0 to 1 across the box.
    void DrawVertex(float u, float v, float w);
    // One vertex in grid units.
    void DrawPlaneVertex(float x, float y, float z);

private:
    const BrainExpressionModel* m_model;
    const AtlasSpace* m_space;
    float m_dimensions[3];
    float m_high[3];
    float m_low[3];
    const float* m_textureScale;
};
