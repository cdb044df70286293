#pragma once

class AtlasSpace;
class BrainExpressionModel;

// The three orthogonal annotation slices of a scene view. For now it draws nothing and is never hit; it
// keeps which slices it has loaded.
class MPRRenderer
{
public:
    MPRRenderer(BrainExpressionModel* model, AtlasSpace* space);
    virtual ~MPRRenderer();
    MPRRenderer(const MPRRenderer&) = delete;
    MPRRenderer& operator=(const MPRRenderer&) = delete;

    virtual void Display(unsigned int nameBase);
    // Every slice is loaded again at the next draw.
    virtual void ResetSlices();
    // The distance along the unit ray, the largest float for a miss; slice -1 for a miss.
    virtual float HitTest(const float* origin, const float* direction, int& slice);

    // The slice index loaded on that plane, -1 when it must be loaded.
    int GetLoadedSlice(int plane) const { return m_loadedSlices[plane]; }

private:
    BrainExpressionModel* m_model;
    AtlasSpace* m_space;
    int m_loadedSlices[3] = {-1, -1, -1};
};
