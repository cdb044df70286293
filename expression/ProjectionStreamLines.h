#pragma once

#include <cstddef>
#include <vector>

class IOStream;

// The stream lines of a projection data set: polylines traced from the injection site, each point with
// a density and an intensity. They are read from "streamlines.sl", thinned, given normals and drawn from
// one display list as lit three-sided tubes.
class ProjectionStreamLines
{
public:
    struct Point3d
    {
        float position[3] = {0.0f, 0.0f, 0.0f};
        float normal[3] = {0.0f, 0.0f, 0.0f};
        float density = 0.0f;
        float intensity = 0.0f;
    };
    using Line = std::vector<Point3d>;

    static constexpr unsigned int FILE_MAGIC = 0xEEEE0120u;
    static constexpr unsigned short FILE_VERSION = 2;
    // Above this many lines only every step-th line is drawn.
    static constexpr unsigned int MAX_DRAWN_LINES = 100000;

    ProjectionStreamLines() = default;
    // Frees the display list; a set that was drawn is destroyed while its context is current.
    virtual ~ProjectionStreamLines();

    ProjectionStreamLines(const ProjectionStreamLines&) = delete;
    ProjectionStreamLines& operator=(const ProjectionStreamLines&) = delete;

    // Both throw std::runtime_error; the lines read before a failure are kept.
    virtual void Load(const char* path);
    virtual void Load(IOStream& stream);
    // Compiles the display list on the first call and whenever rebuild is set, then calls it.
    virtual void Draw(bool rebuild, const float* colour);
    // position := position x scale + offset; normals are kept.
    virtual void Transform(const float* scale, const float* offset);
    virtual std::vector<Line>& GetLineList() { return m_lines; }
    virtual const std::vector<Line>& GetLineList() const { return m_lines; }

    // Sets every point's normal perpendicular to the line there; lines of fewer than two points are kept.
    static void ComputeNormals(Line& line);
    // Draws one line as a lit tube, or as 2-pixel segments when asLines is set; nothing for fewer than two
    // points. A null colour draws white.
    static void DrawLine(const Line& line, const float* colour, bool asLines, float radiusScale);
    // The indices of the lines that a set of lineCount lines draws.
    static std::vector<unsigned int> DrawnLineIndices(std::size_t lineCount);
    // A unit vector perpendicular to direction; (0, 0, 0) for a zero direction.
    static void SegmentNormal(const float* direction, float* normal);
    // The colour that a line of that colour is drawn with before the density brightness.
    static void BaseColour(const float* colour, float* base);

protected:
    virtual void DrawInternal(const float* colour);

private:
    std::vector<Line> m_lines;
    unsigned int m_displayList = 0;
};
