#pragma once

class AtlasSpace;
class BrainExpressionModel;

// The six cutting planes of a scene view (two per axis) that bound the visible part of the atlas, drawn
// as outlines or, for picking, as filled quads, and ray-picked so that the move-plane tool can drag them.
//
// Planes are numbered by their normal axis. Of each axis the bound the model answers for `true` is called
// high here and the one for `false` low; plane index i (0 to 5) names axis i mod 3, high when i < 3, in
// drawing, selection names and hit tests alike. Works in view voxels; draws with the scene's context
// current. Neither the model nor the space is owned.
class CuttingPlaneRenderer
{
public:
    static constexpr float CUBE_COLOR[4] = {0.0f, 0.5f, 0.0f, 1.0f};

    CuttingPlaneRenderer(BrainExpressionModel* model, AtlasSpace* space);
    virtual ~CuttingPlaneRenderer();
    CuttingPlaneRenderer(const CuttingPlaneRenderer&) = delete;
    CuttingPlaneRenderer& operator=(const CuttingPlaneRenderer&) = delete;

    // Selection names name + axis, plus 3 for the low bound.
    void Display(bool pick, unsigned int name);
    // One plane of axis 1, 0 and 2 at a location (fraction of the grid), spanning the cut box.
    void DrawAxialSlice(float location, bool pick, unsigned int name);
    void DrawCoronalSlice(float location, bool pick, unsigned int name);
    void DrawSagittalSlice(float location, bool pick, unsigned int name);
    // The nearest plane along the unit ray (index 0 to 5), or the largest float and -1; hidden planes are
    // never hit, and of equal distances the plane tested first stays.
    float HitTest(const float* origin, const float* direction, int& index);

    // The four corners of the plane of an axis at c, spanning [low, high] of the other two axes, in the
    // order (p high, q high), (p low, q high), (p low, q low), (p high, q low), p before q in x, y, z.
    static void PlaneCorners(int axis, float c, const float* high, const float* low, float corners[4][3]);

private:
    void DrawPlane(int axis, float location, bool pick, unsigned int name);

    BrainExpressionModel* m_model;
    AtlasSpace* m_space;
};
