#include "expression/ProjectionStreamLines.h"

#include "core/FileStream.h"
#include "core/GeometryUtils.h"
#include "core/IOStream.h"
#include "gl/GLBegin.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace
{
constexpr float THINNING_DISTANCE = 0.25f;
constexpr std::size_t POINT_BYTES = 20;

std::uint32_t Little32(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

float LittleFloat(const unsigned char* bytes)
{
    const std::uint32_t word = Little32(bytes);
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

template <class T>
T ReadLittle(IOStream& stream)
{
    unsigned char bytes[sizeof(T)];
    stream.Read(bytes, sizeof bytes);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        value |= std::uint32_t(bytes[i]) << (8 * i);
    return static_cast<T>(value);
}

bool FarEnough(const float* a, const float* b)
{
    return std::fabs(a[0] - b[0]) >= THINNING_DISTANCE || std::fabs(a[1] - b[1]) >= THINNING_DISTANCE ||
           std::fabs(a[2] - b[2]) >= THINNING_DISTANCE;
}

// The points of one line record, thinned: a point is kept only where it moves on from the last kept one.
ProjectionStreamLines::Line ThinnedLine(const unsigned char* records, unsigned int count)
{
    ProjectionStreamLines::Line line;
    for (unsigned int i = 0; i < count; ++i)
    {
        const unsigned char* record = records + POINT_BYTES * i;
        ProjectionStreamLines::Point3d point;
        for (int axis = 0; axis < 3; ++axis)
            point.position[axis] = LittleFloat(record + 4 * axis);
        point.density = LittleFloat(record + 12);
        point.intensity = LittleFloat(record + 16);
        if (line.empty() || FarEnough(point.position, line.back().position))
            line.push_back(point);
    }
    return line;
}

float Clamp(float value, float low, float high)
{
    return std::min(std::max(value, low), high);
}

// The rotation about the unit axis e by angle a, as a row-major 3 x 4 matrix without translation.
void AxisRotation(const float* e, float angle, float* m)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float t = 1.0f - c;
    const float rows[12] = {c + t * e[0] * e[0],        t * e[0] * e[1] - s * e[2], t * e[0] * e[2] + s * e[1], 0.0f,
                            t * e[1] * e[0] + s * e[2], c + t * e[1] * e[1],        t * e[1] * e[2] - s * e[0], 0.0f,
                            t * e[2] * e[0] - s * e[1], t * e[2] * e[1] + s * e[0], c + t * e[2] * e[2],        0.0f};
    std::memcpy(m, rows, sizeof rows);
}

// The unit direction from p to q; false for a segment of no length, which has no direction to draw along.
bool SegmentAxis(const ProjectionStreamLines::Point3d& p, const ProjectionStreamLines::Point3d& q, float* e)
{
    subtractVectors(q.position, p.position, e);
    if (e[0] == 0.0f && e[1] == 0.0f && e[2] == 0.0f)
        return false;
    normalizeVector(e);
    return std::isfinite(e[0]) && std::isfinite(e[1]) && std::isfinite(e[2]);
}

void Vertex(const float* normal, const float* centre, float radius)
{
    glNormal3fv(normal);
    glVertex3f(centre[0] + radius * normal[0], centre[1] + radius * normal[1], centre[2] + radius * normal[2]);
}

void Colour(const float* base, float brightness)
{
    glColor4f(base[0] * brightness, base[1] * brightness, base[2] * brightness, 1.0f);
}

// One side of the three-sided tube around segment p to q: two triangles between the rotated normals.
void TubeSide(const ProjectionStreamLines::Point3d& p, const ProjectionStreamLines::Point3d& q, const float* e,
              int side, const float* base, float radiusScale)
{
    constexpr float THIRD_TURN = 2.0943951f;
    float r0[12];
    float r1[12];
    AxisRotation(e, side * THIRD_TURN, r0);
    AxisRotation(e, (side + 1) * THIRD_TURN, r1);
    float n0p[3], n1p[3], n0q[3], n1q[3];
    multiplyMatrixVector3(r0, p.normal, n0p);
    multiplyMatrixVector3(r1, p.normal, n1p);
    multiplyMatrixVector3(r0, q.normal, n0q);
    multiplyMatrixVector3(r1, q.normal, n1q);
    const float rp = Clamp(p.density * 0.1f, 0.08f, 0.12f) * radiusScale;
    const float rq = Clamp(q.density * 0.1f, 0.08f, 0.12f) * radiusScale;
    const float bp = Clamp(p.density * 1.7f + 0.38f, 0.0f, 1.0f);
    const float bq = Clamp(q.density * 1.7f + 0.38f, 0.0f, 1.0f);
    // The tube overlaps its neighbours a little, so that no gap shows at the joints.
    float pStart[3], qEnd[3];
    for (int axis = 0; axis < 3; ++axis)
    {
        pStart[axis] = p.position[axis] - 0.02f * e[axis];
        qEnd[axis] = q.position[axis] + 0.02f * e[axis];
    }
    Colour(base, bp);
    Vertex(n1p, pStart, rp);
    Vertex(n0p, pStart, rp);
    Colour(base, bq);
    Vertex(n1q, qEnd, rq);
    Vertex(n1q, qEnd, rq);
    Vertex(n0q, qEnd, rq);
    Colour(base, bp);
    Vertex(n0p, pStart, rp);
}

// Restores the current colour and line width, also inside a display list, where glGet is not recorded.
class CurrentStateGuard
{
public:
    CurrentStateGuard() { glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT); }
    ~CurrentStateGuard() { glPopAttrib(); }
    CurrentStateGuard(const CurrentStateGuard&) = delete;
    CurrentStateGuard& operator=(const CurrentStateGuard&) = delete;
};

// Ends a display list being compiled on every path.
class ListCompilation
{
public:
    explicit ListCompilation(unsigned int list) { glNewList(list, GL_COMPILE); }
    ~ListCompilation() { glEndList(); }
    ListCompilation(const ListCompilation&) = delete;
    ListCompilation& operator=(const ListCompilation&) = delete;
};
} // namespace

ProjectionStreamLines::~ProjectionStreamLines()
{
    if (m_displayList != 0)
        glDeleteLists(m_displayList, 1);
}

void ProjectionStreamLines::Load(const char* path)
{
    FileStream stream(path, std::ios::in | std::ios::binary);
    Load(stream);
}

void ProjectionStreamLines::Load(IOStream& stream)
{
    if (ReadLittle<std::uint32_t>(stream) != FILE_MAGIC)
        throw std::runtime_error("Projection line data format unrecognized.");
    if (ReadLittle<std::uint16_t>(stream) != FILE_VERSION)
        throw std::runtime_error("Projection line data version unrecognized.");
    const std::uint32_t lineCount = ReadLittle<std::uint32_t>(stream);
    // Every line takes two bytes at least: a count that the bytes cannot hold is refused before anything
    // is allocated for it.
    const std::uint64_t remaining = stream.GetSize() - std::min(stream.GetSize(), stream.Tell());
    if (std::uint64_t(lineCount) * 2 > remaining)
        throw std::runtime_error("Unexpected end of stream while reading.");
    m_lines.assign(lineCount, Line());
    std::vector<unsigned char> records;
    for (Line& line : m_lines)
    {
        const unsigned int pointCount = ReadLittle<std::uint16_t>(stream);
        records.resize(POINT_BYTES * pointCount);
        if (pointCount != 0)
            stream.Read(records.data(), static_cast<unsigned int>(records.size()));
        line = ThinnedLine(records.data(), pointCount);
        ComputeNormals(line);
    }
}

void ProjectionStreamLines::Transform(const float* scale, const float* offset)
{
    if (scale[0] == 1.0f && scale[1] == 1.0f && scale[2] == 1.0f && offset[0] == 0.0f && offset[1] == 0.0f &&
        offset[2] == 0.0f)
        return;
    for (Line& line : m_lines)
        for (Point3d& point : line)
            for (int axis = 0; axis < 3; ++axis)
                point.position[axis] = point.position[axis] * scale[axis] + offset[axis];
}

void ProjectionStreamLines::Draw(bool rebuild, const float* colour)
{
    const bool first = m_displayList == 0;
    if (first)
        m_displayList = glGenLists(1);
    if (first || rebuild)
    {
        ListCompilation compilation(m_displayList);
        DrawInternal(colour);
    }
    glCallList(m_displayList);
}

std::vector<unsigned int> ProjectionStreamLines::DrawnLineIndices(std::size_t lineCount)
{
    const std::size_t step = lineCount <= MAX_DRAWN_LINES ? 1 : lineCount / MAX_DRAWN_LINES;
    std::vector<unsigned int> indices(lineCount / step);
    for (std::size_t k = 0; k < indices.size(); ++k)
        indices[k] = static_cast<unsigned int>(k * step);
    return indices;
}

void ProjectionStreamLines::DrawInternal(const float* colour)
{
    for (const unsigned int index : DrawnLineIndices(m_lines.size()))
        DrawLine(m_lines[index], colour, false, 1.0f);
}

void ProjectionStreamLines::SegmentNormal(const float* direction, float* normal)
{
    normal[0] = normal[1] = normal[2] = 0.0f;
    for (int k = 0; k < 3; ++k)
    {
        if (direction[k] == 0.0f)
            continue;
        normal[(k + 2) % 3] = 0.0f;
        normal[(k + 1) % 3] = 1.0f;
        normal[k] = -direction[(k + 1) % 3] / direction[k];
        normalizeVector(normal);
        return;
    }
}

void ProjectionStreamLines::ComputeNormals(Line& line)
{
    if (line.size() < 2)
        return;
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
    {
        float direction[3];
        subtractVectors(line[i + 1].position, line[i].position, direction);
        SegmentNormal(direction, line[i].normal);
    }
    std::memcpy(line.back().normal, line[line.size() - 2].normal, sizeof line.back().normal);
}

void ProjectionStreamLines::BaseColour(const float* colour, float* base)
{
    const float white[3] = {1.0f, 1.0f, 1.0f};
    const float* c = colour ? colour : white;
    // Dark colours are lifted so that the lines stay visible against the dark scene.
    const float gain = c[0] + c[1] + c[2] < 0.9f ? 1.5f : 1.0f;
    for (int i = 0; i < 3; ++i)
        base[i] = c[i] * gain;
}

void ProjectionStreamLines::DrawLine(const Line& line, const float* colour, bool asLines, float radiusScale)
{
    if (line.size() < 2)
        return;
    float base[3];
    BaseColour(colour, base);
    CurrentStateGuard guard;
    if (asLines)
    {
        // Twice the frame's width, whatever the screen's scale made it.
        GLfloat frameWidth = 1.0f;
        glGetFloatv(GL_LINE_WIDTH, &frameWidth);
        glLineWidth(2.0f * frameWidth);
        {
            GLBegin lines(GL_LINES);
            for (std::size_t i = 0; i + 1 < line.size(); ++i)
            {
                const Point3d& p = line[i];
                const Point3d& q = line[i + 1];
                float e[3];
                if (!SegmentAxis(p, q, e))
                    continue;
                Colour(base, p.density * 1.5f + 0.38f);
                glNormal3fv(p.normal);
                glVertex3fv(p.position);
                Colour(base, q.density * 1.5f + 0.38f);
                glNormal3fv(q.normal);
                glVertex3fv(q.position);
            }
        }
        glLineWidth(frameWidth);
        return;
    }
    GLBegin triangles(GL_TRIANGLES);
    for (int side = 0; side < 3; ++side)
        for (std::size_t i = 0; i + 1 < line.size(); ++i)
        {
            float e[3];
            if (SegmentAxis(line[i], line[i + 1], e))
                TubeSide(line[i], line[i + 1], e, side, base, radiusScale);
        }
}
