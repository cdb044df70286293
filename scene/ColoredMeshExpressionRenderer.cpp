#include "scene/ColoredMeshExpressionRenderer.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "atlas/GLVertexColoredMesh.h"
#include "atlas/PointSet.h"
#include "core/GeometryUtils.h"
#include "expression/BrainExpressionModel.h"
#include "expression/MicroarrayExpression.h"
#include "scene/BrainSceneView.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/format.hpp>

#include <iostream>

ColoredMeshExpressionRenderer::ColoredMeshExpressionRenderer(BrainSceneView* view, GeneExpression* gene,
                                                             bool withStructureMeshes)
    : ExpressionRenderer(view, gene, false)
{
    LoadMeshes();
    if (!withStructureMeshes)
        return;
    AtlasSpace* space = view->GetAtlasSpace();
    m_structureMeshes = std::make_unique<BrainMeshSet>(space);
    const std::shared_ptr<BrainOntology> ontology = space->GetAtlas()->GetOntology();
    const AnnotationLabel* cortex = ontology->GetAnnotationLabel(std::string("Cx"));
    const AnnotationLabel* hippocampus = ontology->GetAnnotationLabel(std::string("HiF"));
    // Without a cortex the surfaces stand for nothing among the structures: none is hidden.
    Selector hidden(ontology->GetNumLabels(), false);
    if (cortex->index != 0)
        hidden.Merge(cortex->subtreeSelector);
    if (hippocampus->index != 0)
        hidden.Set(hippocampus->subtreeSelector, false);
    SetHiddenStructureSelector(hidden);
}

// The surfaces and the mesh set free GL names: the scene's context is current here, as for drawing.
ColoredMeshExpressionRenderer::~ColoredMeshExpressionRenderer() = default;

MicroarrayExpression* ColoredMeshExpressionRenderer::Microarray() const
{
    return dynamic_cast<MicroarrayExpression*>(m_gene);
}

bool ColoredMeshExpressionRenderer::LoadMeshes()
{
    if (LoadMeshes({"rh.inflated", "lh.inflated"}) && !m_surfaces.empty())
        return true;
    return LoadMeshes({"rh.inflated.partial", "lh.inflated.partial"});
}

bool ColoredMeshExpressionRenderer::LoadMeshes(const std::vector<std::string>& names)
{
    m_surfaces.clear();
    AtlasSpace* space = m_view->GetAtlasSpace();
    const std::shared_ptr<BrainOntology> ontology = m_view->GetModel()->GetAtlas()->GetOntology();
    for (const std::string& name : names)
    {
        const std::string path =
            (boost::filesystem::path(space->GetPath()) / "Meshes" / (boost::format("%1%.amsh") % name).str()).string();
        boost::system::error_code error;
        if (!boost::filesystem::exists(path, error))
            continue;
        try
        {
            auto surface = std::make_shared<GLVertexColoredMesh>(ontology.get());
            surface->Load(path.c_str());
            m_surfaces.push_back(surface);
        }
        catch (const std::exception& failure)
        {
            std::cerr << failure.what() << std::endl;
            return false;
        }
    }
    return true;
}

void ColoredMeshExpressionRenderer::SetGene(GeneExpression* gene)
{
    m_gene = gene;
    SetDirty(true);
    HighlightExpressor(m_view->GetModel()->GetSelectedExpressor());
}

void ColoredMeshExpressionRenderer::UpdateMeshes(bool)
{
    BrainExpressionModel* model = m_view->GetModel();
    AtlasSpace* space = m_view->GetAtlasSpace();
    MicroarrayExpression* data = Microarray();
    if (data && model->GetAtlas() && !m_surfaces.empty())
    {
        for (const std::shared_ptr<GLVertexColoredMesh>& surface : m_surfaces)
            surface->RecolorSamples(data, space, model);
        SetDirty(false);
        HighlightExpressor(model->GetSelectedExpressor());
    }
    if (m_structureMeshes)
        m_structureMeshes->ColorByExpressionLevel(model, space, data);
}

void ColoredMeshExpressionRenderer::HighlightExpressor(const Expressor* expressor)
{
    MicroarrayExpression* data = Microarray();
    if (IsDirty() || !data)
        return;
    const unsigned int sample = data->GetSampleIdFromGridId(expressor ? expressor->id : 0, m_view->GetAtlasSpace());
    for (const std::shared_ptr<GLVertexColoredMesh>& surface : m_surfaces)
        if (surface->HighlightSample(sample))
            m_view->Invalidate();
    m_highlightedSample = sample;
}

void ColoredMeshExpressionRenderer::Display(bool pick, unsigned int nameBase)
{
    if (IsDirty())
        UpdateMeshes(true);
    BrainExpressionModel* model = m_view->GetModel();
    const bool translucent = model->GetMeshDisplayStyle() == BrainExpressionModel::TRANSLUCENT_MESHES;
    if (translucent)
    {
        glDepthMask(GL_FALSE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
    }
    if (!(translucent && pick))
        for (const std::shared_ptr<GLVertexColoredMesh>& surface : m_surfaces)
            surface->Draw(model->GetSelectedStructure(), pick, nameBase, model->GetLiveUpdate());
    if (m_structureMeshes)
    {
        const Expressor* selected =
            model->GetSelectedExpressorsSpace() == m_view->GetAtlasSpace() ? model->GetSelectedExpressor() : nullptr;
        Selector structures = model->GetExpressionSelector();
        structures.Set(GetHiddenStructureSelector(), false);
        m_structureMeshes->Draw(structures, selected ? selected->label : nullptr, false, 0, 0, 0);
    }
    if (translucent)
    {
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
}

float ColoredMeshExpressionRenderer::HitTest(const float* rayOrigin, const float* rayDirection,
                                             unsigned int& expressorId)
{
    if (!m_gene || !m_gene->IsVisible())
        return -1.0f;
    float best = ExpressionRenderer::HitTest(rayOrigin, rayDirection, expressorId);
    BrainExpressionModel* model = m_view->GetModel();
    AtlasSpace* space = m_view->GetAtlasSpace();
    const unsigned int* d = space->GetViewDimensions();
    float ranges[3][2];
    for (int plane = 0; plane < 3; ++plane)
        for (int side = 0; side < 2; ++side)
            ranges[plane][side] = model->GetCuttingPlaneLocation(static_cast<Image3dPlane::Plane>(plane), side == 0) *
                                  static_cast<float>(d[plane]);
    for (const std::shared_ptr<GLVertexColoredMesh>& surface : m_surfaces)
    {
        unsigned int gridId = 0;
        const float distance =
            surface->HitTest(rayOrigin, rayDirection, ranges[2], ranges[0], ranges[1], model, gridId);
        if (distance < best)
        {
            best = distance;
            expressorId = gridId;
        }
    }
    MicroarrayExpression* data = Microarray();
    if (!m_structureMeshes || !data)
        return best;
    const AnnotationLabel* label = nullptr;
    const float distance = m_structureMeshes->HitTest(
        model->GetExpressionSelector(), model->GetMeshDisplayStyle() == BrainExpressionModel::TRANSLUCENT_MESHES,
        rayOrigin, rayDirection, ranges[2], ranges[0], ranges[1], label);
    const std::shared_ptr<PointSet> samples = data->GetMicroarrayPointAnnotation(space);
    if (distance >= best || !label || !samples)
        return best;
    for (const PointSet::Point3d& point : samples->points)
        if (point.structureId == label->databaseId)
        {
            expressorId = data->GetGridIdFromSampleId(point.id, space);
            return distance;
        }
    return best;
}

float ColoredMeshExpressionRenderer::HitTest(const float* rayOrigin, const float* rayDirection, const float* range1,
                                             const float* range2, const float* range3, const AnnotationLabel*& label)
{
    label = nullptr;
    float best = kRayNoHit;
    for (const std::shared_ptr<GLVertexColoredMesh>& surface : m_surfaces)
    {
        const AnnotationLabel* hit = nullptr;
        const float distance = surface->HitTest(rayOrigin, rayDirection, range1, range2, range3, hit);
        if (distance < best)
        {
            best = distance;
            label = hit;
        }
    }
    return best;
}

void ColoredMeshExpressionRenderer::ExportPOVRay(const char*) {}
