#pragma once

#include "atlas/PointSet.h"
#include "gl/GLName.h"
#include "gl/GLObject.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <vector>

class AtlasSpace;
class BrainOntology;
class MeshFileReader;
class MicroarraySamples;
class SampleColoringState;

// A surface whose vertices each carry a colour, the annotation value of the structure they belong to,
// a sample id and a shading factor, read from a ".amsh" file. Coloured by the ontology, by one colour or
// by the expression levels of microarray samples (sample mode), it highlights the selected structure or
// sample by patching only those vertices' colours in its vertex buffer, draws from vertex buffers (in
// immediate mode where the driver lacks them) and is picked by GL name or by ray.
//
// .amsh (little-endian, no padding) starts with the marker 0xF00DF00D and a version (u32), or directly
// with the version 0 body. Version 1: vertex count N (u32); N x (normal xyz, position xyz as floats,
// structure value u32, sample id u32, shade float); group count G (u32); G x (index count K (u16),
// K indices (u32)). Version 0 has 32-byte vertices: normal, position, structure value u8, one unused
// byte, sample id u16, shade. A vertex count of 0 ends the file. Every three indices are a triangle.
class GLVertexColoredMesh : public GLObject
{
public:
    // Also the layout of the vertex buffer: stride 40, normal at 0, position at 12, colour at 24.
    struct Point3d
    {
        float normal[3];
        float position[3];
        unsigned char color[4];
        std::uint32_t structure;
        std::uint32_t sampleId;
        float shade;
    };
    struct FilePoint3d
    {
        float normal[3];
        float position[3];
        std::uint32_t structure;
        std::uint32_t sampleId;
        float shade;
    };
    struct FilePoint3d_v0
    {
        float normal[3];
        float position[3];
        std::uint8_t structure;
        std::uint8_t unused;
        std::uint16_t sampleId;
        float shade;
    };

    static constexpr std::uint32_t FILE_MARKER = 0xF00DF00Du;
    // The colour of highlighted vertices.
    static constexpr unsigned char HIGHLIGHT[3] = {0, 204, 0};

    // The ontology (not owned, never null) gives the colours and the labels that hits report. Chooses
    // immediate mode when the current context lacks GL 1.5, or is an Intel one without GL 2.1.
    explicit GLVertexColoredMesh(const BrainOntology* ontology);
    ~GLVertexColoredMesh() override = default;

    GLVertexColoredMesh(const GLVertexColoredMesh&) = delete;
    GLVertexColoredMesh& operator=(const GLVertexColoredMesh&) = delete;

    void Draw(const AnnotationLabel* label, bool pick, unsigned int nameBase) override;
    // The nearest triangle (all three vertices in the box), with label := the structure of its first
    // vertex; a miss returns FLT_MAX with label null.
    float HitTest(const float* rayOrigin, const float* rayDirection, const float* range1, const float* range2,
                  const float* range3, const AnnotationLabel*& label) override;
    // Throws std::runtime_error "Mesh file could not be opened: " + path, or "Error while reading mesh
    // file: " + path when the file is short, has an unknown version, declares more than it holds, names a
    // vertex it does not have or has a group that is not whole triangles.
    virtual void Load(const char* path);
    // Moves the positions as GLTriangleMesh::Transform does; meant to be called before the first draw.
    virtual void Transform(const float* scale, const float* offset);
    // Draws with label's structure highlighted (in sample mode the requested sample, unless the label
    // changed), or only the GL names when pick is set. Throws std::runtime_error when the GL cannot allocate
    // the buffers.
    virtual void Draw(const AnnotationLabel* label, bool pick, unsigned int nameBase, bool forceImmediate);
    // In sample mode only: the nearest triangle in the box, with gridId := the grid id of its first
    // vertex's sample, or 0 when that vertex shows the grey of vertices without a sample. A miss returns
    // FLT_MAX with gridId 0.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, const float* range1, const float* range2,
                          const float* range3, const SampleColoringState* model, unsigned int& gridId);
    // One colour (shaded per vertex) for all vertices.
    virtual void Recolor(const unsigned char* rgba);
    // Each vertex in the colour of its structure's label, shaded.
    virtual void RecolorByAnnotationLabel();
    // Enters sample mode: every vertex grey, then each sample's vertices in the colour of its level (its
    // structure's colour in the atlas mode) when it passes the model's selector and threshold. Points that
    // are placeholders, lack a structure or a finite level are left grey. Hidden when no sample passes,
    // except without a table to colour by or without samples, when the surface stays grey. Null data or
    // space changes nothing.
    virtual void RecolorSamples(const MicroarraySamples* data, AtlasSpace* space, const SampleColoringState* model);
    // Asks for the sample to highlight at the next draw; false when it is already the one asked for.
    virtual bool HighlightSample(unsigned int sampleId);
    virtual void DrawImmediate(const AnnotationLabel* label, bool pick, unsigned int nameBase);
    // Each group's triangles under the GL name of its first vertex's structure (label index + nameBase),
    // in sample mode of its sample (grid id + nameBase, 0 for none).
    virtual void PickDraw(unsigned int nameBase);
    // The grey of vertices without a sample: (1 - m / 255) x 110 + 60 for the colormap's mean m (160 without
    // a colormap), truncated.
    virtual void GetGrayColor(const SampleColoringState* model, unsigned char* rgb) const;
    // Reads the version 0 layout from the stream's position to its end.
    virtual void Load_v0(std::fstream& file);

    const std::vector<Point3d>& GetVertices() const { return m_vertices; }
    const std::vector<std::uint32_t>& GetIndices() const { return m_indices; }
    const std::vector<std::uint32_t>& GetGroupSizes() const { return m_groupSizes; }
    // For each non-zero sample id, its vertices in file order.
    const std::map<std::uint32_t, std::vector<std::uint32_t>>& GetSampleVertices() const { return m_sampleVertices; }
    const float* GetCentroid() const { return m_centroid; }
    bool IsImmediateMode() const { return m_immediateMode; }
    unsigned int GetRequestedSample() const { return m_requestedSample; }
    bool IsHidden() const { return m_hidden; }
    // Sample mode: the data set and the space of the last sample recolouring.
    const MicroarraySamples* GetMicroarray() const { return m_microarray; }

    // A colour channel scaled by the vertex's shading factor (shade - 1) x 0.85 + 1, truncated toward zero
    // and kept to its low 8 bits.
    static unsigned char Shade(unsigned char channel, float shade);

private:
    void ReadFile(std::fstream& file);
    template <class FilePoint>
    void ReadVertices(MeshFileReader& reader);
    void ReadGroups(MeshFileReader& reader);
    void ComputeCentroid();
    void CreateBuffers();
    void UploadBuffers();
    bool InSampleMode() const { return m_microarray && m_space; }
    bool HighlightNeeded(const AnnotationLabel* label) const;
    void PatchHighlight(const AnnotationLabel* label);
    void PatchLabel(Point3d* buffer, const AnnotationLabel* label);
    void PatchSample(Point3d* buffer);
    void LeaveSampleMode();
    // The GL name of a sample's triangles: its grid id + nameBase, or 0 for none.
    unsigned int SampleName(std::uint32_t sampleId, unsigned int nameBase) const;
    // The colour of one sample point, false when it is not coloured: its structure's colour without a
    // table, else the colour of its level.
    bool PointColor(const PointSet::Point3d& point, const std::vector<float>* levels, const MicroarraySamples& data,
                    const SampleColoringState& model, const unsigned char* table, unsigned char* rgb) const;
    void DrawBuffers() const;

    const BrainOntology* m_ontology;
    std::vector<std::uint32_t> m_groupSizes;
    std::vector<Point3d> m_vertices;
    std::vector<std::uint32_t> m_indices;
    std::map<std::uint32_t, std::vector<std::uint32_t>> m_sampleVertices;
    GLName m_vertexBuffer;
    GLName m_elementBuffer;
    // Whose vertices are green in the vertex buffer; the vertex list keeps every vertex's own colour.
    const AnnotationLabel* m_highlightedLabel = nullptr;
    bool m_buffersDirty = true;
    // Sample mode; neither is owned.
    const MicroarraySamples* m_microarray = nullptr;
    AtlasSpace* m_space = nullptr;
    bool m_hidden = false;
    float m_centroid[3] = {0.0f, 0.0f, 0.0f};
    // Whose vertices are green in the vertex buffer in sample mode, and whose are to be.
    unsigned int m_currentSample = 0;
    unsigned int m_requestedSample = 0;
    bool m_immediateMode = false;
};
