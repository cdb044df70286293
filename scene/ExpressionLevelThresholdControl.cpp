#include "scene/ExpressionLevelThresholdControl.h"

#include "expression/BrainExpressionModel.h"
#include "scene/BrainSceneRenderer.h"

ExpressionLevelThresholdControl::ExpressionLevelThresholdControl(BrainSceneRenderer* renderer, const Range& range,
                                                                 const Colormap* colormap)
    : ThresholdControl1D(renderer, range, colormap)
{
}

void ExpressionLevelThresholdControl::UpdateModel(float low, float high, bool)
{
    m_renderer->GetModel()->SetExpressionWindow(low, high, true);
}

Range ExpressionLevelThresholdControl::GetModelWindow()
{
    return m_renderer->GetModel()->GetExpressionWindow();
}
