#include "scene/VolumeRenderer.h"

VolumeRenderer::VolumeRenderer(BrainSceneView* view)
    : m_view(view)
{
}

VolumeRenderer::VolumeRenderer(BrainSceneView* view, Image3d* image)
    : m_view(view)
    , m_image(image)
{
}

VolumeRenderer::~VolumeRenderer() = default;

void VolumeRenderer::LoadVolume(const float*, const unsigned int*, const float*, float, bool replace, TaskProgress*)
{
    m_numVolumes = replace ? 1 : m_numVolumes + 1;
}

void VolumeRenderer::EraseVolume()
{
    m_numVolumes = 0;
}

void VolumeRenderer::SetTransferFunction(int low, int high, int lowOut, int highOut)
{
    m_transfer[0] = low;
    m_transfer[1] = high;
    m_transfer[2] = lowOut;
    m_transfer[3] = highOut;
}

void VolumeRenderer::Display() {}

float VolumeRenderer::GetDepth(int, int)
{
    return 1.0f;
}
