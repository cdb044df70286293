#include "scene/ExpressionThresholdControl.h"

ExpressionThresholdControl::ExpressionThresholdControl(BrainSceneRenderer* renderer, const GeneExpression* gene)
    : m_renderer(renderer)
    , m_gene(gene)
{
}

ExpressionThresholdControl::~ExpressionThresholdControl() = default;

bool ExpressionThresholdControl::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool ExpressionThresholdControl::OnButtonUp(int, int, int, int, unsigned int)
{
    return false;
}

bool ExpressionThresholdControl::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}

void ExpressionThresholdControl::Display() {}

int ExpressionThresholdControl::GetWidth()
{
    return 150;
}

int ExpressionThresholdControl::GetHeight()
{
    return 150;
}

void ExpressionThresholdControl::ResetCursorRects() {}
