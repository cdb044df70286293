#include "scene/ExpressionStructureControl.h"

ExpressionStructureControl::ExpressionStructureControl(GeneExpression* data, BrainSceneView* view,
                                                       const Colormap* colormap)
    : m_data(data)
    , m_view(view)
    , m_colormap(colormap)
{
}

ExpressionStructureControl::~ExpressionStructureControl() = default;

bool ExpressionStructureControl::OnButtonDown(int, int, int, int, unsigned int)
{
    return false;
}

bool ExpressionStructureControl::OnButtonUp(int, int, int, int, unsigned int)
{
    return false;
}

bool ExpressionStructureControl::OnMouseMove(int, int, int, unsigned int)
{
    return false;
}

void ExpressionStructureControl::SetSize(int x, int y, int width, int height)
{
    m_rect[0] = x;
    m_rect[1] = y;
    m_rect[2] = width;
    m_rect[3] = height;
}

void ExpressionStructureControl::HighlightExpressor(const Expressor*) {}

void ExpressionStructureControl::Draw() {}
