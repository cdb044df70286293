#include "atlas/BrainMeshSet.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/Colormap.h"
#include "atlas/GLLines.h"
#include "atlas/GLTriangleMesh.h"
#include "atlas/GLVertexColoredMesh.h"
#include "atlas/MicroarraySamples.h"
#include "atlas/POVRayIdentifier.h"
#include "atlas/PointSet.h"
#include "atlas/SampleColoringState.h"
#include "atlas/SampleLevelColor.h"
#include "core/Alerts.h"
#include "core/FileUtils.h"
#include "core/GeometryUtils.h"
#include "core/UserPreferences.h"

#include <GL/glew.h>

#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>

#include <algorithm>
#include <locale>
#include <set>
#include <stdexcept>

namespace
{

// Any entry at the path counts, as a file manager would see it.
bool Present(const std::string& path)
{
    boost::system::error_code error;
    return boost::filesystem::exists(path, error);
}

} // namespace

std::string ObjectFilePath(const std::string& name, const std::string& folder, const std::string& extension)
{
    return (boost::filesystem::path(folder) / "Meshes" / (boost::format("%1%.%2%") % name % extension).str()).string();
}

std::string MeshPath(const std::string& name, const std::string& folder)
{
    return ObjectFilePath(name, folder, "msh");
}

std::string AnnotatedMeshPath(const std::string& name, const std::string& folder)
{
    return ObjectFilePath(name, folder, "amsh");
}

std::string LinesPath(const std::string& name, const std::string& folder)
{
    return ObjectFilePath(name, folder, "ls");
}

BrainMeshSet::BrainMeshSet(AtlasSpace* space)
    : m_space(space)
    , m_ontology(space->GetAtlas()->GetOntology())
    , m_path(space->GetPath())
{
    const float* meshResolution = space->GetMeshResolution();
    const float* viewResolution = space->GetViewResolution();
    for (int axis = 0; axis < 3; ++axis)
        m_scale[axis] = meshResolution[axis] / viewResolution[axis];

    const unsigned int count = m_ontology->GetNumLabels();
    m_structures.resize(count);
    for (unsigned int i = 0; i < count; ++i)
    {
        Structure& structure = m_structures[i];
        structure.label = m_ontology->GetAnnotationLabelByIndex(i);
        SetLabelColor(structure);
    }
}

void BrainMeshSet::SetLabelColor(Structure& structure)
{
    for (int c = 0; c < 3; ++c)
        structure.color[c] = structure.label->color[c] / 255.0f;
}

// The display lists go with the set; the GLName deletes them.
BrainMeshSet::~BrainMeshSet() = default;

BrainMeshSet::Structure* BrainMeshSet::Find(const AnnotationLabel* label)
{
    if (!label || label->index >= m_structures.size() || m_structures[label->index].label != label)
        return nullptr;
    return &m_structures[label->index];
}

void BrainMeshSet::SetCentroid(Structure& structure, const float* centroid) const
{
    for (int axis = 0; axis < 3; ++axis)
        structure.centroid[axis] = centroid[axis] * m_scale[axis] + m_offset[axis];
}

void BrainMeshSet::LoadObject(int index, const AnnotationLabel*, bool compileList)
{
    Structure& structure = m_structures.at(static_cast<std::size_t>(index));
    // The structure's own label names its files.
    const std::string& name = structure.label->meshName;
    if (!AnnotationLabel::IsMeshFileName(name))
        return;
    bool ready = compileList;
    if (Present(MeshPath(name, m_path)))
    {
        if (!structure.mesh)
        {
            auto mesh = std::make_shared<GLTriangleMesh>();
            mesh->Load(MeshPath(name, m_path).c_str(), true);
            mesh->Transform(m_scale, m_offset);
            SetCentroid(structure, mesh->GetCentroid());
            structure.mesh = std::move(mesh);
        }
        // Without the set's lists (no draw yet) the first draw records it.
        ready = compileList && !m_displayLists.IsEmpty();
        if (ready)
        {
            glNewList(m_displayLists.Get() + static_cast<unsigned int>(index), GL_COMPILE);
            structure.mesh->Draw();
            glEndList();
        }
    }
    else if (Present(AnnotatedMeshPath(name, m_path)))
    {
        if (!structure.object)
        {
            auto mesh = std::make_shared<GLVertexColoredMesh>(m_ontology.get());
            mesh->Load(AnnotatedMeshPath(name, m_path).c_str());
            mesh->Transform(m_scale, m_offset);
            SetCentroid(structure, mesh->GetCentroid());
            structure.object = std::move(mesh);
        }
    }
    else if (Present(LinesPath(name, m_path)))
    {
        if (!structure.object)
        {
            auto lines = std::make_shared<GLLines>(m_space);
            lines->Load(LinesPath(name, m_path).c_str());
            lines->Transform(m_scale, m_offset);
            structure.object = std::move(lines);
        }
    }
    else
        return;
    if (ready)
        structure.loaded = true;
}

void BrainMeshSet::Draw(Selector selector, const AnnotationLabel* selected, bool pick, int nameBase, int, int)
{
    DrawInternal(selector, selected, pick, nameBase);
}

bool BrainMeshSet::Skipped(std::size_t index, const Selector& selector, bool volumeRendering) const
{
    // Structure 1, the ontology's first row, is the whole brain: the volume rendering shows it instead.
    return (volumeRendering && index == 1) || !selector.Intersects(m_structures[index].label->selector);
}

void BrainMeshSet::LoadForDrawing(std::size_t index)
{
    Structure& structure = m_structures[index];
    try
    {
        LoadObject(static_cast<int>(index), structure.label, true);
    }
    catch (const std::exception& error)
    {
        // A broken file must not stop the later structures from drawing on every frame; the user learns
        // once why the structure is missing (the loaders' messages end with the file's path).
        structure.failed = true;
        static std::set<std::string> reported;
        if (reported.insert(error.what()).second)
            ShowAlertBox("The structure \"" + structure.label->name + "\" of the atlas \"" +
                         m_space->GetAtlas()->GetName() + "\" is not drawn: its mesh file could not be read.\n\n" +
                         error.what());
    }
}

void BrainMeshSet::DrawInternal(const Selector& selector, const AnnotationLabel* selected, bool pick, int nameBase)
{
    if (m_displayLists.IsEmpty())
    {
        m_displayLists = GLName::GenLists(static_cast<int>(m_structures.size()));
        if (m_displayLists.IsEmpty())
            throw std::runtime_error("OpenGL error: could not generate display lists for meshes.");
    }
    const bool volumeRendering = UserPreferences::GetPreferences()->GetVolumeRenderingActive();
    for (std::size_t i = 0; i < m_structures.size(); ++i)
    {
        if (Skipped(i, selector, volumeRendering))
            continue;
        Structure& structure = m_structures[i];
        if (!structure.loaded && !structure.failed)
            LoadForDrawing(i);
        if (structure.label == selected)
            glColor4f(0.0f, 0.92f, 0.0f, 0.25f);
        else
            glColor4f(structure.color[0] * 0.7f, structure.color[1] * 0.7f, structure.color[2] * 0.7f, 0.25f);
        glLoadName(structure.label->index + static_cast<unsigned int>(nameBase));
        if (structure.object)
            structure.object->Draw(selected, pick, static_cast<unsigned int>(nameBase));
        else if (structure.mesh && structure.loaded)
            glCallList(m_displayLists.Get() + static_cast<unsigned int>(i));
    }
}

float BrainMeshSet::HitTest(Selector selector, bool preferInner, const float* rayOrigin, const float* rayDirection,
                            const float* range1, const float* range2, const float* range3,
                            const AnnotationLabel*& label)
{
    float best = kRayNoHit;
    const bool volumeRendering = UserPreferences::GetPreferences()->GetVolumeRenderingActive();
    for (std::size_t i = 0; i < m_structures.size(); ++i)
    {
        if (Skipped(i, selector, volumeRendering))
            continue;
        const Structure& structure = m_structures[i];
        const AnnotationLabel* hit = nullptr;
        float distance = kRayNoHit;
        if (structure.object)
            distance = structure.object->HitTest(rayOrigin, rayDirection, range1, range2, range3, hit);
        else if (structure.mesh)
        {
            distance = structure.mesh->HitTest(rayOrigin, rayDirection, range1, range2, range3);
            hit = structure.label;
        }
        if (distance >= kRayNoHit)
            continue;
        const bool inner = preferInner && label && hit && label->subtreeSelector.Intersects(hit->selector);
        if (inner || distance < best)
        {
            label = hit;
            best = distance;
        }
    }
    return best;
}

const float* BrainMeshSet::GetCentroid(const AnnotationLabel* label)
{
    const float* centroid = nullptr;
    for (; label; label = label->parent)
    {
        Structure* structure = Find(label);
        if (!structure)
            break;
        if (!structure->object && !structure->mesh)
            LoadObject(static_cast<int>(label->index), label, false);
        centroid = structure->centroid;
        if (centroid[0] > 0.0f || centroid[1] > 0.0f || centroid[2] > 0.0f)
            return centroid;
    }
    return centroid;
}

std::shared_ptr<GLObject> BrainMeshSet::GetObject(const AnnotationLabel* label)
{
    Structure* structure = Find(label);
    if (!structure)
        return nullptr;
    if (!structure->loaded)
        LoadObject(static_cast<int>(label->index), label, true);
    return structure->object;
}

void BrainMeshSet::ColorByExpressionLevel(const SampleColoringState* model, AtlasSpace* space,
                                          const MicroarraySamples* data)
{
    if (!data)
    {
        for (Structure& structure : m_structures)
            SetLabelColor(structure);
        return;
    }
    if (!model)
        return;
    const AnnotationLabel* selected =
        model->GetSelectedExpressorsSpace() == m_space ? model->GetSelectedExpressorLabel() : nullptr;
    const std::shared_ptr<PointSet> samples = data->GetMicroarrayPointAnnotation(space);
    const std::vector<float>* levels = data->GetMicroarrayExpressionLevels(space);
    const Colormap* colormap = model->GetGeneColormap();
    const bool atlasColors = model->GetGeneColorMode() == 1;
    const bool hasTable = colormap && colormap->valid && colormap->entries.size() >= 3 * Colormap::NUM_ENTRIES;
    if (!hasTable && !atlasColors)
        return;
    for (Structure& structure : m_structures)
        std::fill(structure.color, structure.color + 3, 0.33f);
    if (!samples)
        return;
    for (const PointSet::Point3d& point : samples->points)
    {
        // Placeholders and structures that the ontology lacks (label 0) colour nothing.
        const AnnotationLabel* label = m_ontology->GetAnnotationLabelByDatabaseId(point.structureId);
        if (point.index < 0 || !label || label->index == 0)
            continue;
        unsigned char rgb[3] = {0, 0, 0};
        if (atlasColors)
            std::copy(label->color, label->color + 3, rgb);
        else if (!levels || !SampleLevelColor(point.index, *levels, *data, *model, colormap->entries.data(), rgb))
            continue;
        if (rgb[0] + rgb[1] + rgb[2] == 0)
            continue;
        for (Structure& structure : m_structures)
        {
            if (structure.label == selected)
            {
                const float green[3] = {0.0f, 0.92f, 0.0f};
                std::copy(green, green + 3, structure.color);
            }
            else if (structure.label->databaseId == point.structureId)
                for (int c = 0; c < 3; ++c)
                    structure.color[c] = static_cast<float>(rgb[c]) / 255.0f;
        }
    }
}

void BrainMeshSet::ExportPOVRay(Selector selector, const char* folder)
{
    std::fstream usage;
    OpenStream(usage, (std::string(folder) + "mesh_usage.pov").c_str(), std::ios::out | std::ios::trunc);
    if (!usage)
        throw std::runtime_error("File could not be written.");
    usage.imbue(std::locale::classic());
    for (const Structure& structure : m_structures)
    {
        if (!selector.Intersects(structure.label->selector))
            continue;
        try
        {
            ExportStructure(structure, folder, usage);
        }
        catch (const std::exception&)
        {
            // A structure without a readable mesh is simply not part of the scene.
        }
    }
    usage.close();
    if (usage.fail())
        throw std::runtime_error("File could not be written.");
}

void BrainMeshSet::ExportStructure(const Structure& structure, const char* folder, std::ostream& usage) const
{
    const AnnotationLabel& label = *structure.label;
    if (!AnnotationLabel::IsMeshFileName(label.meshName))
        return;
    const std::string name = POVRayIdentifier(label.abbreviation);
    // The file the scene draws, whatever the abbreviation looks like.
    GLTriangleMesh mesh;
    mesh.Load(MeshPath(label.meshName, m_path).c_str(), false);
    mesh.Transform(m_scale, m_offset);
    mesh.ExportPOVRay(folder, name.c_str());
    usage << "#include \"" << name << ".pov\"\n"
          << "object {\n"
          << "\t" << name << "\n"
          << "\tmake_color(" << label.color[0] / 255.0f << ", " << label.color[1] / 255.0f << ", "
          << label.color[2] / 255.0f << ")\n"
          << "\tfinish { structFinish }\n"
          << "}\n"
          << "\n";
}

bool BrainMeshSet::SpatialObjectFileExists(const AnnotationLabel* label, const Atlas* atlas)
{
    if (!label || !AnnotationLabel::IsMeshFileName(label->meshName))
        return false;
    for (unsigned int i = 0; i < atlas->GetNumSpaces(); ++i)
    {
        const std::string& folder = atlas->GetSpace(i)->GetPath();
        if (Present(MeshPath(label->meshName, folder)) || Present(AnnotatedMeshPath(label->meshName, folder)) ||
            Present(LinesPath(label->meshName, folder)))
            return true;
    }
    return false;
}
