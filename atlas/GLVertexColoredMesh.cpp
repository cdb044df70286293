#include "atlas/GLVertexColoredMesh.h"

#include "atlas/BrainOntology.h"
#include "atlas/Colormap.h"
#include "atlas/MeshFileReader.h"
#include "atlas/MeshGeometry.h"
#include "atlas/MicroarraySamples.h"
#include "atlas/PointSet.h"
#include "atlas/SampleColoringState.h"
#include "atlas/SampleLevelColor.h"
#include "core/ByteOrder.h"
#include "core/FileUtils.h"
#include "core/GeometryUtils.h"
#include "gl/GLBegin.h"

#include <GL/glew.h>

#include <boost/format.hpp>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

static_assert(sizeof(GLVertexColoredMesh::Point3d) == 40, "the vertex buffer has a stride of 40 bytes");
static_assert(offsetof(GLVertexColoredMesh::Point3d, color) == 24, "colours start at byte 24");
static_assert(sizeof(GLVertexColoredMesh::FilePoint3d) == 36, "a version 1 vertex is 36 bytes");
static_assert(sizeof(GLVertexColoredMesh::FilePoint3d_v0) == 32, "a version 0 vertex is 32 bytes");

namespace
{

constexpr unsigned char kLabelAlpha = 63;

// Byte order of one file vertex; nothing happens on a little-endian host.
void SwapFilePoint(GLVertexColoredMesh::FilePoint3d& p)
{
    ReverseLongWordRange(reinterpret_cast<int*>(&p), 9);
}

void SwapFilePoint(GLVertexColoredMesh::FilePoint3d_v0& p)
{
    ReverseLongWordRange(reinterpret_cast<int*>(&p), 6);
    SwapByteRange(reinterpret_cast<short*>(&p.sampleId), 1);
    ReverseLongWordRange(reinterpret_cast<int*>(&p.shade), 1);
}

void SetShadedColor(GLVertexColoredMesh::Point3d& v, const unsigned char* rgb)
{
    for (int c = 0; c < 3; ++c)
        v.color[c] = GLVertexColoredMesh::Shade(rgb[c], v.shade);
}

bool IsShadedColor(const GLVertexColoredMesh::Point3d& v, const unsigned char* rgb)
{
    for (int c = 0; c < 3; ++c)
        if (v.color[c] != GLVertexColoredMesh::Shade(rgb[c], v.shade))
            return false;
    return true;
}

// The model's colormap as a table of 256 RGB entries, or null.
const unsigned char* ColorTable(const SampleColoringState& model)
{
    const Colormap* colormap = model.GetGeneColormap();
    if (!colormap || !colormap->valid || colormap->entries.size() < 3 * Colormap::NUM_ENTRIES)
        return nullptr;
    return colormap->entries.data();
}

constexpr int ATLAS_COLOR_MODE = 1;

} // namespace

GLVertexColoredMesh::GLVertexColoredMesh(const BrainOntology* ontology)
    : m_ontology(ontology)
{
    // Without a current context there is no vendor string; that counts as no particular vendor.
    const GLubyte* vendor = glGetString(GL_VENDOR);
    const std::string vendorText = vendor ? reinterpret_cast<const char*>(vendor) : "";
    m_immediateMode = !GLEW_VERSION_1_5 || (vendorText.find("Intel") != std::string::npos && !GLEW_VERSION_2_1);
}

unsigned char GLVertexColoredMesh::Shade(unsigned char channel, float shade)
{
    const float factor = (shade - 1.0f) * 0.85f + 1.0f;
    const float product = static_cast<float>(channel) * factor;
    // A hostile shade (huge, infinite or not a number) must not reach an out-of-range conversion.
    if (!(product > -2147483648.0f && product < 2147483648.0f))
        return 0;
    return static_cast<unsigned char>(static_cast<std::int32_t>(product) & 0xFF);
}

void GLVertexColoredMesh::Load(const char* path)
{
    std::fstream file;
    OpenStream(file, path, std::ios::in | std::ios::binary);
    if (!file)
        throw std::runtime_error((boost::format("Mesh file could not be opened: %1%") % (path ? path : "")).str());
    try
    {
        ReadFile(file);
    }
    catch (const std::runtime_error&)
    {
        throw std::runtime_error((boost::format("Error while reading mesh file: %1%") % path).str());
    }
    ComputeCentroid();
}

void GLVertexColoredMesh::ReadFile(std::fstream& file)
{
    m_groupSizes.clear();
    m_vertices.clear();
    m_indices.clear();
    m_sampleVertices.clear();
    m_buffersDirty = true;

    MeshFileReader reader(file);
    if (reader.ReadUint32() != FILE_MARKER)
    {
        file.seekg(0);
        Load_v0(file);
        return;
    }
    const std::uint32_t version = reader.ReadUint32();
    if (version == 0)
    {
        // No writer makes such files; the old layout is read from the first byte, marker and all.
        file.seekg(0);
        Load_v0(file);
        return;
    }
    if (version != 1)
        MeshFileReader::Fail();
    ReadVertices<FilePoint3d>(reader);
    ReadGroups(reader);
}

void GLVertexColoredMesh::Load_v0(std::fstream& file)
{
    MeshFileReader reader(file);
    ReadVertices<FilePoint3d_v0>(reader);
    ReadGroups(reader);
}

template <class FilePoint>
void GLVertexColoredMesh::ReadVertices(MeshFileReader& reader)
{
    const std::uint32_t count = reader.ReadUint32();
    reader.Require(count, sizeof(FilePoint));
    std::vector<FilePoint> points(count);
    reader.Read(points.data(), std::uint64_t(count) * sizeof(FilePoint));

    m_vertices.resize(count);
    m_sampleVertices.clear();
    const AnnotationLabel* label = nullptr;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        FilePoint& p = points[i];
        SwapFilePoint(p);
        Point3d& v = m_vertices[i];
        std::copy(p.normal, p.normal + 3, v.normal);
        std::copy(p.position, p.position + 3, v.position);
        v.structure = p.structure;
        v.sampleId = p.sampleId;
        v.shade = p.shade;
        if (!label || v.structure != m_vertices[i - 1].structure)
            label = m_ontology->GetAnnotationLabel(static_cast<unsigned short>(v.structure & 0xFFFF));
        SetShadedColor(v, label->color);
        v.color[3] = kLabelAlpha;
        if (v.sampleId != 0)
            m_sampleVertices[v.sampleId].push_back(i);
    }
}

void GLVertexColoredMesh::ReadGroups(MeshFileReader& reader)
{
    if (m_vertices.empty())
        return;
    const std::uint32_t groupCount = reader.ReadUint32();
    reader.Require(groupCount, sizeof(std::uint16_t));
    m_groupSizes.reserve(groupCount);
    for (std::uint32_t g = 0; g < groupCount; ++g)
    {
        const std::uint16_t count = reader.ReadUint16();
        // Triangles are drawn and hit three indices at a time: a partial one would read past the group.
        if (count % 3 != 0)
            MeshFileReader::Fail();
        reader.Require(count, sizeof(std::uint32_t));
        const std::size_t start = m_indices.size();
        m_indices.resize(start + count);
        reader.Read(m_indices.data() + start, std::uint64_t(count) * sizeof(std::uint32_t));
        ReverseLongWordRange(reinterpret_cast<int*>(m_indices.data() + start), count);
        for (std::size_t k = start; k < m_indices.size(); ++k)
            if (m_indices[k] >= m_vertices.size())
                MeshFileReader::Fail();
        m_groupSizes.push_back(count);
    }
}

void GLVertexColoredMesh::ComputeCentroid()
{
    double sum[3] = {0.0, 0.0, 0.0};
    for (const Point3d& v : m_vertices)
        for (int axis = 0; axis < 3; ++axis)
            sum[axis] += v.position[axis];
    for (int axis = 0; axis < 3; ++axis)
        m_centroid[axis] =
            m_vertices.empty() ? 0.0f : static_cast<float>(sum[axis] / static_cast<double>(m_vertices.size()));
}

void GLVertexColoredMesh::Transform(const float* scale, const float* offset)
{
    TransformPositions(m_vertices, scale, offset, [](Point3d& v) { return v.position; });
}

void GLVertexColoredMesh::Draw(const AnnotationLabel* label, bool pick, unsigned int nameBase)
{
    Draw(label, pick, nameBase, false);
}

void GLVertexColoredMesh::Draw(const AnnotationLabel* label, bool pick, unsigned int nameBase, bool forceImmediate)
{
    if (m_hidden)
        return;
    if (pick)
    {
        PickDraw(nameBase);
        return;
    }
    if (forceImmediate || m_immediateMode)
    {
        DrawImmediate(label, false, nameBase);
        return;
    }
    if (m_indices.empty())
        return;
    CreateBuffers();
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer.Get());
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_elementBuffer.Get());
    if (m_buffersDirty)
        UploadBuffers();
    if (HighlightNeeded(label))
        PatchHighlight(label);
    DrawBuffers();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void GLVertexColoredMesh::CreateBuffers()
{
    if (m_vertexBuffer.IsEmpty())
    {
        m_vertexBuffer = GLName::GenBuffer();
        if (m_vertexBuffer.IsEmpty())
            throw std::runtime_error("OpenGL error: could not allocate vertex buffer for mesh.");
    }
    if (m_elementBuffer.IsEmpty())
    {
        m_elementBuffer = GLName::GenBuffer();
        if (m_elementBuffer.IsEmpty())
            throw std::runtime_error("OpenGL error: could not allocate element buffer for mesh.");
    }
}

void GLVertexColoredMesh::UploadBuffers()
{
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_vertices.size() * sizeof(Point3d)), m_vertices.data(),
                 GL_STATIC_DRAW);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_indices.size() * sizeof(std::uint32_t)),
                 m_indices.data(), GL_STATIC_DRAW);
    m_buffersDirty = false;
}

bool GLVertexColoredMesh::HighlightNeeded(const AnnotationLabel* label) const
{
    return InSampleMode() ? m_requestedSample != m_currentSample : label != m_highlightedLabel;
}

void GLVertexColoredMesh::PatchHighlight(const AnnotationLabel* label)
{
    auto* buffer = static_cast<Point3d*>(glMapBuffer(GL_ARRAY_BUFFER, GL_READ_WRITE));
    // Nothing changed: the next draw tries again.
    if (!buffer)
        return;
    if (label != m_highlightedLabel)
        PatchLabel(buffer, label);
    else
        PatchSample(buffer);
    // The store lost the buffer's contents: upload them whole and highlight again at the next draw.
    if (glUnmapBuffer(GL_ARRAY_BUFFER) == GL_FALSE)
    {
        m_buffersDirty = true;
        m_highlightedLabel = nullptr;
        m_currentSample = 0;
    }
}

void GLVertexColoredMesh::PatchLabel(Point3d* buffer, const AnnotationLabel* label)
{
    const std::uint32_t oldValue = m_highlightedLabel ? m_highlightedLabel->annotationValue : 0;
    const std::uint32_t newValue = label ? label->annotationValue : 0;
    for (std::size_t i = 0; i < m_vertices.size(); ++i)
    {
        Point3d& v = buffer[i];
        if (m_highlightedLabel && v.structure == oldValue)
            std::copy(m_vertices[i].color, m_vertices[i].color + 3, v.color);
        if (v.structure != 0 && v.structure == newValue)
            std::copy(HIGHLIGHT, HIGHLIGHT + 3, v.color);
    }
    m_highlightedLabel = label;
}

void GLVertexColoredMesh::PatchSample(Point3d* buffer)
{
    const auto current = m_sampleVertices.find(m_currentSample);
    if (m_currentSample != 0 && current != m_sampleVertices.end())
        for (const std::uint32_t i : current->second)
            std::copy(m_vertices[i].color, m_vertices[i].color + 4, buffer[i].color);
    const auto requested = m_sampleVertices.find(m_requestedSample);
    if (m_requestedSample != 0 && requested != m_sampleVertices.end())
        for (const std::uint32_t i : requested->second)
            std::copy(HIGHLIGHT, HIGHLIGHT + 3, buffer[i].color);
    m_currentSample = m_requestedSample;
}

void GLVertexColoredMesh::DrawBuffers() const
{
    const GLsizei stride = sizeof(Point3d);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glNormalPointer(GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(Point3d, normal)));
    glVertexPointer(3, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(Point3d, position)));
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, reinterpret_cast<const void*>(offsetof(Point3d, color)));
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(m_indices.size()), GL_UNSIGNED_INT, nullptr);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

void GLVertexColoredMesh::DrawImmediate(const AnnotationLabel* label, bool pick, unsigned int)
{
    if (pick || m_indices.empty())
        return;
    const bool samples = InSampleMode();
    const std::uint32_t highlighted = label ? label->annotationValue : 0;
    const unsigned char highlight[4] = {HIGHLIGHT[0], HIGHLIGHT[1], HIGHLIGHT[2], 255};
    GLBegin triangles(GL_TRIANGLES);
    for (const std::uint32_t index : m_indices)
    {
        const Point3d& v = m_vertices[index];
        const bool lit = samples ? m_requestedSample != 0 && v.sampleId == m_requestedSample
                                 : highlighted != 0 && v.structure == highlighted;
        glColor4ubv(lit ? highlight : v.color);
        glNormal3fv(v.normal);
        glVertex3fv(v.position);
    }
}

void GLVertexColoredMesh::PickDraw(unsigned int nameBase)
{
    const bool samples = InSampleMode();
    std::uint32_t key = 0;
    std::size_t start = 0;
    for (const std::uint32_t count : m_groupSizes)
    {
        if (count == 0)
            continue;
        const Point3d& first = m_vertices[m_indices[start]];
        const std::uint32_t groupKey = samples ? first.sampleId : first.structure;
        if (groupKey != key)
        {
            key = groupKey;
            glLoadName(samples ? SampleName(first.sampleId, nameBase)
                               : m_ontology->GetAnnotationLabel(static_cast<unsigned short>(groupKey & 0xFFFF))->index +
                                     nameBase);
        }
        GLBegin triangles(GL_TRIANGLES);
        for (std::size_t k = start; k < start + count; ++k)
            glVertex3fv(m_vertices[m_indices[k]].position);
        start += count;
    }
}

float GLVertexColoredMesh::HitTest(const float* rayOrigin, const float* rayDirection, const float* range1,
                                   const float* range2, const float* range3, const AnnotationLabel*& label)
{
    label = nullptr;
    float best = kRayNoHit;
    if (m_hidden || m_groupSizes.empty())
        return best;
    for (std::size_t k = 0; k + 2 < m_indices.size(); k += 3)
    {
        const Point3d& first = m_vertices[m_indices[k]];
        const float* a = first.position;
        const float* b = m_vertices[m_indices[k + 1]].position;
        const float* c = m_vertices[m_indices[k + 2]].position;
        if (!InsideHitBox(a, range1, range2, range3) || !InsideHitBox(b, range1, range2, range3) ||
            !InsideHitBox(c, range1, range2, range3))
            continue;
        const float distance = rayTriangleDistance(rayOrigin, rayDirection, a, b, c);
        if (distance < best)
        {
            best = distance;
            label = m_ontology->GetAnnotationLabel(static_cast<unsigned short>(first.structure & 0xFFFF));
        }
    }
    return best;
}

unsigned int GLVertexColoredMesh::SampleName(std::uint32_t sampleId, unsigned int nameBase) const
{
    const unsigned int gridId = sampleId == 0 ? 0 : m_microarray->GetGridIdFromSampleId(sampleId, m_space);
    return gridId == 0 ? 0 : gridId + nameBase;
}

float GLVertexColoredMesh::HitTest(const float* rayOrigin, const float* rayDirection, const float* range1,
                                   const float* range2, const float* range3, const SampleColoringState* model,
                                   unsigned int& gridId)
{
    gridId = 0;
    float best = kRayNoHit;
    if (!InSampleMode() || m_hidden)
        return best;
    unsigned char grey[3];
    GetGrayColor(model, grey);
    for (std::size_t k = 0; k + 2 < m_indices.size(); k += 3)
    {
        const Point3d& first = m_vertices[m_indices[k]];
        const float* a = first.position;
        const float* b = m_vertices[m_indices[k + 1]].position;
        const float* c = m_vertices[m_indices[k + 2]].position;
        if (!InsideHitBox(a, range1, range2, range3) || !InsideHitBox(b, range1, range2, range3) ||
            !InsideHitBox(c, range1, range2, range3))
            continue;
        const float distance = rayTriangleDistance(rayOrigin, rayDirection, a, b, c);
        if (distance < best)
        {
            best = distance;
            gridId = IsShadedColor(first, grey) ? 0 : m_microarray->GetGridIdFromSampleId(first.sampleId, m_space);
        }
    }
    return best;
}

void GLVertexColoredMesh::GetGrayColor(const SampleColoringState* model, unsigned char* rgb) const
{
    const Colormap* colormap = model ? model->GetGeneColormap() : nullptr;
    const float mean = colormap ? static_cast<float>(colormap->meanValue) : 160.0f;
    const auto grey = static_cast<unsigned char>((1.0f - mean / 255.0f) * 110.0f + 60.0f);
    rgb[0] = rgb[1] = rgb[2] = grey;
}

void GLVertexColoredMesh::Recolor(const unsigned char* rgba)
{
    for (Point3d& v : m_vertices)
    {
        SetShadedColor(v, rgba);
        v.color[3] = rgba[3];
    }
    LeaveSampleMode();
}

void GLVertexColoredMesh::LeaveSampleMode()
{
    m_microarray = nullptr;
    m_space = nullptr;
    m_buffersDirty = true;
    m_hidden = false;
}

void GLVertexColoredMesh::RecolorSamples(const MicroarraySamples* data, AtlasSpace* space,
                                         const SampleColoringState* model)
{
    if (!data || !space)
        return;
    const std::shared_ptr<PointSet> samples = data->GetMicroarrayPointAnnotation(space);
    const std::vector<float>* levels = data->GetMicroarrayExpressionLevels(space);
    unsigned char grey[3];
    GetGrayColor(model, grey);
    for (Point3d& v : m_vertices)
        SetShadedColor(v, grey);
    m_microarray = data;
    m_space = space;
    m_buffersDirty = true;
    m_currentSample = 0;
    m_hidden = false;

    const unsigned char* table = model ? ColorTable(*model) : nullptr;
    const bool atlasColors = model && model->GetGeneColorMode() == ATLAS_COLOR_MODE;
    // Without samples the surface stays grey rather than vanishing.
    if ((!table && !atlasColors) || !samples)
        return;
    m_hidden = true;
    for (const PointSet::Point3d& point : samples->points)
    {
        unsigned char rgb[3];
        if (!PointColor(point, levels, *data, *model, atlasColors ? nullptr : table, rgb))
            continue;
        const auto vertices = m_sampleVertices.find(point.id);
        if (vertices == m_sampleVertices.end())
            continue;
        m_hidden = false;
        for (const std::uint32_t i : vertices->second)
            SetShadedColor(m_vertices[i], rgb);
    }
}

bool GLVertexColoredMesh::PointColor(const PointSet::Point3d& point, const std::vector<float>* levels,
                                     const MicroarraySamples& data, const SampleColoringState& model,
                                     const unsigned char* table, unsigned char* rgb) const
{
    if (point.index < 0)
        return false;
    // Label 0 answers for a structure that the ontology lacks.
    const AnnotationLabel* label = m_ontology->GetAnnotationLabelByDatabaseId(point.structureId);
    if (!label || label->index == 0 || !label->selector.Intersects(model.GetExpressionSelector()))
        return false;
    if (!table)
        std::copy(label->color, label->color + 3, rgb);
    else if (!levels || !SampleLevelColor(point.index, *levels, data, model, table, rgb))
        return false;
    return rgb[0] + rgb[1] + rgb[2] != 0;
}

void GLVertexColoredMesh::RecolorByAnnotationLabel()
{
    const AnnotationLabel* label = nullptr;
    for (std::size_t i = 0; i < m_vertices.size(); ++i)
    {
        Point3d& v = m_vertices[i];
        if (!label || v.structure != m_vertices[i - 1].structure)
            label = m_ontology->GetAnnotationLabel(static_cast<unsigned short>(v.structure & 0xFFFF));
        SetShadedColor(v, label->color);
        v.color[3] = kLabelAlpha;
    }
    LeaveSampleMode();
}

bool GLVertexColoredMesh::HighlightSample(unsigned int sampleId)
{
    if (sampleId == m_requestedSample)
        return false;
    m_requestedSample = sampleId;
    return true;
}
