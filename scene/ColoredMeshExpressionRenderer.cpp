#include "scene/ColoredMeshExpressionRenderer.h"

#include "core/GeometryUtils.h"

ColoredMeshExpressionRenderer::ColoredMeshExpressionRenderer(BrainSceneView* view, GeneExpression* gene,
                                                             bool withStructureMeshes)
    : ExpressionRenderer(view, gene, false)
    , m_withStructureMeshes(withStructureMeshes)
{
}

void ColoredMeshExpressionRenderer::Display(bool, unsigned int) {}

void ColoredMeshExpressionRenderer::HighlightExpressor(const Expressor*) {}

float ColoredMeshExpressionRenderer::HitTest(const float*, const float*, unsigned int& expressorId)
{
    expressorId = 0;
    return kRayNoHit;
}

void ColoredMeshExpressionRenderer::ExportPOVRay(const char*) {}
