#pragma once

#include "gl/GLName.h"
#include "gl/GLObject.h"

#include <cstdint>
#include <fstream>
#include <vector>

class AtlasSpace;

// A set of polylines read from a ".ls" file (fibre tracts), drawn as lit line segments through a display
// list recorded on the first draw. Lines are never hit.
//
// .ls (little-endian, no padding): line count L (u32); L x (point count P (u16), P x 40 bytes: position
// xyz as floats and seven more 32-bit words that are carried but not interpreted).
class GLLines : public GLObject
{
public:
    struct Point3d
    {
        float position[3];
        std::uint32_t extra[7];
    };

    // More polylines than this are thinned to every fifth when drawn.
    static constexpr std::size_t kMaxDrawnLines = 100000;

    // The space is kept, not used.
    explicit GLLines(AtlasSpace* space);
    ~GLLines() override = default;

    GLLines(const GLLines&) = delete;
    GLLines& operator=(const GLLines&) = delete;

    // Label, pick and name base do not matter to lines.
    void Draw(const AnnotationLabel* label, bool pick, unsigned int nameBase) override;
    // Always FLT_MAX; the label is left as it is.
    float HitTest(const float* rayOrigin, const float* rayDirection, const float* range1, const float* range2,
                  const float* range3, const AnnotationLabel*& label) override;
    virtual void Transform(const float* scale, const float* offset);

    // Throws std::runtime_error "Line file could not be opened: " + path, or "Error while reading line
    // file: " + path when the file is short or declares more than it holds.
    void Load(const char* path);

    const std::vector<std::vector<Point3d>>& GetLines() const { return m_lines; }
    AtlasSpace* GetSpace() const { return m_space; }

private:
    void Read(std::fstream& file);
    void DrawLines() const;

    std::vector<std::vector<Point3d>> m_lines;
    AtlasSpace* m_space;
    GLName m_displayList;
};
