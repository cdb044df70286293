#include "scene/ExpressionRenderer.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/Colormap.h"
#include "core/GeometryUtils.h"
#include "core/UserPreferences.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/GLBegin.h"
#include "gl/GLCube.h"
#include "gl/GLIcosahedron.h"
#include "gl/GLOctahedron.h"
#include "scene/BrainSceneView.h"
#include "scene/ExpressorFilter.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace
{

const GLCube kCube;
const GLIcosahedron kIcosahedron;
const GLOctahedron kOctahedron;

bool FasterDrawing()
{
    return UserPreferences::GetPreferences()->GetFasterDrawing();
}

// Opens a GL_TRIANGLES batch on demand and closes it with the feature, also when a draw call throws.
class TriangleBatch
{
public:
    TriangleBatch() = default;
    ~TriangleBatch() { Close(); }
    TriangleBatch(const TriangleBatch&) = delete;
    TriangleBatch& operator=(const TriangleBatch&) = delete;
    void Open()
    {
        if (!m_open)
            glBegin(GL_TRIANGLES);
        m_open = true;
    }
    void Close()
    {
        if (m_open)
            glEnd();
        m_open = false;
    }
    bool IsOpen() const { return m_open; }

private:
    bool m_open = false;
};

} // namespace

ExpressionRenderer::ExpressionRenderer(BrainSceneView* view, GeneExpression* gene, bool fixedSize)
    : m_gene(gene)
    , m_view(view)
    , m_hiddenStructures(0, false)
    , m_fixedSize(fixedSize)
{
}

ExpressionRenderer::~ExpressionRenderer() = default;

const std::vector<BrainFeature>* ExpressionRenderer::Features() const
{
    return m_gene ? m_gene->GetBrainFeatures(m_view->GetAtlasSpace()) : nullptr;
}

void ExpressionRenderer::Display(bool pick, unsigned int nameBase)
{
    if (!m_gene || !m_gene->IsVisible())
        return;
    const BrainExpressionModel& model = *m_view->GetModel();
    if (!pick && model.GetLiveUpdate())
    {
        Draw(false);
        return;
    }
    const std::vector<BrainFeature>* features = Features();
    if (!features)
        return;
    const ExpressorFilter filter(model, *m_view->GetAtlasSpace(), *m_gene, &m_hiddenStructures,
                                 pick ? ExpressorFilter::kPick : ExpressorFilter::kCompile);
    if (!pick)
    {
        if (m_dirty)
            Draw(true);
        const std::size_t count = std::min<std::size_t>(features->size(), m_lists.GetCount());
        for (std::size_t k = 0; k < count; ++k)
            if (!(*features)[k].expressors.empty() && filter.StructureShown((*features)[k].label))
                glCallList(m_lists.Get() + static_cast<GLuint>(k));
        return;
    }
    for (const BrainFeature& feature : *features)
    {
        if (feature.expressors.empty() || !filter.StructureShown(feature.label))
            continue;
        for (const Expressor* expressor : feature.expressors)
        {
            int index = 0;
            if (!filter.Passes(*expressor, index))
                continue;
            glLoadName(expressor->id + nameBase);
            kCube.DrawAt(expressor->position[0], expressor->position[1], expressor->position[2],
                         GetExpressorSize(expressor));
        }
    }
}

void ExpressionRenderer::Draw(bool compile)
{
    const BrainExpressionModel& model = *m_view->GetModel();
    if (compile && m_lists.IsEmpty())
    {
        const int count = static_cast<int>(m_view->GetModel()->GetAtlas()->GetOntology()->GetNumLabels());
        m_lists = GLName::GenLists(count);
        if (m_lists.IsEmpty())
            throw std::runtime_error("OpenGL error: could not generate display lists for expression data.");
    }
    const bool fast = compile ? FasterDrawing() : (model.GetLiveUpdate() || FasterDrawing());
    const std::vector<BrainFeature>* features = Features();
    if (features)
    {
        const ExpressorFilter filter(model, *m_view->GetAtlasSpace(), *m_gene, &m_hiddenStructures,
                                     compile ? ExpressorFilter::kCompile : ExpressorFilter::kImmediate);
        // A structure past the list block (an ontology that grew) has no list to go into.
        const std::size_t count =
            compile ? std::min<std::size_t>(features->size(), m_lists.GetCount()) : features->size();
        for (std::size_t k = 0; k < count; ++k)
        {
            const BrainFeature& feature = (*features)[k];
            if (!compile && !filter.StructureShown(feature.label))
                continue;
            if (compile)
                glNewList(m_lists.Get() + static_cast<GLuint>(k), GL_COMPILE);
            try
            {
                DrawFeature(feature, filter, fast);
            }
            catch (...)
            {
                if (compile)
                    glEndList();
                throw;
            }
            if (compile)
                glEndList();
        }
    }
    if (compile)
    {
        m_compiledColorMode = model.GetGeneColorMode();
        m_dirty = false;
    }
}

void ExpressionRenderer::DrawFeature(const BrainFeature& feature, const ExpressorFilter& filter, bool fast)
{
    if (feature.expressors.empty())
        return;
    const bool projection = m_gene->GetDataType() == GeneExpression::PROJECTION;
    const std::size_t lines = projection ? feature.streamLines.size() : 0;
    TriangleBatch batch;
    if (!projection)
        batch.Open();
    int previous = -1;
    float base[3] = {0.0f, 0.0f, 0.0f};
    for (std::size_t j = 0; j < feature.expressors.size(); ++j)
    {
        if (projection && !batch.IsOpen() && j == lines)
            batch.Open();
        const Expressor& expressor = *feature.expressors[j];
        int index = 0;
        if (!filter.Passes(expressor, index))
            continue;
        if (index != previous)
            SetGlyphColor(feature, index, base);
        previous = index;
        const float size = GetExpressorSize(&expressor) * (fast ? 2.0f : 1.0f);
        const float* p = expressor.position;
        if (projection && j < lines)
            kCube.DrawAt(p[0], p[1], p[2], size);
        else
        {
            const float glyph = projection ? 0.75f * size : size;
            if (fast)
                kOctahedron.DrawAt(p[0], p[1], p[2], glyph, true);
            else
                kIcosahedron.DrawAt(p[0], p[1], p[2], glyph, false);
        }
        if (j < lines)
            ProjectionStreamLines::DrawLine(feature.streamLines[j], base, fast, 1.0f);
    }
}

void ExpressionRenderer::SetGlyphColor(const BrainFeature& feature, int index, float* base) const
{
    const BrainExpressionModel& model = *m_view->GetModel();
    const Atlas& atlas = *model.GetAtlas();
    const float boost = atlas.HasStretchedExpressionRangeForDisplay() ? 0.75f : 0.0f;
    const Colormap* colormap = model.GetGeneColormap();
    float factor = static_cast<float>(index) / 255.0f;
    if (colormap && colormap->valid && colormap->entries.size() >= 3 * Colormap::NUM_ENTRIES)
    {
        for (int c = 0; c < 3; ++c)
            base[c] = colormap->entries[3 * index + c] / 255.0f;
    }
    else if (model.GetGeneColorMode() == 1 && feature.label)
    {
        for (int c = 0; c < 3; ++c)
            base[c] = feature.label->color[c] / 255.0f;
        factor *= 0.7f;
    }
    else
    {
        for (int c = 0; c < 3; ++c)
            base[c] = m_gene->GetColor()[c];
    }
    glColor3f(base[0] * (factor + boost), base[1] * (factor + boost), base[2] * (factor + boost));
}

void ExpressionRenderer::HighlightExpressor(const Expressor* expressor)
{
    if (!expressor || !expressor->label || expressor->label->selector.Intersects(m_hiddenStructures))
        return;
    glColor4f(0.0f, 0.8f, 0.0f, 1.0f);
    const float size = GetExpressorSize(expressor);
    const float* p = expressor->position;
    if (FasterDrawing())
        kOctahedron.DrawAt(p[0], p[1], p[2], 2.25f * size, false);
    else
        kIcosahedron.DrawAt(p[0], p[1], p[2], 1.5f * size, true);
}

float ExpressionRenderer::HitTest(const float* rayOrigin, const float* rayDirection, unsigned int& expressorId)
{
    if (!m_gene || !m_gene->IsVisible())
        return -1.0f;
    expressorId = 0;
    float best = kRayNoHit;
    const std::vector<BrainFeature>* features = Features();
    if (!features)
        return best;
    const ExpressorFilter filter(*m_view->GetModel(), *m_view->GetAtlasSpace(), *m_gene, &m_hiddenStructures,
                                 ExpressorFilter::kHitTest);
    for (const BrainFeature& feature : *features)
    {
        if (feature.expressors.empty() || !filter.StructureShown(feature.label))
            continue;
        for (const Expressor* expressor : feature.expressors)
        {
            int index = 0;
            if (!filter.Passes(*expressor, index))
                continue;
            const float radius = std::max(GetExpressorSize(expressor), 0.15f);
            if (rayPointDistance(rayOrigin, rayDirection, expressor->position) > radius)
                continue;
            float offset[3];
            subtractVectors(expressor->position, rayOrigin, offset);
            const float candidate = std::sqrt(vdot(offset, offset)) - radius;
            if (candidate < best)
            {
                best = candidate;
                expressorId = expressor->id;
            }
        }
    }
    return best;
}

void ExpressionRenderer::ColorModeChanged(bool force)
{
    if (force || m_view->GetModel()->GetGeneColorMode() != m_compiledColorMode)
        m_dirty = true;
}

void ExpressionRenderer::ThresholdChanged()
{
    m_dirty = true;
}

void ExpressionRenderer::SetHiddenStructureSelector(const Selector& selector)
{
    m_hiddenStructures = selector;
}

float ExpressionRenderer::GetExpressorSize(const Expressor* expressor) const
{
    if (m_fixedSize)
        return 1.75f;
    const float base = expressor->density / 1000.0f;
    if (m_gene && m_gene->GetDataType() == GeneExpression::PROJECTION)
        return std::clamp(base * std::fabs(expressor->intensity) / 255.0f, 0.2f, 0.35f);
    const float product = base * expressor->intensity;
    const float size = product <= 20.0f ? product / 25.0f : 1.0f;
    return std::max(size, 0.05f);
}

bool ExpressionRenderer::ExpressorVisible(const BrainExpressionModel* model, const AtlasSpace* space,
                                          const Expressor* expressor, const GeneExpression* gene)
{
    if (!model || !space || !expressor || !gene)
        return false;
    const ExpressorFilter filter(*model, *space, *gene, nullptr, ExpressorFilter::kVisible);
    int index = 0;
    return filter.StructureShown(expressor->label) && filter.Passes(*expressor, index);
}

std::string ExpressionRenderer::POVRayFileName(const std::string& prefix, const std::string& symbol)
{
    std::string name = symbol;
    for (char& c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return prefix + name + ".pov";
}

void ExpressionRenderer::ExportPOVRay(const char* prefix)
{
    if (!m_gene)
        return;
    std::ofstream file(POVRayFileName(prefix ? prefix : "", m_gene->GetSymbol()), std::ios::out | std::ios::trunc);
    if (!file)
        throw std::runtime_error("File could not be written.");
    const BrainExpressionModel& model = *m_view->GetModel();
    const std::vector<BrainFeature>* features = Features();
    const Colormap* colormap = model.GetGeneColormap();
    if (colormap && (!colormap->valid || colormap->entries.size() < 3 * Colormap::NUM_ENTRIES))
        colormap = nullptr;
    const float* geneColor = m_gene->GetColor();
    float color[3] = {geneColor[0] * 0.7f, geneColor[1] * 0.7f, geneColor[2] * 0.7f};
    const ExpressorFilter filter(model, *m_view->GetAtlasSpace(), *m_gene, nullptr, ExpressorFilter::kExport);
    for (const BrainFeature& feature : features ? *features : std::vector<BrainFeature>())
    {
        if (!filter.StructureShown(feature.label))
            continue;
        if (model.GetGeneColorMode() == 1)
        {
            const bool unassigned = feature.label->annotationValue == 0 && !feature.expressors.empty();
            for (int c = 0; c < 3; ++c)
                color[c] = unassigned ? geneColor[c] * 0.7f : feature.label->color[c] / 255.0f * 0.7f;
        }
        for (const Expressor* expressor : feature.expressors)
        {
            int index = 0;
            if (!filter.Passes(*expressor, index))
                continue;
            if (colormap)
                for (int c = 0; c < 3; ++c)
                    color[c] = colormap->entries[3 * index + c] / 255.0f;
            const float* p = expressor->position;
            file << "DrawExpressor(" << p[0] << "," << p[1] << "," << p[2] << "," << GetExpressorSize(expressor) << ","
                 << color[0] << "," << color[1] << "," << color[2] << ")\n";
        }
    }
    file.close();
    if (!file)
        throw std::runtime_error("File could not be written.");
}
