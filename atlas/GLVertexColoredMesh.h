#pragma once

#include "gl/GLName.h"
#include "gl/GLObject.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <vector>

class BrainOntology;
class MeshFileReader;

// A surface whose vertices each carry a colour, the annotation value of the structure they belong to,
// a sample id and a shading factor, read from a ".amsh" file. Coloured by the ontology or by one colour,
// it highlights the selected structure by patching only those vertices' colours in its vertex buffer,
// draws from vertex buffers (in immediate mode where the driver lacks them) and is picked by GL name or
// by ray.
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
    // Draws with label's structure highlighted, or only the GL names when pick is set. Throws
    // std::runtime_error when the GL cannot allocate the buffers.
    virtual void Draw(const AnnotationLabel* label, bool pick, unsigned int nameBase, bool forceImmediate);
    // One colour (shaded per vertex) for all vertices.
    virtual void Recolor(const unsigned char* rgba);
    // Each vertex in the colour of its structure's label, shaded.
    virtual void RecolorByAnnotationLabel();
    // Asks for the sample to highlight at the next draw; false when it is already the one asked for.
    virtual bool HighlightSample(unsigned int sampleId);
    virtual void DrawImmediate(const AnnotationLabel* label, bool pick, unsigned int nameBase);
    // Each group's triangles under the GL name of its first vertex's structure (label index + nameBase).
    virtual void PickDraw(unsigned int nameBase);
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
    void PatchHighlight(const AnnotationLabel* label);
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
    bool m_hidden = false;
    float m_centroid[3] = {0.0f, 0.0f, 0.0f};
    unsigned int m_requestedSample = 0;
    bool m_immediateMode = false;
};
