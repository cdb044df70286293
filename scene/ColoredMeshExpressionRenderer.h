#pragma once

#include "scene/ExpressionRenderer.h"

// Microarray samples drawn as colours on the cortical surfaces. For now it draws nothing and is never
// hit; it follows the data set it is given.
class ColoredMeshExpressionRenderer : public ExpressionRenderer
{
public:
    ColoredMeshExpressionRenderer(BrainSceneView* view, GeneExpression* gene, bool withStructureMeshes);

    void Display(bool pick, unsigned int nameBase) override;
    void HighlightExpressor(const Expressor* expressor) override;
    float HitTest(const float* rayOrigin, const float* rayDirection, unsigned int& expressorId) override;
    void ExportPOVRay(const char* prefix) override;
    virtual void SetGene(GeneExpression* gene) { m_gene = gene; }

private:
    bool m_withStructureMeshes;
};
