#pragma once

#include <cstdint>
#include <fstream>
#include <vector>

// A surface of triangle strips with one normal per vertex, read from a ".msh" file: the structure
// surfaces of an atlas space and the scene's compass. Drawn in immediate mode (its owner may record the
// drawing into a display list), hit-tested against a ray and written out as a POV-Ray mesh.
//
// .msh (little-endian, no padding): vertex count N (u32); N x (normal xyz, position xyz) as floats;
// strip count S (u32); S x (index count K (u16), K vertex indices (u32)).
class GLTriangleMesh
{
public:
    struct Point3d
    {
        float normal[3];
        float position[3];
    };

    GLTriangleMesh() = default;
    virtual ~GLTriangleMesh() = default;

    GLTriangleMesh(const GLTriangleMesh&) = delete;
    GLTriangleMesh& operator=(const GLTriangleMesh&) = delete;

    // Reads the file; with computeBounds also the centroid and the extents of the positions (a file
    // without vertices leaves them as they were). Throws std::runtime_error "Mesh file could not be opened: "
    // + path, or "Error while reading mesh file: " + path when the file is short, declares more than it
    // holds or names a vertex it does not have. A failed load leaves the mesh partly filled.
    virtual void Load(const char* path, bool computeBounds);
    // position := position x scale + offset per axis; normals, centroid and extents stay.
    virtual void Transform(const float* scale, const float* offset);
    // All strips in one triangle strip, joined by degenerate triangles.
    virtual void Draw();
    // The nearest hit of a triangle whose three vertices all lie in the box (x in range2, y in range3,
    // z in range1), or FLT_MAX.
    virtual float HitTest(const float* rayOrigin, const float* rayDirection, const float* range1, const float* range2,
                          const float* range3);
    virtual const float* GetCentroid() const { return m_centroid; }
    virtual const float* GetMinExtent() const { return m_minExtent; }
    virtual const float* GetMaxExtent() const { return m_maxExtent; }
    // Writes folder + name + ".pov" (no separator added) declaring the mesh as the object `name`.
    // Throws std::runtime_error "File could not be written." when the file cannot be written.
    virtual void ExportPOVRay(const char* folder, const char* name);

    const std::vector<Point3d>& GetVertices() const { return m_vertices; }
    const std::vector<std::vector<std::uint32_t>>& GetStrips() const { return m_strips; }

private:
    void Read(std::fstream& file);
    void ComputeBounds();

    std::vector<std::vector<std::uint32_t>> m_strips;
    std::vector<Point3d> m_vertices;
    float m_centroid[3] = {0.0f, 0.0f, 0.0f};
    float m_minExtent[3] = {0.0f, 0.0f, 0.0f};
    float m_maxExtent[3] = {0.0f, 0.0f, 0.0f};
};

// Writes "<x,y,z>" with the stream's float formatting.
void printVector(std::fstream& stream, const float* v);
