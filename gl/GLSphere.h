#pragma once

#include <vector>

// A sphere glyph kept as two capping triangle fans and one quad strip, built once.
class GLSphere
{
public:
    struct Point3d
    {
        float normal[3];
        float position[3]; // on the unit sphere, equal to the normal
    };

    // Both counts are clamped to 239; fewer than 2 slices or 1 stack throws.
    GLSphere(int slices, int stacks);
    void DrawAt(float x, float y, float z, float radius) const;
    void DrawWireFrame(float x, float y, float z, float radius) const;

    const std::vector<Point3d>& GetBottomCap() const { return m_bottomCap; }
    const std::vector<Point3d>& GetTopCap() const { return m_topCap; }
    const std::vector<Point3d>& GetBody() const { return m_body; }

private:
    std::vector<Point3d> m_bottomCap;
    std::vector<Point3d> m_topCap;
    std::vector<Point3d> m_body;
};
