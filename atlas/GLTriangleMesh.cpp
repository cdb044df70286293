#include "atlas/GLTriangleMesh.h"

#include "atlas/MeshFileReader.h"
#include "atlas/MeshGeometry.h"
#include "core/ByteOrder.h"
#include "core/FileUtils.h"
#include "core/GeometryUtils.h"
#include "gl/GLBegin.h"

#include <GL/glew.h>

#include <algorithm>
#include <locale>
#include <stdexcept>
#include <string>

static_assert(sizeof(GLTriangleMesh::Point3d) == 24, "a .msh vertex is six floats");

void GLTriangleMesh::Load(const char* path, bool computeBounds)
{
    std::fstream file;
    OpenStream(file, path, std::ios::in | std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("Mesh file could not be opened: ") + (path ? path : ""));
    try
    {
        Read(file);
    }
    catch (const std::runtime_error&)
    {
        throw std::runtime_error(std::string("Error while reading mesh file: ") + path);
    }
    if (computeBounds)
        ComputeBounds();
}

void GLTriangleMesh::Read(std::fstream& file)
{
    MeshFileReader reader(file);
    const std::uint32_t vertexCount = reader.ReadUint32();
    reader.Require(vertexCount, sizeof(Point3d));
    m_vertices.resize(vertexCount);
    reader.Read(m_vertices.data(), std::uint64_t(vertexCount) * sizeof(Point3d));
    ReverseLongWordRange(reinterpret_cast<int*>(m_vertices.data()), static_cast<int>(vertexCount * 6u));

    const std::uint32_t stripCount = reader.ReadUint32();
    reader.Require(stripCount, sizeof(std::uint16_t));
    m_strips.clear();
    m_strips.reserve(stripCount);
    for (std::uint32_t s = 0; s < stripCount; ++s)
    {
        const std::uint16_t count = reader.ReadUint16();
        reader.Require(count, sizeof(std::uint32_t));
        std::vector<std::uint32_t> strip(count);
        reader.Read(strip.data(), std::uint64_t(count) * sizeof(std::uint32_t));
        ReverseLongWordRange(reinterpret_cast<int*>(strip.data()), count);
        if (std::any_of(strip.begin(), strip.end(), [&](std::uint32_t i) { return i >= vertexCount; }))
            MeshFileReader::Fail();
        m_strips.push_back(std::move(strip));
    }
}

void GLTriangleMesh::ComputeBounds()
{
    if (m_vertices.empty())
        return;
    double sum[3] = {0.0, 0.0, 0.0};
    std::copy(m_vertices[0].position, m_vertices[0].position + 3, m_minExtent);
    std::copy(m_vertices[0].position, m_vertices[0].position + 3, m_maxExtent);
    for (const Point3d& v : m_vertices)
    {
        for (int axis = 0; axis < 3; ++axis)
        {
            sum[axis] += v.position[axis];
            m_minExtent[axis] = std::min(m_minExtent[axis], v.position[axis]);
            m_maxExtent[axis] = std::max(m_maxExtent[axis], v.position[axis]);
        }
    }
    for (int axis = 0; axis < 3; ++axis)
        m_centroid[axis] = static_cast<float>(sum[axis] / static_cast<double>(m_vertices.size()));
}

void GLTriangleMesh::Transform(const float* scale, const float* offset)
{
    TransformPositions(m_vertices, scale, offset, [](Point3d& v) { return v.position; });
}

void GLTriangleMesh::Draw()
{
    const auto send = [](const Point3d& v) {
        glNormal3fv(v.normal);
        glVertex3fv(v.position);
    };
    GLBegin strip(GL_TRIANGLE_STRIP);
    const Point3d* last = nullptr;
    for (const auto& indices : m_strips)
    {
        // An empty strip has no first vertex to join to.
        if (indices.empty())
            continue;
        if (last)
        {
            send(*last);
            send(m_vertices[indices.front()]);
        }
        for (const std::uint32_t i : indices)
            send(m_vertices[i]);
        last = &m_vertices[indices.back()];
    }
}

float GLTriangleMesh::HitTest(const float* rayOrigin, const float* rayDirection, const float* range1,
                              const float* range2, const float* range3)
{
    float best = kRayNoHit;
    for (const auto& indices : m_strips)
    {
        for (std::size_t i = 0; i + 2 < indices.size(); ++i)
        {
            const float* a = m_vertices[indices[i]].position;
            const float* b = m_vertices[indices[i + 1]].position;
            const float* c = m_vertices[indices[i + 2]].position;
            if (!InsideHitBox(a, range1, range2, range3) || !InsideHitBox(b, range1, range2, range3) ||
                !InsideHitBox(c, range1, range2, range3))
                continue;
            best = std::min(best, rayTriangleDistance(rayOrigin, rayDirection, a, b, c));
        }
    }
    return best;
}

void printVector(std::fstream& stream, const float* v)
{
    stream << "<" << v[0] << "," << v[1] << "," << v[2] << ">";
}

void GLTriangleMesh::ExportPOVRay(const char* folder, const char* name)
{
    std::fstream file;
    OpenStream(file, (std::string(folder) + name + ".pov").c_str(), std::ios::out | std::ios::trunc);
    if (!file)
        throw std::runtime_error("File could not be written.");
    // POV-Ray reads a point as the decimal mark whatever the user's locale.
    file.imbue(std::locale::classic());
    file << "#declare " << name << " = object {\n"
         << "mesh { \n";
    for (const auto& indices : m_strips)
    {
        for (std::size_t i = 0; i + 2 < indices.size(); ++i)
        {
            file << "smooth_triangle { ";
            for (std::size_t k = 0; k < 3; ++k)
            {
                const Point3d& v = m_vertices[indices[i + k]];
                if (k > 0)
                    file << ", ";
                printVector(file, v.position);
                file << ", ";
                printVector(file, v.normal);
            }
            file << " }\n";
        }
    }
    file << "}\n}\n";
    file.close();
    if (file.fail())
        throw std::runtime_error("File could not be written.");
}
