#include "scene/MPRRenderer.h"

#include <GL/glew.h>

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/Colormap.h"
#include "core/GeometryUtils.h"
#include "core/Image3d.h"
#include "core/Image3dPlane.h"
#include "expression/BrainExpressionModel.h"

#include <algorithm>
#include <stdexcept>
#include <typeinfo>

namespace
{

const unsigned char kBregmaColour[3] = {0, 0, 200};
const unsigned char kHighlightColour[3] = {0, 255, 0};
const unsigned char kBlack[3] = {0, 0, 0};

Image3dPlane::Plane AsPlane(int plane)
{
    return static_cast<Image3dPlane::Plane>(plane);
}

// The texture's width and height of a plane: its u and v extents.
void PlaneSize(int plane, const unsigned int* d, int& width, int& height)
{
    width = static_cast<int>(plane == 0 ? d[1] : d[0]);
    height = static_cast<int>(plane == 2 ? d[1] : d[2]);
}

bool SameGrid(const Image3d& image, const unsigned int* d)
{
    return image.IsOpen() && image.GetSize(0) == d[0] && image.GetSize(1) == d[1] && image.GetSize(2) == d[2];
}

// Everything of the fill that does not depend on the voxel.
struct SliceStyle
{
    const unsigned char* colours = nullptr; // null: no annotation colours
    unsigned int numColours = 0;
    unsigned int weight = 0; // of the colour, out of 65536
    BrainExpressionModel::Selector highlight{0, false};
    const BrainOntology* ontology = nullptr;
    int spacing[3] = {1, 1, 1};
    int bregma[3] = {0, 0, 0};
    bool largeGrid = false;
};

SliceStyle MakeStyle(BrainExpressionModel& model, AtlasSpace& space)
{
    SliceStyle style;
    Atlas* atlas = model.GetAtlas();
    const Colormap& colormap = atlas->GetAnnotationColormap();
    if (colormap.valid && colormap.entries.size() >= 3)
    {
        style.colours = colormap.entries.data();
        style.numColours = static_cast<unsigned int>(colormap.entries.size() / 3);
        // The model keeps any alpha it is given; outside 0..1 the channel bytes would wrap.
        const float alpha = std::clamp(model.GetAnnotationAlpha(), 0.0f, 1.0f);
        style.weight = static_cast<unsigned int>(alpha * 65536.0f + 0.5f);
    }
    style.ontology = atlas->GetOntology().get();
    style.highlight = BrainExpressionModel::Selector(style.ontology->GetNumLabels(), false);
    if (const AnnotationLabel* selected = model.GetSelectedStructure())
        style.highlight = selected->subtreeSelector;
    const float* resolution = space.GetAtlasResolution();
    const unsigned int* d = space.GetAtlasDimensions();
    for (int a = 0; a < 3; ++a)
    {
        const float r = resolution[a];
        const int spacing = static_cast<int>(r < 500.0f ? 1000.0f / r : 10000.0f / r);
        // Voxels coarser than 10 mm would give no spacing at all.
        style.spacing[a] = std::max(1, spacing);
        style.bregma[a] = space.GetAtlasBregma()[a];
    }
    style.largeGrid = std::max({d[0], d[1], d[2]}) >= 256;
    return style;
}

int Phase(int spacing, int bregma)
{
    const int remainder = ((bregma % spacing) + spacing) % spacing;
    return spacing - remainder;
}

template <typename T>
void Fill(const T* annotation, const unsigned char* reference, const MPRRenderer::Layout& layout, int width, int height,
          const SliceStyle& style, unsigned char* out)
{
    const int u = layout.uAxis;
    const int v = layout.vAxis;
    const int phaseU = Phase(style.spacing[u], style.bregma[u]);
    const int phaseV = Phase(style.spacing[v], style.bregma[v]);
    // Whether a value's structure is highlighted: -1 not yet known.
    std::vector<signed char> highlighted(style.colours ? std::size_t(1) << (8 * sizeof(T)) : 0, -1);
    const auto isHighlighted = [&](unsigned int value) {
        signed char& known = highlighted[value];
        if (known < 0)
        {
            const AnnotationLabel* label = style.ontology->GetAnnotationLabel(static_cast<unsigned short>(value));
            known = label && style.highlight.Intersects(label->selector) ? 1 : 0;
        }
        return known == 1;
    };
    const unsigned int weight = style.weight;
    std::size_t offset = layout.start;
    for (int j = 0; j < height; ++j, offset += layout.rowSkip)
        for (int i = 0; i < width; ++i, offset += layout.uStep, out += 4)
        {
            int grey = reference ? reference[offset] : 0;
            if ((phaseU + i) % style.spacing[u] == 0 || (phaseV + j) % style.spacing[v] == 0)
            {
                if (!style.largeGrid)
                    grey = grey < 11 ? grey + 30 : grey - 10;
                else if (grey < 201)
                    grey += 55;
            }
            const unsigned char* colour = kBlack;
            const unsigned int value = annotation[offset];
            if (!style.colours)
                colour = kBlack;
            else if (j == style.bregma[v] || i == style.bregma[u])
                colour = kBregmaColour;
            else if (value != 0 && isHighlighted(value))
                colour = kHighlightColour;
            else
                colour = style.colours + 3 * (value < style.numColours ? value : 0);
            const unsigned int g = static_cast<unsigned int>(grey) * (65536 - weight);
            out[0] = static_cast<unsigned char>((colour[2] * weight + g) >> 16);
            out[1] = static_cast<unsigned char>((colour[1] * weight + g) >> 16);
            out[2] = static_cast<unsigned char>((colour[0] * weight + g) >> 16);
            out[3] = 255;
        }
}

} // namespace

MPRRenderer::MPRRenderer(BrainExpressionModel* model, AtlasSpace* space)
    : m_model(model)
    , m_space(space)
{
    const unsigned int* d = space->GetAtlasDimensions();
    for (int plane = 0; plane < 3; ++plane)
    {
        int width = 0;
        int height = 0;
        PlaneSize(plane, d, width, height);
        m_textures[plane].Initialize(width, height, GL_BGRA, GL_LINEAR);
    }
}

MPRRenderer::~MPRRenderer() = default;

void MPRRenderer::ResetSlices()
{
    for (int& slice : m_loadedSlices)
        slice = -1;
}

int MPRRenderer::SliceIndex(float location, unsigned int d)
{
    const float k = location + 0.5f;
    if (!(k >= 1.0f))
        return 0;
    if (k >= static_cast<float>(d))
        return d > 0 ? static_cast<int>(d) - 1 : 0;
    return static_cast<int>(k);
}

MPRRenderer::Layout MPRRenderer::SliceLayout(int plane, int slice, const unsigned int* d)
{
    const std::size_t k = static_cast<std::size_t>(slice);
    const std::size_t row = d[0];
    const std::size_t sheet = static_cast<std::size_t>(d[0]) * d[1];
    switch (plane)
    {
    case 0:
        return {1, 2, k, row, 0};
    case 1:
        return {0, 2, row * k, 1, sheet - row};
    default:
        return {0, 1, sheet * k, 1, 0};
    }
}

bool MPRRenderer::FillSlice(BrainExpressionModel& model, AtlasSpace& space, int plane, int slice, unsigned char* out)
{
    const unsigned int* d = space.GetAtlasDimensions();
    const Image3d* annotation = space.GetFullSizeAnnotationImage();
    if (!annotation || !SameGrid(*annotation, d))
        return false;
    const std::type_info& type = annotation->GetPixelType();
    if (type != typeid(unsigned char) && type != typeid(unsigned short))
        throw std::runtime_error("Annotation image pixel type not supported");
    const Image3d* atlasImage = space.GetAtlasImage();
    const unsigned char* reference = nullptr;
    if (atlasImage && SameGrid(*atlasImage, d) && atlasImage->GetPixelType() == typeid(unsigned char))
        reference = static_cast<const unsigned char*>(atlasImage->GetBuffer());
    const Layout layout = SliceLayout(plane, slice, d);
    int width = 0;
    int height = 0;
    PlaneSize(plane, d, width, height);
    const SliceStyle style = MakeStyle(model, space);
    if (type == typeid(unsigned char))
        Fill(static_cast<const unsigned char*>(annotation->GetBuffer()), reference, layout, width, height, style, out);
    else
        Fill(static_cast<const unsigned short*>(annotation->GetBuffer()), reference, layout, width, height, style, out);
    return true;
}

void MPRRenderer::LoadSlice(int plane, int slice, int, int, std::size_t, std::size_t, std::size_t)
{
    GLTexture& texture = m_textures[plane];
    // Filled aside so that a failure leaves the texture as it was.
    std::vector<unsigned char> pixels(texture.GetPixelBytes());
    if (!FillSlice(*m_model, *m_space, plane, slice, pixels.data()))
        return;
    std::copy(pixels.begin(), pixels.end(), texture.GetPixels());
    texture.TextureChanged();
    m_loadedSlices[plane] = slice;
}

void MPRRenderer::LoadPlane(int plane, float location)
{
    const unsigned int* d = m_space->GetAtlasDimensions();
    const int slice = SliceIndex(location, d[plane]);
    if (slice == m_loadedSlices[plane])
        return;
    const Layout layout = SliceLayout(plane, slice, d);
    LoadSlice(plane, slice, layout.uAxis, layout.vAxis, layout.start, layout.uStep, layout.rowSkip);
}

void MPRRenderer::LoadAxialSlice(float location)
{
    LoadPlane(1, location);
}

void MPRRenderer::LoadCoronalSlice(float location)
{
    LoadPlane(0, location);
}

void MPRRenderer::LoadSagittalSlice(float location)
{
    LoadPlane(2, location);
}

void MPRRenderer::Display(unsigned int name)
{
    const auto visible = [this](int plane) { return m_model->GetMPRPlaneVisible(AsPlane(plane)); };
    if (visible(1))
    {
        glLoadName(name + 1);
        DrawAxialSlice();
    }
    if (visible(0))
    {
        glLoadName(name + 0);
        DrawCoronalSlice();
    }
    if (visible(2))
    {
        glLoadName(name + 2);
        DrawSagittalSlice();
    }
}

void MPRRenderer::DrawAxialSlice()
{
    DrawSlice(1);
}

void MPRRenderer::DrawCoronalSlice()
{
    DrawSlice(0);
}

void MPRRenderer::DrawSagittalSlice()
{
    DrawSlice(2);
}

void MPRRenderer::DrawSlice(int plane)
{
    const unsigned int* d = m_space->GetAtlasDimensions();
    const float location = m_model->GetMPRSliceLocation(AsPlane(plane)) * static_cast<float>(d[plane]);
    LoadPlane(plane, location);
    const Layout layout = SliceLayout(plane, 0, d);
    const float du = static_cast<float>(d[layout.uAxis]);
    const float dv = static_cast<float>(d[layout.vAxis]);
    const float* atlasResolution = m_space->GetAtlasResolution();
    const float* viewResolution = m_space->GetViewResolution();
    const auto vertex = [&](float u, float v) {
        float p[3];
        p[plane] = location;
        p[layout.uAxis] = u;
        p[layout.vAxis] = v;
        glVertex3fv(p);
    };
    glPushMatrix();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glScalef(atlasResolution[0] / viewResolution[0], atlasResolution[1] / viewResolution[1],
             atlasResolution[2] / viewResolution[2]);
    GLTexture& texture = m_textures[plane];
    texture.BindTexture();
    glEnable(GL_TEXTURE_2D);
    const float s = du / static_cast<float>(texture.GetTextureWidth());
    const float t = dv / static_cast<float>(texture.GetTextureHeight());
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    vertex(0.0f, 0.0f);
    glTexCoord2f(s, 0.0f);
    vertex(du, 0.0f);
    glTexCoord2f(s, t);
    vertex(du, dv);
    glTexCoord2f(0.0f, t);
    vertex(0.0f, dv);
    glEnd();
    if (plane == 1)
        glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0.25f, 0.25f, 0.25f, 1.0f);
    glBegin(GL_LINE_LOOP);
    vertex(-0.5f, -0.5f);
    vertex(du + 0.5f, -0.5f);
    vertex(du + 0.5f, dv + 0.5f);
    vertex(-0.5f, dv + 0.5f);
    glEnd();
    glPopMatrix();
}

float MPRRenderer::HitTest(const float* origin, const float* direction, int& index)
{
    index = -1;
    float best = kRayNoHit;
    const unsigned int* d = m_space->GetAtlasDimensions();
    const float* atlasResolution = m_space->GetAtlasResolution();
    const float* viewResolution = m_space->GetViewResolution();
    float extent[3];
    float scale[3];
    for (int a = 0; a < 3; ++a)
    {
        scale[a] = atlasResolution[a] / viewResolution[a];
        extent[a] = static_cast<float>(d[a]) * scale[a];
    }
    for (const int plane : {2, 0, 1})
    {
        if (!m_model->GetMPRPlaneVisible(AsPlane(plane)))
            continue;
        const float c = static_cast<float>(d[plane]) * m_model->GetMPRSliceLocation(AsPlane(plane)) * scale[plane];
        const int u = plane == 0 ? 1 : 0;
        const int v = plane == 2 ? 1 : 2;
        float corners[4][3];
        const float uv[4][2] = {{0, 0}, {extent[u], 0}, {extent[u], extent[v]}, {0, extent[v]}};
        for (int i = 0; i < 4; ++i)
        {
            corners[i][plane] = c;
            corners[i][u] = uv[i][0];
            corners[i][v] = uv[i][1];
        }
        const float distance = rayQuadDistance(origin, direction, corners[0], corners[1], corners[2], corners[3]);
        if (distance < best)
        {
            best = distance;
            index = plane;
        }
    }
    return best;
}
