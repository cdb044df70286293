#include "atlas/GLLines.h"

#include "atlas/MeshFileReader.h"
#include "atlas/MeshGeometry.h"
#include "core/ByteOrder.h"
#include "core/FileUtils.h"
#include "core/GeometryUtils.h"
#include "gl/GLBegin.h"

#include <GL/glew.h>

#include <algorithm>
#include <stdexcept>
#include <string>

static_assert(sizeof(GLLines::Point3d) == 40, "a line point is ten 32-bit words");

GLLines::GLLines(AtlasSpace* space)
    : m_space(space)
{
}

void GLLines::Load(const char* path)
{
    std::fstream file;
    OpenStream(file, path, std::ios::in | std::ios::binary);
    if (!file)
        throw std::runtime_error(std::string("Line file could not be opened: ") + (path ? path : ""));
    try
    {
        Read(file);
    }
    catch (const std::runtime_error&)
    {
        throw std::runtime_error(std::string("Error while reading line file: ") + path);
    }
}

void GLLines::Read(std::fstream& file)
{
    MeshFileReader reader(file);
    const std::uint32_t lineCount = reader.ReadUint32();
    reader.Require(lineCount, sizeof(std::uint16_t));
    m_lines.clear();
    m_lines.reserve(lineCount);
    for (std::uint32_t l = 0; l < lineCount; ++l)
    {
        const std::uint16_t count = reader.ReadUint16();
        reader.Require(count, sizeof(Point3d));
        std::vector<Point3d> points(count);
        reader.Read(points.data(), std::uint64_t(count) * sizeof(Point3d));
        ReverseLongWordRange(reinterpret_cast<int*>(points.data()), count * 10);
        m_lines.push_back(std::move(points));
    }
}

void GLLines::Transform(const float* scale, const float* offset)
{
    for (auto& line : m_lines)
        TransformPositions(line, scale, offset, [](Point3d& p) { return p.position; });
}

float GLLines::HitTest(const float*, const float*, const float*, const float*, const float*, const AnnotationLabel*&)
{
    return kRayNoHit;
}

void GLLines::Draw(const AnnotationLabel*, bool, unsigned int)
{
    if (!m_displayList.IsEmpty())
    {
        glCallList(m_displayList.Get());
        return;
    }
    m_displayList = GLName::GenLists(1);
    // Without a list the lines are still drawn; the next draw tries to record them again.
    if (m_displayList.IsEmpty())
    {
        DrawLines();
        return;
    }
    glNewList(m_displayList.Get(), GL_COMPILE_AND_EXECUTE);
    DrawLines();
    glEndList();
}

void GLLines::DrawLines() const
{
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    const std::size_t step = m_lines.size() > kMaxDrawnLines ? 5 : 1;
    for (std::size_t l = 0; l < m_lines.size(); l += step)
    {
        const std::vector<Point3d>& p = m_lines[l];
        if (p.size() < 2)
            continue;
        GLBegin lines(GL_LINES);
        float previous[3];
        normalizedCrossProduct(p[0].position, p[1].position, previous);
        for (std::size_t i = 0; i + 1 < p.size(); ++i)
        {
            float normal[3] = {previous[0], previous[1], previous[2]};
            if (i > 0)
            {
                float next[3];
                normalizedCrossProduct(p[i].position, p[i + 1].position, next);
                for (int axis = 0; axis < 3; ++axis)
                    normal[axis] = (previous[axis] + next[axis]) / 2.0f;
                normalizeVector(normal);
                std::copy(next, next + 3, previous);
            }
            glNormal3fv(normal);
            glVertex3fv(p[i].position);
            glVertex3fv(p[i + 1].position);
        }
    }
    glPopAttrib();
}
