#include "gl/GLBegin.h"
#include "gl/GLCube.h"
#include "gl/GLIcosahedron.h"
#include "gl/GLOctahedron.h"
#include "gl/GLShaderProgram.h"
#include "gl/GLSphere.h"
#include "gl/support/GLFeedback.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace
{

// Object space [-8, 8] on every axis fills the 256-pixel framebuffer: 16 pixels a unit.
constexpr float kHalfExtent = 8.0f;

// Colours each vertex with its normal (n * 0.5 + 0.5), so feedback reports normals too.
const char* kNormalVertexShader = "#version 120\n"
                                  "void main() {\n"
                                  "  gl_Position = ftransform();\n"
                                  "  gl_FrontColor = vec4(gl_Normal * 0.5 + 0.5, 1.0);\n"
                                  "}\n";
const char* kColourFragmentShader = "#version 120\n"
                                    "void main() { gl_FragColor = gl_Color; }\n";

struct Point
{
    float x, y, z;
};

struct Bounds
{
    Point min{1e9f, 1e9f, 1e9f}, max{-1e9f, -1e9f, -1e9f};
};

class GLShapesTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-kHalfExtent, kHalfExtent, -kHalfExtent, kHalfExtent, -kHalfExtent, kHalfExtent);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    static Point ObjectPoint(const FeedbackVertex& v)
    {
        const float scale = 2.0f * kHalfExtent / kWidth;
        return Point{v.x * scale - kHalfExtent, v.y * scale - kHalfExtent, kHalfExtent * (1.0f - 2.0f * v.z)};
    }

    static Point Normal(const FeedbackVertex& v)
    {
        return Point{2.0f * v.rgba[0] - 1.0f, 2.0f * v.rgba[1] - 1.0f, 2.0f * v.rgba[2] - 1.0f};
    }

    static std::size_t VertexCount(const std::vector<FeedbackPrimitive>& primitives)
    {
        std::size_t count = 0;
        for (const auto& p : primitives)
            count += p.vertices.size();
        return count;
    }

    // Quads may reach feedback whole or split in two, so polygons are counted in triangles.
    static std::size_t TriangleCount(const std::vector<FeedbackPrimitive>& primitives)
    {
        std::size_t count = 0;
        for (const auto& p : primitives)
            count += p.vertices.size() - 2;
        return count;
    }

    static Bounds Extent(const std::vector<FeedbackPrimitive>& primitives)
    {
        Bounds b;
        for (const auto& p : primitives)
        {
            for (const auto& v : p.vertices)
            {
                const Point o = ObjectPoint(v);
                b.min = {std::min(b.min.x, o.x), std::min(b.min.y, o.y), std::min(b.min.z, o.z)};
                b.max = {std::max(b.max.x, o.x), std::max(b.max.y, o.y), std::max(b.max.z, o.z)};
            }
        }
        return b;
    }

    static void ExpectBounds(const Bounds& b, Point min, Point max)
    {
        const float tolerance = 0.01f;
        EXPECT_NEAR(b.min.x, min.x, tolerance);
        EXPECT_NEAR(b.min.y, min.y, tolerance);
        EXPECT_NEAR(b.min.z, min.z, tolerance);
        EXPECT_NEAR(b.max.x, max.x, tolerance);
        EXPECT_NEAR(b.max.y, max.y, tolerance);
        EXPECT_NEAR(b.max.z, max.z, tolerance);
    }

    // Every polygon's normals point away from the shape's centre: the face's centroid lies on the
    // side the normal points to.
    static void ExpectOutwardNormals(const std::vector<FeedbackPrimitive>& primitives, Point centre)
    {
        for (const auto& p : primitives)
        {
            Point centroid{0, 0, 0};
            for (const auto& v : p.vertices)
            {
                const Point o = ObjectPoint(v);
                centroid = {centroid.x + o.x, centroid.y + o.y, centroid.z + o.z};
            }
            const float n = static_cast<float>(p.vertices.size());
            centroid = {centroid.x / n - centre.x, centroid.y / n - centre.y, centroid.z / n - centre.z};
            for (const auto& v : p.vertices)
            {
                const Point normal = Normal(v);
                EXPECT_GT(normal.x * centroid.x + normal.y * centroid.y + normal.z * centroid.z, 0.0f);
            }
        }
    }

    std::vector<FeedbackPrimitive> WithNormalShader(const std::function<void()>& draw)
    {
        GLShaderProgram program;
        program.LoadShader(GL_VERTEX_SHADER, kNormalVertexShader);
        program.LoadShader(GL_FRAGMENT_SHADER, kColourFragmentShader);
        program.Link();
        program.Bind();
        auto primitives = RecordFeedback(draw);
        program.Unbind();
        return primitives;
    }
};

} // namespace

TEST_F(GLShapesTest, CubeIsSixQuadsWithOutwardNormals)
{
    GLCube cube;
    const auto faces = WithNormalShader([&] { cube.DrawAt(1.0f, 2.0f, 3.0f, 2.0f); });
    EXPECT_EQ(TriangleCount(faces), 12u);
    ExpectBounds(Extent(faces), {0, 1, 2}, {2, 3, 4});
    ExpectOutwardNormals(faces, {1, 2, 3});
}

TEST_F(GLShapesTest, CubeScalesPerAxisAndThreeSizesDrawAtTheOrigin)
{
    GLCube cube;
    ExpectBounds(Extent(RecordFeedback([&] { cube.DrawAt(-1.0f, 0.0f, 1.0f, 2.0f, 4.0f, 6.0f); })), {-2, -2, -2},
                 {0, 2, 4});
    // Three sizes mean a box at the origin, not a unit cube at (1, 2, 3).
    ExpectBounds(Extent(RecordFeedback([&] { cube.DrawAt(1.0f, 2.0f, 3.0f); })), {-0.5f, -1, -1.5f}, {0.5f, 1, 1.5f});
}

TEST_F(GLShapesTest, IcosahedronBatchesInsideTheCallersPrimitive)
{
    GLIcosahedron icosahedron;
    const auto own = WithNormalShader([&] { icosahedron.DrawAt(0.0f, 0.0f, 0.0f, 2.0f, true); });
    ASSERT_EQ(own.size(), 20u);
    EXPECT_EQ(VertexCount(own), 60u);
    ExpectBounds(Extent(own), {-1.7013f, -1.7013f, -1.7013f}, {1.7013f, 1.7013f, 1.7013f});
    ExpectOutwardNormals(own, {0, 0, 0});

    const auto batched = RecordFeedback([&] {
        GLBegin triangles(GL_TRIANGLES);
        icosahedron.DrawAt(-3.0f, 0.0f, 0.0f, 1.0f, false);
        icosahedron.DrawAt(3.0f, 0.0f, 0.0f, 1.0f, false);
    });
    EXPECT_EQ(batched.size(), 40u);
    ExpectBounds(Extent(batched), {-3.8507f, -0.8507f, -0.8507f}, {3.8507f, 0.8507f, 0.8507f});
}

TEST_F(GLShapesTest, OctahedronFacesAllPointOutward)
{
    GLOctahedron octahedron;
    const auto batched = WithNormalShader([&] {
        GLBegin triangles(GL_TRIANGLES);
        octahedron.DrawAt(1.0f, -1.0f, 0.5f, 4.0f, true);
    });
    ASSERT_EQ(batched.size(), 8u);
    ExpectBounds(Extent(batched), {-1, -3, -1.5f}, {3, 1, 2.5f});
    ExpectOutwardNormals(batched, {1, -1, 0.5f});
    // Upper faces have upward normals, lower faces downward ones.
    for (std::size_t face = 0; face < 8; ++face)
        EXPECT_EQ(Normal(batched[face].vertices[0]).y > 0.0f, face < 4) << face;
}

TEST_F(GLShapesTest, OctahedronDrawsTwoFansOfItsOwn)
{
    GLOctahedron octahedron;
    const auto fans = WithNormalShader([&] { octahedron.DrawAt(0.0f, 0.0f, 0.0f, 2.0f, false); });
    ASSERT_EQ(fans.size(), 8u);
    ExpectBounds(Extent(fans), {-1, -1, -1}, {1, 1, 1});
    // The upper fan carries upward normals only, the lower fan downward ones.
    for (std::size_t face = 0; face < 8; ++face)
    {
        for (const auto& v : fans[face].vertices)
            EXPECT_EQ(Normal(v).y > 0.0f, face < 4) << face;
    }
}

TEST_F(GLShapesTest, SphereVertexCountsAndExtent)
{
    const GLSphere sphere(8, 4);
    EXPECT_EQ(sphere.GetTopCap().size(), 10u);
    EXPECT_EQ(sphere.GetBottomCap().size(), 10u);
    EXPECT_EQ(sphere.GetBody().size(), 2u * 9u * 2u);
    const auto primitives = WithNormalShader([&] { sphere.DrawAt(1.0f, 2.0f, -1.0f, 3.0f); });
    // Two fans of 8 triangles, and the strip's 17 quads of two triangles each.
    EXPECT_EQ(TriangleCount(primitives), 2u * 8u + 2u * 17u);
    ExpectBounds(Extent(primitives), {-2, -1, -4}, {4, 5, 2});
    for (const auto& p : primitives)
    {
        for (const auto& v : p.vertices)
        {
            const Point o = ObjectPoint(v), n = Normal(v);
            EXPECT_NEAR(o.x, 1.0f + 3.0f * n.x, 0.05f);
            EXPECT_NEAR(o.y, 2.0f + 3.0f * n.y, 0.05f);
            EXPECT_NEAR(o.z, -1.0f + 3.0f * n.z, 0.05f);
        }
    }
}

TEST_F(GLShapesTest, SphereRingsCloseExactly)
{
    const GLSphere sphere(7, 5);
    const auto& top = sphere.GetTopCap();
    EXPECT_EQ(top[1].position[0], top.back().position[0]);
    EXPECT_EQ(top[1].position[1], top.back().position[1]);
    EXPECT_EQ(top.front().position[2], 1.0f);
    EXPECT_EQ(sphere.GetBottomCap().front().position[2], -1.0f);
}

TEST_F(GLShapesTest, SphereCountsAreClampedAndChecked)
{
    EXPECT_THROW(
        {
            try
            {
                GLSphere(1, 5);
            }
            catch (const std::runtime_error& e)
            {
                EXPECT_STREQ(e.what(), "Sphere: number of stacks and/or slices invalid.");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_THROW(GLSphere(4, 0), std::runtime_error);
    const GLSphere clamped(500, 500);
    EXPECT_EQ(clamped.GetTopCap().size(), 241u);
    EXPECT_EQ(clamped.GetBody().size(), 237u * 240u * 2u);
}

TEST_F(GLShapesTest, SphereWithTwoStacksHasOnlyCaps)
{
    const GLSphere sphere(6, 2);
    EXPECT_TRUE(sphere.GetBody().empty());
    const auto wire = RecordFeedback([&] { sphere.DrawWireFrame(0.0f, 0.0f, 0.0f, 2.0f); });
    EXPECT_EQ(wire.size(), 2u * 7u); // a spoke from each pole to each cap point
    for (const auto& p : wire)
        EXPECT_EQ(p.kind, FeedbackPrimitive::kLine);
    const float rim = 2.0f * std::sin(3.1415927f / 3.0f); // six slices reach x = ±sin 60°
    ExpectBounds(Extent(wire), {-rim, -2, -2}, {rim, 2, 2});
}

TEST_F(GLShapesTest, SphereWireFrameOutlinesEveryBodyQuad)
{
    const GLSphere sphere(4, 4);
    const std::size_t quads = sphere.GetBody().size() / 2 - 1;
    const auto wire = RecordFeedback([&] { sphere.DrawWireFrame(0.0f, 0.0f, 0.0f, 1.0f); });
    EXPECT_EQ(wire.size(), 2u * 5u + 4u * quads);
}
