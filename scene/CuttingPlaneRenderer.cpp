#include "scene/CuttingPlaneRenderer.h"

CuttingPlaneRenderer::CuttingPlaneRenderer(BrainExpressionModel* model, AtlasSpace* space)
    : m_model(model)
    , m_space(space)
{
}

CuttingPlaneRenderer::~CuttingPlaneRenderer() = default;

void CuttingPlaneRenderer::Display(bool, unsigned int) {}
