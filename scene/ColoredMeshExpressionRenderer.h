#pragma once

#include "scene/ExpressionRenderer.h"

#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class BrainMeshSet;
class GLVertexColoredMesh;
class MicroarrayExpression;

// Microarray samples painted on the inflated cortical surfaces of a view's atlas space ("rh.inflated" and
// "lh.inflated", or their ".partial" forms), and, for atlases that sum samples up per structure, the
// structure meshes coloured by their level (the cortex, which the surfaces show, left out). One renderer
// serves a view; the view points it at each microarray data set in turn. Draws no glyphs.
//
// Main thread, with the scene's GL context current (the surfaces own GL buffers).
class ColoredMeshExpressionRenderer : public ExpressionRenderer
{
public:
    // Loads the surfaces; with withStructureMeshes also the space's structure meshes.
    ColoredMeshExpressionRenderer(BrainSceneView* view, GeneExpression* gene, bool withStructureMeshes);
    ~ColoredMeshExpressionRenderer() override;

    void Display(bool pick, unsigned int nameBase) override;
    // Marks the expressor's sample on the surfaces.
    void HighlightExpressor(const Expressor* expressor) override;
    // The nearest sample on the glyphs, the surfaces or the structure meshes; expressorId its grid id.
    // -1 while the data set is hidden.
    float HitTest(const float* rayOrigin, const float* rayDirection, unsigned int& expressorId) override;
    // The surfaces are the data; they are not exported.
    void ExportPOVRay(const char* prefix) override;
    // "rh.inflated" and "lh.inflated", else their ".partial" forms.
    virtual bool LoadMeshes();
    // Loads "Meshes/<name>.amsh" of the space for each name whose file exists. False when one fails to
    // load; the surfaces before it stay.
    virtual bool LoadMeshes(const std::vector<std::string>& names);
    // The nearest surface on the ray within the box, label its structure.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, const float* range1, const float* range2,
                          const float* range3, const AnnotationLabel*& label);
    virtual void SetGene(GeneExpression* gene);
    // Recolours the surfaces and the structure meshes by the data set's samples.
    virtual void UpdateMeshes(bool force);

    const std::vector<std::shared_ptr<GLVertexColoredMesh>>& GetSurfaces() const { return m_surfaces; }
    BrainMeshSet* GetStructureMeshes() const { return m_structureMeshes.get(); }
    unsigned int GetHighlightedSample() const { return m_highlightedSample; }

private:
    MicroarrayExpression* Microarray() const;

    unsigned int m_highlightedSample = 0;
    std::vector<std::shared_ptr<GLVertexColoredMesh>> m_surfaces;
    std::unique_ptr<BrainMeshSet> m_structureMeshes;
};
