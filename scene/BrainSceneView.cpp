#include "scene/BrainSceneView.h"

#include <GL/glew.h>

#include <GL/glu.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "core/GeometryUtils.h"
#include "core/Image3d.h"
#include "core/Image3dPlane.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/Expressor.h"
#include "expression/GeneExpression.h"
#include "expression/SearchController.h"
#include "gl/DevicePixels.h"
#include "gl/GLCube.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/IconTextures.h"
#include "gl/Trackball.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/ColoredMeshExpressionRenderer.h"
#include "scene/CuttingPlaneRenderer.h"
#include "scene/ExpressionRenderer.h"
#include "scene/ExpressionStructureControl.h"
#include "scene/KestRenderer.h"
#include "scene/MPRRenderer.h"
#include "scene/PointSetRenderer.h"
#include "scene/ProbTrackRenderer.h"
#include "scene/ProbeMouseTool.h"
#include "scene/ProjectionMapRenderer.h"
#include "scene/VolumeRenderer.h"
#include "scene/WaxholmKestRenderer.h"

#include <boost/format.hpp>

#include <algorithm>
#include <iostream>

namespace
{

bool VolumeRenderingActive()
{
    return UserPreferences::GetPreferences()->GetVolumeRenderingActive();
}

// Offsets that keep the glyphs of data sets drawn at one place apart: the eight cube corners, then none.
const float kOffsets[9][3] = {{-1, -1, -1}, {1, 1, 1},  {1, -1, -1}, {-1, -1, 1}, {-1, 1, -1},
                              {1, 1, -1},   {1, -1, 1}, {-1, 1, 1},  {0, 0, 0}};

// A quadric deleted with the scope.
class Quadric
{
public:
    Quadric()
        : m_quadric(gluNewQuadric())
    {
    }
    ~Quadric()
    {
        if (m_quadric)
            gluDeleteQuadric(m_quadric);
    }
    Quadric(const Quadric&) = delete;
    Quadric& operator=(const Quadric&) = delete;
    GLUquadric* Get() const { return m_quadric; }

private:
    GLUquadric* m_quadric;
};

void Cone(GLUquadric* quadric, float x, float y, float z, float angle, float sx, float sy, float sz)
{
    if (!quadric)
        return;
    glPushMatrix();
    glTranslatef(x, y, z);
    if (angle != 0.0f)
        glRotatef(angle, 1.0f, 0.0f, 0.0f);
    glScalef(sx, sy, sz);
    gluCylinder(quadric, 1.0, 0.0, 1.0, 10, 2);
    glPopMatrix();
}

} // namespace

BrainSceneView::BrainSceneView(BrainSceneRenderer* renderer, AtlasSpace* space)
    : m_renderer(renderer)
    , m_space(space)
{
    BrainExpressionModel* model = renderer->GetModel();
    for (int i = 0; i < model->GetNumGenes(); ++i)
        if (const std::shared_ptr<GeneExpression> gene = model->GetGene(i))
            AddGene(gene.get());
    m_slices = std::make_shared<MPRRenderer>(model, space);
    m_cuttingPlanes = std::make_shared<CuttingPlaneRenderer>(model, space);
    m_probeTool = std::make_shared<ProbeMouseTool>(this);
    m_nameLabel.reset(renderer->GetContext()->CreateTextBox(256, 1, false, GLTextBox::kAlignCenter));
    m_nameLabel->SetText(space->GetName());
    GLDisplay* const display = renderer->GetContext();
    m_zoomButton.Create(0, 0, 16, 16);
    MakeDisplayIcon(*m_zoomButton.GetIconTexture(), display, MakeZoomIcon);
    m_closeButton.Create(0, 0, 16, 16);
    MakeDisplayIcon(*m_closeButton.GetIconTexture(), display, MakeCloseTabIcon);
    MakeDisplayIcon(*m_closeButton.GetActiveIconTexture(), display, MakeActiveCloseTabIcon);
    CreateLayers(model->GetAtlas()->GetAtlasId());
}

BrainSceneView::~BrainSceneView() = default;

void BrainSceneView::CreateLayers(unsigned int atlasId)
{
    const Source nothing = [] { return std::string(); };
    if (StructureExists(CORRELATION_STRUCTURE_ID) && VolumeRenderingActive())
    {
        if (atlasId == 310 || atlasId == 350 || atlasId == 378)
            MakeLayer(m_correlation, "correlation", nothing, [this] { return std::make_shared<KestRenderer>(this); });
        if (atlasId == 310 || atlasId == 378)
            MakeLayer(
                m_projection, "projection",
                [this] {
                    return ProjectionMapRenderer::AfferentFile(*m_space,
                                                               ProjectionMapRenderer::DEFAULT_AFFERENT_EXPERIMENT);
                },
                [this] { return std::make_shared<ProjectionMapRenderer>(this); });
        if (atlasId == 35100)
            MakeLayer(m_correlation, "tract", nothing, [this] { return std::make_shared<ProbTrackRenderer>(this); });
        if (atlasId == 50000)
            MakeLayer(
                m_correlation, "correlation",
                [this] {
                    return WaxholmKestRenderer::DefaultLibraryPath() + " with the transforms in " + m_space->GetPath() +
                           "/Transforms";
                },
                [this] { return std::make_shared<WaxholmKestRenderer>(this, m_space); });
        if (m_correlation)
            m_probeTool->SetCanDrag(true);
        MakeLayer(m_volume, "volume", nothing, [this] { return std::make_shared<VolumeRenderer>(this); });
    }
    if (StructureExists(POINT_SET_STRUCTURE_ID))
        MakeLayer(m_pointSet, "point-set", nothing, [this] { return std::make_shared<PointSetRenderer>(this); });
}

// The optional layers read files and libraries that a damaged or partial installation may lack. One that
// cannot be made is left out of this view alone, so that the scene and the other layers still work, and
// the log says once what failed and on what.
template <typename Layer, typename Make>
void BrainSceneView::MakeLayer(std::shared_ptr<Layer>& layer, const char* what, const Source& source, const Make& make)
{
    std::string failure;
    try
    {
        layer = make();
        return;
    }
    catch (const std::exception& error)
    {
        failure = error.what();
    }
    catch (...)
    {
        failure = "unknown error";
    }
    const std::string read = source();
    std::cerr << "The " << what << " layer of the space " << m_space->GetName() << " is left out"
              << (read.empty() ? std::string() : " (" + read + ")") << ": " << failure << std::endl;
}

BrainExpressionModel* BrainSceneView::GetModel() const
{
    return m_renderer->GetModel();
}

void BrainSceneView::Invalidate()
{
    m_renderer->Invalidate();
}

bool BrainSceneView::StructureExists(unsigned long databaseId) const
{
    const AnnotationLabel* label = GetModel()->GetAtlas()->GetOntology()->GetAnnotationLabelByDatabaseId(databaseId);
    return label && label->index != 0;
}

bool BrainSceneView::StructureSelected(unsigned long databaseId) const
{
    const AnnotationLabel* label = GetModel()->GetAtlas()->GetOntology()->GetAnnotationLabelByDatabaseId(databaseId);
    return label && label->index != 0 && label->selector.Intersects(GetModel()->GetStructureSelector());
}

bool BrainSceneView::IsIndexOneSelected() const
{
    const AnnotationLabel* label = GetModel()->GetAtlas()->GetOntology()->GetAnnotationLabelByIndex(1);
    return label && label->index != 0 && label->selector.Intersects(GetModel()->GetStructureSelector());
}

bool BrainSceneView::Placed(const GeneExpression* gene) const
{
    return gene && gene->HasAtlasSpace(m_space);
}

bool BrainSceneView::HoldsVolumeGrid(const GeneExpression* gene) const
{
    return gene && !gene->GetGridValues().empty();
}

void BrainSceneView::LoadVolumeGrid(const GeneExpression* gene, bool replace)
{
    m_volume->LoadVolume(gene->GetGridValues().data(), gene->GetGridSize(), gene->GetGridSpacing(),
                         gene->GetGridValueScale(), replace, nullptr);
}

void BrainSceneView::SetVisible(bool visible)
{
    m_visible = visible;
    BrainExpressionModel* model = GetModel();
    if (!visible && model->GetProbeVisible() && model->GetProbeAtlasSpace() == m_space)
        model->SetProbeVisible(false, true);
}

// --- Data sets ---

bool BrainSceneView::AddGene(GeneExpression* gene)
{
    if (!Placed(gene))
        return false;
    const std::vector<Expressor>* expressors = gene->GetExpressors(m_space);
    const std::size_t count = expressors ? expressors->size() : 0;
    m_expressorStride = std::max<unsigned int>(m_expressorStride, static_cast<unsigned int>(count + 1));
    if (GetModel()->GetAtlas()->GetAtlasId() == 351)
        AddMicroarrayRenderers(gene);
    else
        m_renderers.emplace(gene, std::make_shared<ExpressionRenderer>(this, gene, false));
    ShowGene(gene);
    return true;
}

void BrainSceneView::AddMicroarrayRenderers(GeneExpression* gene)
{
    BrainExpressionModel* model = GetModel();
    Atlas* atlas = model->GetAtlas();
    const bool unionize = atlas->UnionizeExpressionToStructures();
    if (!unionize)
    {
        auto glyphs = std::make_shared<ExpressionRenderer>(this, gene, true);
        const std::shared_ptr<BrainOntology> ontology = atlas->GetOntology();
        Selector hidden = ontology->GetAnnotationLabel(std::string("Cx"))->subtreeSelector;
        hidden.Set(ontology->GetAnnotationLabel(std::string("HiF"))->subtreeSelector, false);
        glyphs->SetHiddenStructureSelector(hidden);
        m_renderers.emplace(gene, glyphs);
    }
    if (!m_coloredMesh)
    {
        m_coloredMesh = std::make_shared<ColoredMeshExpressionRenderer>(this, gene, unionize);
        m_renderers.emplace(gene, m_coloredMesh);
    }
    else
        m_coloredMesh->SetGene(gene);
    const Colormap* colormap = model->GetGeneColormap() ? model->GetGeneColormap() : atlas->GetDefaultColormap();
    if (m_structureControls.count(gene) == 0)
    {
        auto control = std::make_shared<ExpressionStructureControl>(gene, this, colormap);
        control->SetSize(m_originX + 20, m_originY + 60, m_width - 40, 34);
        m_structureControls.emplace(gene, control);
    }
    SetActiveExpressionStructureControl(gene);
}

void BrainSceneView::RemoveGene(GeneExpression* gene)
{
    m_renderers.erase(gene);
    const auto control = m_structureControls.find(gene);
    if (control != m_structureControls.end())
    {
        if (m_activeStructureControl == control->second.get())
            m_activeStructureControl = nullptr;
        m_structureControls.erase(control);
    }
    HideGene(gene);
    Invalidate();
}

void BrainSceneView::ShowGene(GeneExpression* gene)
{
    if (!Placed(gene))
        return;
    SetActiveExpressionStructureControl(gene);
    if (m_volume && HoldsVolumeGrid(gene))
        LoadVolumeGrid(gene, false);
    if (m_coloredMesh)
    {
        if (m_coloredMesh->GetGene() != gene)
            m_coloredMesh->SetGene(gene);
        RekeyColoredMesh(gene);
    }
}

void BrainSceneView::RekeyColoredMesh(GeneExpression* gene)
{
    for (auto entry = m_renderers.begin(); entry != m_renderers.end(); ++entry)
    {
        if (entry->second != m_coloredMesh)
            continue;
        if (entry->first == gene)
            return;
        m_renderers.erase(entry);
        break;
    }
    m_renderers.emplace(gene, m_coloredMesh);
}

void BrainSceneView::HideGene(GeneExpression* gene)
{
    if (!Placed(gene))
        return;
    GetActiveExpressionStructureControl(true);
    if (!m_volume)
        return;
    m_volume->EraseVolume();
    BrainExpressionModel* model = GetModel();
    bool replace = true;
    for (int i = 0; i < model->GetNumGenes(); ++i)
    {
        const std::shared_ptr<GeneExpression> other = model->GetGene(i);
        if (!other || other.get() == gene || !other->IsVisible() || !HoldsVolumeGrid(other.get()))
            continue;
        LoadVolumeGrid(other.get(), replace);
        replace = false;
    }
}

void BrainSceneView::GeneColorChanged()
{
    if (GetModel()->GetGeneColorMode() != 0)
        return;
    for (const auto& entry : m_renderers)
        entry.second->ColorModeChanged(true);
}

void BrainSceneView::ExpressionColorModeChanged()
{
    for (const auto& entry : m_renderers)
        entry.second->ColorModeChanged(true);
    BrainExpressionModel* model = GetModel();
    const Colormap* colormap =
        model->GetGeneColormap() ? model->GetGeneColormap() : model->GetAtlas()->GetDefaultColormap();
    for (const auto& control : m_structureControls)
        control.second->SetColormap(colormap);
}

void BrainSceneView::RegenerateExpressionDisplays()
{
    for (const auto& entry : m_renderers)
        entry.second->ThresholdChanged();
    Invalidate();
}

void BrainSceneView::ReloadMPR()
{
    m_slices->ResetSlices();
}

void BrainSceneView::CheckSelectionVisibility()
{
    BrainExpressionModel* model = GetModel();
    Expressor* expressor = model->GetSelectedExpressor();
    GeneExpression* gene = model->GetSelectedExpressorsGene();
    if (!expressor || !gene || m_renderers.count(gene) != 0)
        return;
    if (!ExpressionRenderer::ExpressorVisible(model, m_space, expressor, gene))
        model->SelectExpressor(nullptr, nullptr, nullptr, true);
}

void BrainSceneView::SetVolumeRenderWindow(float low, float high)
{
    if (!m_atlasVolume)
        return;
    m_atlasVolume->SetTransferFunction(static_cast<int>(low), static_cast<int>(high), 0, 255);
    Invalidate();
}

void BrainSceneView::SetMIPWindow(float low, float high)
{
    if (m_volume)
        m_volume->SetTransferFunction(static_cast<int>(low), static_cast<int>(high), 0, 255);
    if (m_correlation)
        m_correlation->SetTransferFunction(static_cast<int>(low), static_cast<int>(high), 0, 255);
    Invalidate();
}

void BrainSceneView::ExportPOVRay(const char* path)
{
    for (const auto& entry : m_renderers)
        entry.second->ExportPOVRay(path);
    m_space->GetBrainMeshes()->ExportPOVRay(GetModel()->GetStructureSelector(), path);
}

void BrainSceneView::SetActiveExpressionStructureControl(GeneExpression* gene)
{
    m_activeStructureControl = nullptr;
    if (!gene || !gene->IsVisible() || !Placed(gene))
        return;
    const auto control = m_structureControls.find(gene);
    if (control != m_structureControls.end())
        m_activeStructureControl = control->second.get();
}

ExpressionStructureControl* BrainSceneView::GetActiveExpressionStructureControl(bool refresh)
{
    if (!refresh)
        return m_activeStructureControl;
    m_activeStructureControl = nullptr;
    for (const auto& control : m_structureControls)
        if (control.first->IsVisible() && Placed(control.first))
        {
            m_activeStructureControl = control.second.get();
            break;
        }
    return m_activeStructureControl;
}

// --- Picking and the probe ---

namespace
{

// The pick ray through a pointer position, in the view's voxel coordinates.
struct PickRay
{
    float row = 0.0f;
    int viewport[4] = {0, 0, 0, 0};
    float inverse[16];
    float origin[3] = {0.0f, 0.0f, 0.0f};
    float direction[3] = {0.0f, 0.0f, 1.0f};
};

struct PickHits
{
    int slice = -1;
    float sliceDistance = kRayNoHit;
    int plane = -1;
    float planeDistance = kRayNoHit;
    float glyphDistance = kRayNoHit;
    unsigned int glyph = 0;
    GeneExpression* glyphGene = nullptr;
    float meshDistance = kRayNoHit;
    const AnnotationLabel* mesh = nullptr;
};

// The experiment's URL from the atlas's template; empty for a template that is not a format.
std::string FillUrlTemplate(const std::string& text, unsigned int experimentId)
{
    try
    {
        boost::format format(text);
        format.exceptions(boost::io::all_error_bits ^ (boost::io::too_many_args_bit | boost::io::too_few_args_bit));
        return (format % experimentId % "visualize").str();
    }
    catch (const boost::io::format_error&)
    {
        return std::string();
    }
}

// A layer that cannot start its download keeps what it shows; the probe still selects its structure.
void MoveLayerProbe(KestRenderer& layer, const float* probe)
{
    try
    {
        layer.PositionChanged(probe);
    }
    catch (const std::exception&)
    {
    }
}

} // namespace

MouseListener* BrainSceneView::PickObject(int x, int y, bool command, MovePlaneMouseTool* tool)
{
    BrainExpressionModel* model = GetModel();
    PickRay ray;
    ray.row = static_cast<float>(m_renderer->GetHeight() - y - 1);
    const int viewport[4] = {m_originX, m_originY, m_width, m_height};
    std::copy(viewport, viewport + 4, ray.viewport);
    float modelView[16];
    float projection[16];
    SetupViewPort();
    glPushMatrix();
    DoViewTransforms();
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glPopMatrix();
    float combined[16];
    multiplyMatrices(modelView, projection, combined);
    if (!invertMatrix(combined, ray.inverse))
    {
        m_renderer->DeselectAll();
        return nullptr;
    }
    float far[3];
    const float px = static_cast<float>(x);
    if (!unprojectPoint(px, ray.row, -1.0f, ray.inverse, ray.viewport, &ray.origin[0], &ray.origin[1],
                        &ray.origin[2]) ||
        !unprojectPoint(px, ray.row, 0.0f, ray.inverse, ray.viewport, &far[0], &far[1], &far[2]))
    {
        m_renderer->DeselectAll();
        return nullptr;
    }
    subtractVectors(far, ray.origin, ray.direction);
    normalizeVector(ray.direction);
    const float* o = ray.origin;
    const float* dir = ray.direction;

    PickHits hits;
    hits.sliceDistance = m_slices->HitTest(o, dir, hits.slice);
    hits.planeDistance = m_cuttingPlanes->HitTest(o, dir, hits.plane);
    const unsigned int* d = m_space->GetViewDimensions();
    float lo[3];
    float hi[3];
    for (int a = 0; a < 3; ++a)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(a);
        lo[a] = static_cast<float>(d[a]) * model->GetCuttingPlaneLocation(plane, true);
        hi[a] = static_cast<float>(d[a]) * model->GetCuttingPlaneLocation(plane, false);
    }
    const bool planesShown = model->GetCuttingPlanesVisible();
    if (!planesShown)
    {
        for (const auto& entry : m_renderers)
        {
            GeneExpression* gene = entry.second->GetGene();
            if (!gene || !gene->IsVisible())
                continue;
            unsigned int id = 0;
            const float distance = entry.second->HitTest(o, dir, id);
            if (distance < hits.glyphDistance)
            {
                hits.glyphDistance = distance;
                hits.glyph = id;
                hits.glyphGene = gene;
            }
        }
        if (PickLayers(o, dir))
            return nullptr;
        if (ProbeVisible() && m_probeTool->HitTest(o, dir) < hits.glyphDistance)
            return m_probeTool.get();
    }
    const float zRange[2] = {lo[2], hi[2]};
    const float xRange[2] = {lo[0], hi[0]};
    const float yRange[2] = {lo[1], hi[1]};
    const bool translucent = model->GetMeshDisplayStyle() == BrainExpressionModel::TRANSLUCENT_MESHES;
    hits.meshDistance = std::min(m_space->GetBrainMeshes()->HitTest(model->GetStructureSelector(), translucent, o, dir,
                                                                    zRange, xRange, yRange, hits.mesh),
                                 kRayNoHit);
    if (m_volume && !planesShown &&
        PickVolumeDepth(x, ray.row, ray.inverse, ray.viewport, std::min(hits.glyphDistance, hits.meshDistance)))
        return nullptr;

    if (hits.plane >= 0 && hits.planeDistance < hits.sliceDistance && hits.planeDistance < hits.meshDistance)
    {
        tool->SetCuttingPlane(m_space, hits.plane % 3, hits.plane < 3);
        return tool;
    }
    if (hits.slice >= 0 && hits.sliceDistance < hits.glyphDistance && hits.sliceDistance < hits.meshDistance)
    {
        tool->SetMPRPlane(m_space, hits.slice);
        return tool;
    }
    // Translucent meshes let the glyphs inside them be picked.
    if (hits.glyph != 0 && (hits.meshDistance >= hits.glyphDistance || translucent))
    {
        Expressor* expressor = hits.glyphGene->GetExpressorAtGrid(hits.glyph, m_space);
        model->SelectExpressor(hits.glyphGene, m_space, expressor, true);
        return nullptr;
    }
    if (hits.mesh)
    {
        model->SelectExpressor(nullptr, nullptr, nullptr, true);
        model->SelectStructure(hits.mesh, true);
        if (command)
            m_renderer->CenterViewAt(hits.mesh, false, m_space);
        return nullptr;
    }
    m_renderer->DeselectAll();
    return nullptr;
}

bool BrainSceneView::PickLayers(const float* origin, const float* direction)
{
    BrainExpressionModel* model = GetModel();
    const unsigned int* d = m_space->GetViewDimensions();
    Atlas* atlas = model->GetAtlas();
    // Picked experiments are fetched only from atlases that name where their grids lie.
    const std::string format = atlas->HasUrls("0378") ? atlas->GetGridDownloadUrl("0378") : std::string();
    if (m_projection)
    {
        const ProjectionMapRenderer::InjectionStreamLine* line = nullptr;
        m_projection->HitTest(origin, direction, line);
        if (line && line->id != 0 && !line->points.empty() && !format.empty())
        {
            const float* last = line->points.back().position;
            const float next[3] = {last[0] / d[0], last[1] / d[1], last[2] / d[2]};
            model->SetNextProbeLocation(next);
            const std::string url = FillUrlTemplate(format, line->id);
            if (SearchController* search = m_renderer->GetSearchController(); search && !url.empty())
                search->FetchExpressionData(url.c_str(), nullptr);
            return true;
        }
    }
    const PointSet::Point3d* point = nullptr;
    if (m_pointSet)
        m_pointSet->HitTest(origin, direction, point);
    if (!point)
        return false;
    if (!format.empty())
    {
        if (m_projection)
            m_projection->SetAfferentSeedExperiment(point->id);
        const float next[3] = {point->x / d[0], point->y / d[1], point->z / d[2]};
        model->SetNextProbeLocation(next);
        model->SelectStructure(point->label, true);
    }
    return true;
}

bool BrainSceneView::PickVolumeDepth(int x, float row, const float* inverse, const int* viewport, float nearest)
{
    BrainExpressionModel* model = GetModel();
    SetupViewPort();
    glPushMatrix();
    DoViewTransforms();
    const int y = static_cast<int>(row);
    float depth = m_volume->GetDepth(x, y);
    const float layerDepth =
        m_correlation && StructureSelected(CORRELATION_STRUCTURE_ID) ? m_correlation->GetDepth(x, y) : 1.0f;
    glPopMatrix();
    depth = std::min(depth, layerDepth);
    if (!(depth > 0.0f && depth < 1.0f && depth < nearest))
        return false;
    float p[3];
    if (!unprojectPoint(static_cast<float>(x), row, depth, inverse, viewport, &p[0], &p[1], &p[2]))
        return false;
    const unsigned int* d = m_space->GetViewDimensions();
    float probe[3];
    for (int a = 0; a < 3; ++a)
    {
        if (!(p[a] > 0.0f && p[a] < static_cast<float>(d[a])))
            return false;
        probe[a] = p[a] / static_cast<float>(d[a]);
    }
    model->SetProbeLocation(probe, m_space, true);
    return true;
}

bool BrainSceneView::ProbeVisible()
{
    const BrainExpressionModel* model = GetModel();
    if (model->GetProbeAtlasSpace() != m_space)
        return false;
    if (HoldsVolumeGrid(model->GetSelectedGene()))
        return true;
    const Expressor* expressor = model->GetSelectedExpressor();
    if (expressor && expressor->label)
        return true;
    return (m_correlation && m_correlation->GetProbeVisible() && StructureSelected(CORRELATION_STRUCTURE_ID)) ||
           (m_projection && m_projection->GetProbeVisible() && StructureSelected(PROJECTION_STRUCTURE_ID));
}

void BrainSceneView::UpdateProbe()
{
    BrainExpressionModel* model = GetModel();
    const float* probe = model->GetProbeLocation();
    bool layerMoved = false;
    if (m_correlation && StructureSelected(CORRELATION_STRUCTURE_ID))
    {
        MoveLayerProbe(*m_correlation, probe);
        layerMoved = true;
    }
    if (m_projection && StructureSelected(PROJECTION_STRUCTURE_ID))
    {
        MoveLayerProbe(*m_projection, probe);
        layerMoved = true;
    }
    const unsigned int* d = m_space->GetViewDimensions();
    const float* resolution = m_space->GetViewResolution();
    float point[3];
    for (int a = 0; a < 3; ++a)
        point[a] = static_cast<float>(d[a]) * probe[a] * resolution[a];
    if (layerMoved)
    {
        const Image3d* annotation = m_space->GetFullSizeAnnotationImage();
        const float value = annotation ? annotation->GetValue(point[0], point[1], point[2]) : 0.0f;
        const auto annotationValue = static_cast<unsigned short>(static_cast<int>(std::clamp(value, 0.0f, 65535.0f)));
        model->SelectStructure(
            annotationValue != 0 ? model->GetAtlas()->GetOntology()->GetAnnotationLabel(annotationValue) : nullptr,
            true);
        return;
    }
    GeneExpression* gene = model->GetSelectedGene();
    if (!HoldsVolumeGrid(gene))
    {
        m_renderer->HideImage();
        return;
    }
    if (model->GetProbeAtlasSpace() != m_space)
        return;
    ImageSeries& series = gene->GetImageSeries();
    float u = 0.0f;
    float v = 0.0f;
    const ImageSeries::ImageInfo* info = series.FindImageFromPoint(point[0], point[1], point[2], u, v);
    if (!info)
    {
        m_renderer->HideImage();
        return;
    }
    model->SetImageDisplayMode(series.GetPlaneOfSection() != 0 ? BrainExpressionModel::ImageDisplayMode(1)
                                                               : BrainExpressionModel::ImageDisplayMode(0),
                               false);
    m_renderer->ShowImage(info, static_cast<unsigned int>(gene->GetExperimentId()), m_space,
                          static_cast<int>(u) + info->left, static_cast<int>(v) + info->top,
                          static_cast<ImageSeries::PlaneOfSection>(1), 1.0f, series.GetIntensityRange().c_str(), "",
                          "");
}

// --- Drawing ---

void BrainSceneView::VisibleExtent(int width, int height, int& extentX, int& extentY) const
{
    const float* physical = GetModel()->GetAtlas()->GetPhysicalViewSize();
    const float* resolution = m_space->GetViewResolution();
    // An empty viewport keeps the square aspect rather than dividing by zero.
    const float ratioHW = width > 0 && height > 0 ? static_cast<float>(height) / static_cast<float>(width) : 1.0f;
    const float ratioWH = width > 0 && height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
    if (physical[1] <= physical[0])
    {
        extentX = static_cast<int>(physical[0] / resolution[0]);
        extentY = static_cast<int>(static_cast<float>(extentX) * ratioHW);
    }
    else
    {
        extentY = static_cast<int>(physical[1] / resolution[1]);
        extentX = static_cast<int>(static_cast<float>(extentY) * ratioWH);
    }
}

void BrainSceneView::DoProjectionTransforms(int width, int height)
{
    int extentX = 0;
    int extentY = 0;
    VisibleExtent(width, height, extentX, extentY);
    const int halfX = extentX / 2;
    const int halfY = extentY / 2;
    glOrtho(-halfX, halfX, -halfY, halfY, -10.0 * halfX, 10.0 * halfX);
}

void BrainSceneView::SetupViewPort()
{
    DevicePixels(m_renderer->GetContext()).Viewport(m_originX, m_originY, m_width, m_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    DoProjectionTransforms(m_width, m_height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void BrainSceneView::DoViewTransforms()
{
    BrainExpressionModel* model = GetModel();
    m_renderer->GetTrackball()->MultiplyMatrix();
    const float scale = 2.0f * model->GetZoom() / 100.0f;
    glScalef(scale, scale, scale);
    const float* origin = model->GetOrigin();
    glTranslatef(origin[0], origin[1], origin[2]);
    glMultMatrixf(m_space->GetTransform());
    glScalef(1.0f, -1.0f, -1.0f);
    const unsigned int* dimensions = m_space->GetViewDimensions();
    glTranslatef(-0.5f * static_cast<float>(dimensions[0]), -0.5f * static_cast<float>(dimensions[1]),
                 -0.5f * static_cast<float>(dimensions[2]));
}

void BrainSceneView::SetupClipping(bool on)
{
    for (int plane = 0; plane < 6; ++plane)
        glDisable(GL_CLIP_PLANE0 + plane);
    if (!on)
        return;
    BrainExpressionModel* model = GetModel();
    const unsigned int* dimensions = m_space->GetViewDimensions();
    int next = 0;
    for (int axis = 0; axis < 3; ++axis)
    {
        const auto plane = static_cast<Image3dPlane::Plane>(axis);
        const double extent = static_cast<double>(dimensions[axis]);
        const float low = model->GetCuttingPlaneLocation(plane, true);
        const float high = model->GetCuttingPlaneLocation(plane, false);
        if (low > 0.0f)
        {
            GLdouble equation[4] = {0.0, 0.0, 0.0, -(low * extent + 0.1)};
            equation[axis] = 1.0;
            glClipPlane(GL_CLIP_PLANE0 + next, equation);
            glEnable(GL_CLIP_PLANE0 + next++);
        }
        if (high < 1.0f)
        {
            GLdouble equation[4] = {0.0, 0.0, 0.0, high * extent - 0.1};
            equation[axis] = -1.0;
            glClipPlane(GL_CLIP_PLANE0 + next, equation);
            glEnable(GL_CLIP_PLANE0 + next++);
        }
    }
}

BrainSceneView::Selector BrainSceneView::MeshSelector() const
{
    Selector selector = GetModel()->GetStructureSelector();
    if (VolumeRenderingActive())
        selector.Set(GetModel()->GetAtlas()->GetOntology()->GetAnnotationLabelByIndex(1)->selector, false);
    return selector;
}

void BrainSceneView::Display()
{
    if (!m_visible)
        return;
    BrainExpressionModel* model = GetModel();
    SetupViewPort();
    const bool fast = (UserPreferences::GetPreferences()->GetFasterDrawing() || model->GetLiveUpdate()) &&
                      !m_renderer->IsSavingFrames();
    m_renderer->PositionLights();
    DoViewTransforms();
    if (model->GetCompassLocation() == BrainExpressionModel::COMPASS_AT_BREGMA)
        DrawBregma();
    glDisable(GL_LIGHTING);
    if (model->GetCuttingPlanesVisible())
        m_cuttingPlanes->Display(false, 0);
    m_slices->Display(0);
    SetupClipping(true);
    if (!fast)
        glEnable(GL_LIGHTING);
    DrawExpression(0, 0);
    if (m_pointSet)
        m_pointSet->Display(0);
    if (m_projection && StructureSelected(PROJECTION_STRUCTURE_ID))
        m_projection->Display();
    if (fast)
        glEnable(GL_LIGHTING);
    const bool translucent = model->GetMeshDisplayStyle() == BrainExpressionModel::TRANSLUCENT_MESHES;
    if (translucent)
    {
        glDepthMask(GL_FALSE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
    }
    m_space->GetBrainMeshes()->Draw(MeshSelector(), model->GetSelectedStructure(), false, 0, m_width, m_height);
    if (translucent)
    {
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
    SetupClipping(false);
    if (VolumeRenderingActive())
        DisplayVolumes();
    Draw2DOverlays();
}

void BrainSceneView::DisplayVolumes()
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (m_volume)
        m_volume->Display();
    if (m_correlation && StructureSelected(CORRELATION_STRUCTURE_ID))
        m_correlation->Display();
    if (IsIndexOneSelected())
    {
        if (!m_atlasVolume)
            m_atlasVolume = std::make_shared<VolumeRenderer>(this, m_space->GetAtlasImage());
        m_atlasVolume->Display();
    }
    glDisable(GL_BLEND);
}

void BrainSceneView::DrawExpression(unsigned int selectionBase, unsigned int probeName)
{
    BrainExpressionModel* model = GetModel();
    const Expressor* selected = model->GetSelectedExpressor();
    const AtlasSpace* selectedSpace = model->GetSelectedExpressorsSpace();
    const GeneExpression* selectedGene = model->GetSelectedExpressorsGene();
    const bool colocated = model->GetAtlas()->HasColocatedSamples();
    const bool pick = selectionBase != 0;
    int offset = colocated ? 8 : 0;
    unsigned int position = 0;
    for (auto entry = m_renderers.begin(); entry != m_renderers.end(); ++entry, ++position)
    {
        ExpressionRenderer& renderer = *entry->second;
        const GeneExpression* gene = renderer.GetGene();
        if (!gene)
            continue;
        const bool holdsSelection = gene == selectedGene && selectedSpace == m_space;
        glPushMatrix();
        glTranslatef(0.1f * kOffsets[offset][0], 0.1f * kOffsets[offset][1], 0.1f * kOffsets[offset][2]);
        if (!pick)
            renderer.HighlightExpressor(holdsSelection && gene->IsVisible() ? selected : nullptr);
        if (gene->IsVisible())
        {
            renderer.Display(pick, m_expressorStride * position + selectionBase);
            if (holdsSelection)
                m_probeTool->Display(pick, probeName);
        }
        glPopMatrix();
        if (!colocated)
            offset = (offset + 1) % 8;
    }
    if (!selected && ProbeVisible())
        m_probeTool->Display(pick, pick ? probeName : 0);
}

void BrainSceneView::DrawBregma()
{
    static const GLCube cube;
    const Quadric quadric;
    glPushMatrix();
    const float* bregma = m_space->GetViewBregma();
    glTranslatef(bregma[0], bregma[1], bregma[2]);
    glScalef(3.5f, 3.5f, 3.5f);
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    cube.DrawAt(2.0f, 0.15f, 0.15f);
    cube.DrawAt(1.4f, 0.0f, 0.0f, 0.4f, 0.1f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.4f, 0.1f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.1f, 0.4f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.1f, 0.1f, 0.4f);
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    cube.DrawAt(0.15f, 2.0f, 0.15f);
    Cone(quadric.Get(), 0.0f, 1.0f, 0.0f, -90.0f, 0.25f, 0.25f, 0.25f);
    glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
    cube.DrawAt(0.15f, 0.15f, 2.0f);
    Cone(quadric.Get(), 0.0f, 0.0f, 1.0f, 0.0f, 0.25f, 0.25f, 0.25f);
    Cone(quadric.Get(), 0.0f, 0.0f, -1.0f, 0.0f, 0.25f, 0.25f, -0.25f);
    glPopMatrix();
}

bool BrainSceneView::GetNamePanelOrigin(int& x, int& y)
{
    const OverlayRect name = m_renderer->GetLayout().GetName(m_renderer->GetLayoutIndex(this));
    // The name is centred in its box.
    x = name.left - (m_nameLabel->GetWidth() - m_nameLabel->GetTextWidth()) / 2;
    y = name.bottom;
    return !name.IsEmpty();
}

bool BrainSceneView::HasChart() const
{
    return GetModel()->GetAtlas()->GetNumSpaces() > 1 && m_activeStructureControl &&
           m_activeStructureControl->HasStrip();
}

std::string BrainSceneView::GetChartTitle() const
{
    return m_activeStructureControl ? m_activeStructureControl->GetGene()->GetTitle() : std::string();
}

void BrainSceneView::Draw2DOverlays()
{
    BrainExpressionModel* model = GetModel();
    if (model->GetAtlas()->GetNumSpaces() == 1)
        return;
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(m_originX, m_originX + m_width, m_originY, m_originY + m_height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (m_buttonsShown)
    {
        const int cx = m_closeButton.GetOriginX();
        const int cy = m_closeButton.GetOriginY();
        const int k = m_zoomButton.IsEnabled() ? 2 : 1;
        glColor4f(0.3f, 0.3f, 0.3f, 0.5f);
        glRecti(cx - 4, cy - 4, cx - 2 + (m_zoomButton.GetWidth() + 4) * k, cy + 4 + m_closeButton.GetHeight());
        if (m_zoomButton.IsEnabled())
            m_zoomButton.Draw();
        m_closeButton.Draw();
    }
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    int x = 0;
    int y = 0;
    if (GetNamePanelOrigin(x, y))
        m_nameLabel->Draw(x, y);
    if (ChartPlaced())
    {
        m_activeStructureControl->HighlightExpressor(
            model->GetSelectedExpressorsSpace() == m_space ? model->GetSelectedExpressor() : nullptr);
        m_activeStructureControl->Draw();
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// --- Layout and input ---

void BrainSceneView::Reshape(int x, int y, int width, int height)
{
    m_originX = x;
    m_originY = y;
    m_width = width;
    m_height = height;
    m_buttonsShown = false;
}

OverlayRect BrainSceneView::ChartStrip() const
{
    return m_renderer->GetLayout().GetChartStrip(m_renderer->GetLayoutIndex(this));
}

bool BrainSceneView::ChartPlaced() const
{
    return m_activeStructureControl && !ChartStrip().IsEmpty();
}

void BrainSceneView::PlaceOverlays()
{
    const OverlayRect name = m_renderer->GetLayout().GetName(m_renderer->GetLayoutIndex(this));
    m_named = !name.IsEmpty();
    const int buttonX = name.left - 31;
    const int buttonY = name.bottom + (m_nameLabel->GetLineHeight() - 16) / 2;
    if (!m_named || (m_renderer->GetNumVisibleAtlasSpaces() <= 1 && m_visible))
        m_zoomButton.SetEnabled(false);
    else
    {
        m_zoomButton.SetEnabled(true);
        m_zoomButton.MoveButton(buttonX, buttonY);
    }
    m_closeButton.MoveButton(buttonX - 18, buttonY);
    const OverlayRect strip = ChartStrip();
    if (strip.IsEmpty())
        return;
    for (const auto& control : m_structureControls)
    {
        const int* rect = control.second->GetRect();
        if (rect[0] != strip.left || rect[1] != strip.bottom || rect[2] != strip.right - strip.left ||
            rect[3] != strip.top - strip.bottom)
            control.second->SetSize(strip.left, strip.bottom, strip.right - strip.left, strip.top - strip.bottom);
    }
}

int BrainSceneView::ToGLRow(int y) const
{
    return m_renderer->GetHeight() - y - 1;
}

bool BrainSceneView::OnButtonDown(int button, int x, int y, int flags, unsigned int time)
{
    const int row = ToGLRow(y);
    // With a single space, or where the name has given way, the buttons are not drawn: they take no click.
    const bool buttonsLive = GetModel()->GetAtlas()->GetNumSpaces() > 1 && m_named;
    GLTextureButton* pressed = nullptr;
    if (buttonsLive && m_zoomButton.AcceptsClick(x, row))
        pressed = &m_zoomButton;
    else if (buttonsLive && m_closeButton.AcceptsClick(x, row))
        pressed = &m_closeButton;
    if (pressed)
    {
        m_pressedButton = pressed;
        pressed->SetHighlighted(true);
        m_renderer->Invalidate();
        return true;
    }
    if (ChartPlaced())
        return m_activeStructureControl->OnButtonDown(button, x, row, flags, time);
    return false;
}

bool BrainSceneView::OnMouseMove(int x, int y, int flags, unsigned int time)
{
    const int row = ToGLRow(y);
    if (m_pressedButton)
        return !m_pressedButton->SetHighlighted(m_pressedButton->AcceptsClick(x, row));
    const int closeY = m_closeButton.GetOriginY();
    const bool inBand = m_named && closeY - 11 <= row && row <= closeY + m_closeButton.GetHeight() + 11;
    if (inBand != m_buttonsShown)
    {
        m_renderer->RemoveSubViewFocus();
        m_buttonsShown = inBand;
        m_renderer->Invalidate();
        return true;
    }
    if (ChartPlaced())
        return m_activeStructureControl->OnMouseMove(x, row, flags, time);
    return false;
}

bool BrainSceneView::OnButtonUp(int button, int x, int y, int flags, unsigned int time)
{
    const int row = ToGLRow(y);
    GLTextureButton* pressed = m_pressedButton;
    m_pressedButton = nullptr;
    if (pressed)
        pressed->SetHighlighted(false);
    if (pressed == &m_zoomButton && pressed->AcceptsClick(x, row))
        m_renderer->ZoomToSubview(this);
    else if (pressed == &m_closeButton && pressed->AcceptsClick(x, row))
    {
        SetVisible(false);
        if (m_renderer->GetNumVisibleAtlasSpaces() == 0)
            m_renderer->ZoomToSubview(nullptr);
        else
            m_renderer->LayoutSubViews();
    }
    if (m_activeStructureControl)
        m_activeStructureControl->OnButtonUp(button, x, row, flags, time);
    return true;
}

bool BrainSceneView::OnMouseLeave(unsigned int)
{
    if (!m_buttonsShown)
        return false;
    m_buttonsShown = false;
    m_renderer->Invalidate();
    return true;
}

void BrainSceneView::TranslateOrigin(int dx, int dy)
{
    if (m_width <= 0 || m_height <= 0)
        return;
    BrainExpressionModel* model = GetModel();
    const float* physical = model->GetAtlas()->GetPhysicalViewSize();
    const float* resolution = m_space->GetViewResolution();
    const float extent = physical[1] <= physical[0]
                             ? physical[0] / resolution[0]
                             : static_cast<float>(static_cast<int>(physical[1] / resolution[1])) *
                                   (static_cast<float>(m_width) / static_cast<float>(m_height));
    const int voxels = static_cast<int>(extent);
    // A view narrower than one voxel cannot say how far a pixel goes.
    if (voxels <= 0)
        return;
    const float pixelsPerVoxel = static_cast<float>(m_width) / static_cast<float>(voxels);
    const float scale = (2.0f * model->GetZoom() / 100.0f) * pixelsPerVoxel;
    if (scale == 0.0f)
        return;
    float inverse[16];
    if (!invertMatrix(m_renderer->GetTrackball()->GetMatrix(), inverse))
        return;
    const float upIn[4] = {0, 1, 0, 1};
    const float rightIn[4] = {1, 0, 0, 1};
    const float backIn[4] = {0, 0, 1, 1};
    float up[4], right[4], back[4];
    multiplyMatrixVector(inverse, upIn, up);
    multiplyMatrixVector(inverse, rightIn, right);
    multiplyMatrixVector(inverse, backIn, back);
    const float a = static_cast<float>(dx) / scale;
    const float b = static_cast<float>(dy) / scale;
    const float* origin = model->GetOrigin();
    const float moved[3] = {origin[0] + right[0] * a + right[1] * b, origin[1] + up[0] * a + up[1] * b,
                            origin[2] + back[0] * a + back[1] * b};
    model->SetOrigin(moved, false);
}
