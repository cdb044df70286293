#include "scene/KestRenderer.h"

KestRenderer::KestRenderer(BrainSceneView* view)
    : m_view(view)
{
}

KestRenderer::~KestRenderer() = default;

void KestRenderer::Display() {}

float KestRenderer::GetDepth(int, int)
{
    return 1.0f;
}

void KestRenderer::PositionChanged(const float*) {}

void KestRenderer::SetTransferFunction(int low, int high, int lowOut, int highOut)
{
    m_transfer[0] = low;
    m_transfer[1] = high;
    m_transfer[2] = lowOut;
    m_transfer[3] = highOut;
}
