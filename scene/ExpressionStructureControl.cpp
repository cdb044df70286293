#include "scene/ExpressionStructureControl.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/Colormap.h"
#include "atlas/PointSet.h"
#include "expression/BrainExpressionModel.h"
#include "expression/MicroarrayExpression.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "scene/BrainSceneRenderer.h"
#include "scene/BrainSceneView.h"

#include <cmath>

namespace
{

constexpr int GROUP_LEVEL = 100;

void SetTexel(unsigned char* texel, const unsigned char* rgb)
{
    texel[0] = rgb[0];
    texel[1] = rgb[1];
    texel[2] = rgb[2];
    texel[3] = 255;
}

// The colormap entry of a value in the window: (value - low) / span x 255 + 0.5, integer part, 0 to 255.
// Compared before the conversion, so that a far-off value cannot overflow it.
int Entry(float value, float low, float high)
{
    float span = high - low;
    if (span == 0.0f)
        span = 1.0f;
    const float place = (value - low) / span * 255.0f + 0.5f;
    if (place >= 255.0f)
        return 255;
    return place > 0.0f ? static_cast<int>(place) : 0;
}

} // namespace

ExpressionStructureControl::ExpressionStructureControl(GeneExpression* data, BrainSceneView* view,
                                                       const Colormap* colormap)
    : m_gene(data)
    , m_data(dynamic_cast<MicroarrayExpression*>(data))
    , m_view(view)
    , m_colormap(colormap)
{
    ComputeExpressionTexture();
    ComputeStructureTexture();
}

ExpressionStructureControl::~ExpressionStructureControl() = default;

AtlasSpace* ExpressionStructureControl::Space() const
{
    return m_view->GetAtlasSpace();
}

const std::vector<float>* ExpressionStructureControl::Values() const
{
    const std::vector<float>* levels = m_data ? m_data->GetMicroarrayExpressionLevels(Space()) : nullptr;
    // The mean and the deviation come first: fewer than three entries hold no sample.
    return levels && levels->size() > 2 ? levels : nullptr;
}

const PointSet* ExpressionStructureControl::Samples() const
{
    const std::shared_ptr<PointSet> samples = m_data ? m_data->GetMicroarrayPointAnnotation(Space()) : nullptr;
    // The data set holds its point sets for as long as it lives.
    return samples && !samples->points.empty() ? samples.get() : nullptr;
}

void ExpressionStructureControl::SetSize(int x, int y, int width, int height)
{
    m_rect[0] = x;
    m_rect[1] = y;
    m_rect[2] = width;
    m_rect[3] = height;
    ComputeLabels();
}

void ExpressionStructureControl::SetColormap(const Colormap* colormap)
{
    m_colormap = colormap;
    ComputeExpressionTexture();
}

void ExpressionStructureControl::ComputeExpressionTexture()
{
    const std::vector<float>* levels = Values();
    if (!levels)
        return;
    const int n = static_cast<int>(levels->size() - 2);
    m_expressionTexture.Initialize(n, 1, GL_RGBA, GL_NEAREST);
    const BrainExpressionModel* model = m_view->GetModel();
    const Range window = model->GetExpressionWindow();
    const float mean = m_data->GetMean();
    const float deviation = m_data->GetStandardDeviation();
    const bool table = m_colormap && m_colormap->valid && m_colormap->entries.size() >= 3 * Colormap::NUM_ENTRIES;
    const unsigned char black[3] = {0, 0, 0};
    unsigned char* texels = m_expressionTexture.GetPixels();
    for (int i = 0; i < n; ++i)
    {
        float value = (*levels)[static_cast<std::size_t>(i) + 2];
        if (model->ZScoresVisible())
            value = deviation == 0.0f ? 0.0f : (value - mean) / deviation;
        // A value that was not measured has no colour.
        const unsigned char* rgb =
            table && std::isfinite(value) ? &m_colormap->entries[3 * Entry(value, window.min, window.max)] : black;
        SetTexel(texels + 4 * i, rgb);
    }
    m_expressionTexture.TextureChanged();
}

void ExpressionStructureControl::ComputeStructureTexture()
{
    const PointSet* samples = Samples();
    if (!samples)
        return;
    const int n = static_cast<int>(samples->points.size());
    m_structureTexture.Initialize(n, 1, GL_RGBA, GL_NEAREST);
    const std::shared_ptr<BrainOntology> ontology = Space()->GetAtlas()->GetOntology();
    const unsigned char black[3] = {0, 0, 0};
    unsigned char* texels = m_structureTexture.GetPixels();
    for (int i = 0; i < n; ++i)
    {
        const AnnotationLabel* label = ontology->GetAnnotationLabelByDatabaseId(samples->points[i].structureId);
        // Label 0 answers for a structure that the ontology lacks.
        SetTexel(texels + 4 * i, label->index != 0 ? label->color : black);
    }
    m_structureTexture.TextureChanged();
}

unsigned int ExpressionStructureControl::GroupOf(unsigned int structureId) const
{
    const AnnotationLabel* label = Space()->GetAtlas()->GetOntology()->GetAnnotationLabelByDatabaseId(structureId);
    while (label->level != GROUP_LEVEL && label->parent)
        label = label->parent;
    return static_cast<unsigned int>(label->databaseId);
}

void ExpressionStructureControl::ComputeLabels()
{
    m_separators.clear();
    const PointSet* samples = Samples();
    if (!samples || !Values())
        return;
    const std::size_t n = samples->points.size();
    // In floating point: a strip narrower than its samples has a pitch below one pixel.
    const float pitch = static_cast<float>(m_rect[2]) / static_cast<float>(n);
    const std::shared_ptr<BrainOntology> ontology = Space()->GetAtlas()->GetOntology();
    GLDisplay* display = m_view->GetRenderer()->GetContext();
    unsigned int group = GroupOf(samples->points[0].structureId);
    std::size_t start = 0;
    for (std::size_t i = 1; i < n; ++i)
    {
        const unsigned int next = GroupOf(samples->points[i].structureId);
        if (next == group)
            continue;
        m_separators.push_back(static_cast<int>(std::floor(static_cast<float>(i) * pitch + 0.5f)));
        auto& entry = m_labels[group];
        if (!entry.first)
        {
            entry.first.reset(display->CreateTextBox(50, 1, false, GLTextBox::kAlignLeft));
            entry.second = -1;
        }
        entry.first->SetText(ontology->GetAnnotationLabelByDatabaseId(group)->abbreviation);
        const int width = entry.first->GetTextWidth();
        entry.second = static_cast<float>(i - start) * pitch >= static_cast<float>(width)
                           ? static_cast<int>(std::floor(static_cast<float>(start + i) * pitch / 2.0f -
                                                         static_cast<float>(width) / 2.0f + 0.5f))
                           : -1;
        group = next;
        start = i;
    }
}

void ExpressionStructureControl::Draw()
{
    const PointSet* samples = Samples();
    if (!samples || !Values())
        return;
    const int x = m_rect[0], y = m_rect[1], w = m_rect[2], h = m_rect[3];
    const int h2 = h / 2;
    const int n = static_cast<int>(samples->points.size());
    glPushMatrix();
    // All n texels across the strip: the last sample's column is as wide as the others.
    m_expressionTexture.Draw(0, 1, m_expressionTexture.GetWidth(), 0, x, y + h2, x + w, y);
    m_structureTexture.Draw(0, 1, m_structureTexture.GetWidth(), 0, x, y + h, x + w, y + h2);
    for (const auto& [group, label] : m_labels)
        if (label.second >= 0)
            label.first->Draw(x + label.second, y + h);
    glColor4f(1.0f, 1.0f, 1.0f, 0.9f);
    {
        GLBegin lines(GL_LINES);
        for (const int s : m_separators)
        {
            glVertex2i(x + s, y + h2);
            glVertex2i(x + s, y + h + 5);
        }
    }
    if (m_selected >= 0)
    {
        glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
        DrawMarker(static_cast<int>(std::floor(static_cast<float>(w) * (static_cast<float>(m_selected) / n) + 0.5f)));
    }
    if (m_hover >= 0)
    {
        glColor4f(0.0f, 1.0f, 1.0f, 1.0f);
        DrawMarker(m_hover);
    }
    if (!m_title)
    {
        m_title.reset(m_view->GetRenderer()->GetContext()->CreateTextBox(400, 1, false, GLTextBox::kAlignLeft));
        m_title->SetText(m_gene->GetTitle());
    }
    m_title->Draw(x + w / 2 - m_title->GetTextWidth() / 2, y - 15);
    glPopMatrix();
}

void ExpressionStructureControl::DrawMarker(int column) const
{
    const int x = m_rect[0] + column, y = m_rect[1];
    {
        GLBegin line(GL_LINES);
        glVertex2i(x, y);
        glVertex2i(x, y + m_rect[3]);
    }
    GLBegin triangle(GL_TRIANGLES);
    glVertex2i(x, y);
    glVertex2i(x + 5, y - 5);
    glVertex2i(x - 5, y - 5);
}

void ExpressionStructureControl::SelectPixel(int px)
{
    const PointSet* samples = Samples();
    if (!samples || m_rect[2] <= 0)
        return;
    const std::size_t n = samples->points.size();
    const float place = static_cast<float>(px - m_rect[0]) * (static_cast<float>(n) / static_cast<float>(m_rect[2]));
    const float k = std::floor(place + 0.5f);
    if (k < 0.0f || k >= static_cast<float>(n))
        return;
    AtlasSpace* space = Space();
    const unsigned int grid = m_data->GetGridIdFromSampleId(samples->points[static_cast<std::size_t>(k)].id, space);
    if (Expressor* expressor = m_data->GetExpressorAtGrid(grid, space))
        m_view->GetModel()->SelectExpressor(m_data, space, expressor, true);
}

void ExpressionStructureControl::HighlightExpressor(const Expressor* expressor)
{
    if (expressor == m_highlighted)
        return;
    m_highlighted = expressor;
    m_selected = -1;
    const PointSet* samples = Samples();
    if (expressor && expressor->label && samples)
    {
        const unsigned int sample = m_data->GetSampleIdFromGridId(expressor->id, Space());
        for (const PointSet::Point3d& point : samples->points)
            if (point.id == sample)
            {
                m_selected = point.index;
                break;
            }
    }
    m_view->GetRenderer()->Invalidate();
}

bool ExpressionStructureControl::Inside(int x, int y) const
{
    return m_rect[0] <= x && x < m_rect[0] + m_rect[2] && m_rect[1] <= y && y < m_rect[1] + m_rect[3];
}

bool ExpressionStructureControl::OnButtonDown(int, int x, int y, int, unsigned int)
{
    if (!Inside(x, y))
        return false;
    m_pressed = true;
    return true;
}

bool ExpressionStructureControl::OnButtonUp(int, int x, int y, int, unsigned int)
{
    m_pressed = false;
    if (!Inside(x, y))
        return false;
    SelectPixel(x);
    return true;
}

bool ExpressionStructureControl::OnMouseMove(int x, int y, int, unsigned int)
{
    if (!Inside(x, y))
    {
        if (m_hover >= 0)
            m_view->GetRenderer()->Invalidate();
        m_hover = -1;
        return false;
    }
    if (m_pressed)
        SelectPixel(x);
    m_hover = x - m_rect[0];
    m_view->GetRenderer()->Invalidate();
    return true;
}
