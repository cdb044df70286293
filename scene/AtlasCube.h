#pragma once

class AtlasSpace;
class BrainExpressionModel;

// The box bounded by the cutting planes of one frame, and the visible slice planes, with every vertex
// coloured by its own position divided by the view grid and textured with that colour times a scale:
// what the ray caster's back-face and front-face passes read their ray ends from.
//
// The bounds are read once, when the cube is built on the stack for one frame: the bound the model
// answers for `true` is called high, the one for `false` low, as the cutting planes name them. The scale
// (three floats) is borrowed and must outlive the cube. Draws with the scene's context current.
class AtlasCube
{
public:
    AtlasCube(const BrainExpressionModel* model, const AtlasSpace* space, const float* textureScale);

    // Six quads, each after its normal.
    void Draw() const;
    // One quad over the whole view grid for each visible slice plane, in the order 2, 1, 0.
    void DrawPlanes(const BrainExpressionModel* model) const;
    // The box point at fractions u, v, w from the high towards the low bound.
    void DrawVertex(float u, float v, float w) const;
    // A point in view units.
    void DrawPlaneVertex(float x, float y, float z) const;

private:
    const BrainExpressionModel* m_model;
    const AtlasSpace* m_space;
    float m_dimensions[3];
    float m_high[3];
    float m_low[3];
    const float* m_textureScale;
};
