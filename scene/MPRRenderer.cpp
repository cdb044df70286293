#include "scene/MPRRenderer.h"

#include "core/GeometryUtils.h"

MPRRenderer::MPRRenderer(BrainExpressionModel* model, AtlasSpace* space)
    : m_model(model)
    , m_space(space)
{
}

MPRRenderer::~MPRRenderer() = default;

void MPRRenderer::Display(unsigned int) {}

void MPRRenderer::ResetSlices()
{
    for (int& slice : m_loadedSlices)
        slice = -1;
}

float MPRRenderer::HitTest(const float*, const float*, int& slice)
{
    slice = -1;
    return kRayNoHit;
}
