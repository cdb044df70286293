#pragma once

class AtlasSpace;
class BrainExpressionModel;

// The handles of the cutting box of a scene view. For now it draws nothing.
class CuttingPlaneRenderer
{
public:
    CuttingPlaneRenderer(BrainExpressionModel* model, AtlasSpace* space);
    virtual ~CuttingPlaneRenderer();
    CuttingPlaneRenderer(const CuttingPlaneRenderer&) = delete;
    CuttingPlaneRenderer& operator=(const CuttingPlaneRenderer&) = delete;

    virtual void Display(bool pick, unsigned int nameBase);

private:
    BrainExpressionModel* m_model;
    AtlasSpace* m_space;
};
