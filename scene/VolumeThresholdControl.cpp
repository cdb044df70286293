#include "scene/VolumeThresholdControl.h"

#include "expression/BrainExpressionModel.h"
#include "scene/BrainSceneRenderer.h"

VolumeThresholdControl::VolumeThresholdControl(BrainSceneRenderer* renderer, const Colormap* colormap)
    : ThresholdControl1D(renderer, Range{0.0f, 0.0f}, colormap)
{
}

void VolumeThresholdControl::UpdateModel(float low, float high, bool notify)
{
    if (GetColormap())
        m_renderer->GetModel()->SetMIPWindow(low, high, notify);
    else
        m_renderer->GetModel()->SetVolumeRenderWindow(low, high, notify);
}

Range VolumeThresholdControl::GetModelWindow()
{
    return GetColormap() ? m_renderer->GetModel()->GetMIPWindow() : m_renderer->GetModel()->GetVolumeRenderWindow();
}
