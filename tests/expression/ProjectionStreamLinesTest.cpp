#include "TestSupport.h"
#include "core/MemoryStreamRef.h"
#include "expression/ProjectionStreamLines.h"
#include "gl/support/GLFeedback.h"
#include "gl/support/GLTest.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{
using Point = ProjectionStreamLines::Point3d;
using Line = ProjectionStreamLines::Line;

struct FilePoint
{
    float x, y, z, density, intensity;
};

void Put(std::string& out, const void* data, std::size_t size)
{
    out.append(static_cast<const char*>(data), size);
}

std::string LinesFile(const std::vector<std::vector<FilePoint>>& lines, std::uint16_t version = 2,
                      std::uint32_t magic = ProjectionStreamLines::FILE_MAGIC)
{
    std::string out;
    const std::uint32_t count = static_cast<std::uint32_t>(lines.size());
    Put(out, &magic, 4);
    Put(out, &version, 2);
    Put(out, &count, 4);
    for (const std::vector<FilePoint>& line : lines)
    {
        const std::uint16_t n = static_cast<std::uint16_t>(line.size());
        Put(out, &n, 2);
        Put(out, line.data(), line.size() * sizeof(FilePoint));
    }
    return out;
}

std::string LoadError(const std::string& bytes, ProjectionStreamLines& lines)
{
    MemoryStreamRef stream(bytes.data(), static_cast<unsigned int>(bytes.size()));
    return ErrorOf([&] { lines.Load(stream); });
}

Point At(float x, float y, float z, float density = 0.0f)
{
    Point p;
    p.position[0] = x;
    p.position[1] = y;
    p.position[2] = z;
    p.density = density;
    return p;
}

void ExpectVector(const float* actual, std::initializer_list<float> expected)
{
    const float* e = expected.begin();
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], e[i], 1e-6f) << "component " << i;
}
} // namespace

TEST(ProjectionStreamLines, FilesThatCannotBeRead)
{
    std::string header4G = LinesFile({});
    const std::uint32_t huge = 4000000000u;
    std::memcpy(&header4G[6], &huge, 4);
    std::string truncated = LinesFile({{{0, 0, 0, 1, 1}, {1, 0, 0, 1, 1}}});
    truncated.resize(truncated.size() - 3);
    struct Case
    {
        std::string bytes;
        const char* message;
    };
    const Case cases[] = {
        {LinesFile({}, 3), "Projection line data version unrecognized."},
        {LinesFile({}, 2, 0x12345678), "Projection line data format unrecognized."},
        // 4 billion lines declared in a 10-byte file: refused before anything is allocated for them.
        {header4G, "Unexpected end of stream while reading."},
        {truncated, "Unexpected end of stream while reading."},
        {std::string(5, '\0'), "Projection line data format unrecognized."},
        {std::string(3, '\0'), "Unexpected end of stream while reading."},
    };
    for (const Case& c : cases)
    {
        ProjectionStreamLines lines;
        EXPECT_EQ(LoadError(c.bytes, lines), c.message);
    }
    // A file cut inside its second line keeps the first and leaves the second empty.
    std::string partial = LinesFile({{{0, 0, 0, 1, 1}, {1, 0, 0, 1, 1}}, {{0, 0, 0, 1, 1}, {0, 1, 0, 1, 1}}});
    partial.resize(partial.size() - 1);
    ProjectionStreamLines lines;
    EXPECT_NE(LoadError(partial, lines), "no error");
    ASSERT_EQ(lines.GetLineList().size(), 2u);
    EXPECT_EQ(lines.GetLineList()[0].size(), 2u);
    EXPECT_TRUE(lines.GetLineList()[1].empty());
}

TEST(ProjectionStreamLines, LoadingThinsAndGivesNormals)
{
    ProjectionStreamLines lines;
    const std::string bytes = LinesFile({
        {{0, 0, 0, 0.5f, 7}, {0.2f, 0.2f, 0.2f, 1, 1}, {0.3f, 0, 0, 0.25f, 3}},
        {{5, 5, 5, 1, 1}, {5.1f, 5.2f, 4.8f, 1, 1}},
        {},
        {{0, 0, 0, 1, 1}, {0, 2, 0, 1, 1}, {0, 2, 1, 1, 1}},
    });
    ASSERT_EQ(LoadError(bytes, lines), "no error");
    const std::vector<Line>& list = lines.GetLineList();
    ASSERT_EQ(list.size(), 4u);

    // (0.2, 0.2, 0.2) lies within 0.25 of the first point on every axis and is dropped.
    ASSERT_EQ(list[0].size(), 2u);
    EXPECT_EQ(list[0][1].position[0], 0.3f);
    EXPECT_EQ(list[0][1].density, 0.25f);
    EXPECT_EQ(list[0][0].intensity, 7.0f);
    ExpectVector(list[0][0].normal, {0, 1, 0});
    ExpectVector(list[0][1].normal, {0, 1, 0});

    ASSERT_EQ(list[1].size(), 1u);
    ExpectVector(list[1][0].normal, {0, 0, 0});
    EXPECT_TRUE(list[2].empty());
    ExpectVector(list[3][0].normal, {0, 0, 1});
    ExpectVector(list[3][1].normal, {1, 0, 0});
    ExpectVector(list[3][2].normal, {1, 0, 0});
}

TEST(ProjectionStreamLines, SegmentNormalsArePerpendicularUnitVectors)
{
    struct Case
    {
        float direction[3];
        float normal[3];
    };
    const float h = std::sqrt(0.5f);
    const Case cases[] = {
        {{1, 0, 0}, {0, 1, 0}},  {{0, 2, 0}, {0, 0, 1}}, {{0, 0, -3}, {1, 0, 0}},
        {{1, 1, 0}, {-h, h, 0}}, {{0, 0, 0}, {0, 0, 0}}, // a segment of no length has no normal
    };
    for (const Case& c : cases)
    {
        float normal[3] = {9, 9, 9};
        ProjectionStreamLines::SegmentNormal(c.direction, normal);
        ExpectVector(normal, {c.normal[0], c.normal[1], c.normal[2]});
        EXPECT_NEAR(normal[0] * c.direction[0] + normal[1] * c.direction[1] + normal[2] * c.direction[2], 0.0f, 1e-6f);
    }

    Line single{At(1, 2, 3)};
    single[0].normal[0] = 7.0f;
    ProjectionStreamLines::ComputeNormals(single);
    EXPECT_EQ(single[0].normal[0], 7.0f);
    Line line{At(0, 0, 0), At(0, 0, 0), At(0, 1, 0)};
    ProjectionStreamLines::ComputeNormals(line);
    ExpectVector(line[0].normal, {0, 0, 0});
    ExpectVector(line[1].normal, {0, 0, 1});
    ExpectVector(line[2].normal, {0, 0, 1});
}

TEST(ProjectionStreamLines, DrawnLinesAndColours)
{
    struct Case
    {
        std::size_t lines;
        std::size_t drawn;
        unsigned int step;
    };
    for (const Case& c :
         {Case{0, 0, 1}, Case{3, 3, 1}, Case{100000, 100000, 1}, Case{250000, 125000, 2}, Case{350001, 116667, 3}})
    {
        const std::vector<unsigned int> indices = ProjectionStreamLines::DrawnLineIndices(c.lines);
        ASSERT_EQ(indices.size(), c.drawn) << c.lines;
        for (std::size_t k = 0; k < indices.size(); ++k)
            ASSERT_EQ(indices[k], k * c.step);
    }

    struct Colour
    {
        const float* in;
        float out[3];
    };
    const float grey[3] = {0.2f, 0.2f, 0.2f};
    const float black[3] = {0, 0, 0};
    const float red[3] = {1, 0, 0};
    for (const Colour& c : {Colour{grey, {0.3f, 0.3f, 0.3f}}, Colour{black, {0, 0, 0}}, Colour{red, {1, 0, 0}},
                            Colour{nullptr, {1, 1, 1}}})
    {
        float base[3];
        ProjectionStreamLines::BaseColour(c.in, base);
        ExpectVector(base, {c.out[0], c.out[1], c.out[2]});
    }
}

namespace
{
class StreamLineDrawing : public GLTest
{
protected:
    static constexpr float kScale = 50.0f;
    static constexpr float kLeft = 20.0f;

    // A line along x from (0, 0, 0), drawn at kScale pixels a unit from the left of the framebuffer.
    std::vector<FeedbackPrimitive> Record(const Line& line, bool asLines)
    {
        const float colour[3] = {0.1f, 0.2f, 0.3f};
        return RecordFeedback([&] {
            glPushMatrix();
            glTranslatef(kLeft, kHeight / 2.0f, 0.0f);
            glScalef(kScale, kScale, kScale);
            ProjectionStreamLines::DrawLine(line, colour, asLines, 1.0f);
            glPopMatrix();
        });
    }

    // Distance of a window vertex from the x axis of the line, in line units.
    static float Radius(const FeedbackVertex& v)
    {
        // The projection maps eye z of -100 to 100 onto window depth 1 to 0.
        const float y = (v.y - kHeight / 2.0f) / kScale;
        const float z = -(2.0f * v.z - 1.0f) * 100.0f / kScale;
        return std::sqrt(y * y + z * z);
    }
};
} // namespace

TEST_F(StreamLineDrawing, ATwoSegmentTubeIsThreeSidesOfTwoTrianglesEach)
{
    Line line{At(0, 0, 0, 0.0f), At(1, 0, 0, 2.0f), At(2, 0, 0, 1.0f)};
    ProjectionStreamLines::ComputeNormals(line);
    const std::vector<FeedbackPrimitive> primitives = Record(line, false);
    ASSERT_EQ(primitives.size(), 3u * 2 * 2);
    for (const FeedbackPrimitive& triangle : primitives)
    {
        ASSERT_EQ(triangle.kind, FeedbackPrimitive::kPolygon);
        ASSERT_EQ(triangle.vertices.size(), 3u);
        for (const FeedbackVertex& v : triangle.vertices)
        {
            const float x = (v.x - kLeft) / kScale;
            // The segment ends are pulled 0.02 outwards; the radius follows the density, clamped.
            // Densities 0, 2 and 1 give radii 0.08 and 0.12 (clamped) and 0.1.
            float expectedRadius = -1.0f;
            if (std::fabs(x + 0.02f) < 1e-3f)
                expectedRadius = 0.08f;
            else if (std::fabs(x - 0.98f) < 1e-3f || std::fabs(x - 1.02f) < 1e-3f)
                expectedRadius = 0.12f;
            else if (std::fabs(x - 2.02f) < 1e-3f)
                expectedRadius = 0.1f;
            ASSERT_GT(expectedRadius, 0.0f) << "vertex at x " << x;
            EXPECT_NEAR(Radius(v), expectedRadius, 1e-3f);
            EXPECT_EQ(v.rgba[3], 1.0f);
        }
    }
    // The first vertex of the first side: the dark colour lifted to (0.15, 0.3, 0.45), times the start's
    // brightness 0.38.
    const FeedbackVertex& first = primitives.front().vertices.front();
    EXPECT_NEAR(first.rgba[0], 0.15f * 0.38f, 2e-3f);
    EXPECT_NEAR(first.rgba[2], 0.45f * 0.38f, 2e-3f);
}

TEST_F(StreamLineDrawing, SegmentsOfNoLengthDrawNothing)
{
    Line line{At(0, 0, 0, 0.5f), At(0, 0, 0, 0.5f), At(1, 0, 0, 0.5f)};
    ProjectionStreamLines::ComputeNormals(line);
    for (const bool asLines : {false, true})
    {
        const std::vector<FeedbackPrimitive> primitives = Record(line, asLines);
        ASSERT_EQ(primitives.size(), asLines ? 1u : 6u);
        for (const FeedbackPrimitive& primitive : primitives)
            for (const FeedbackVertex& v : primitive.vertices)
                ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    }
    EXPECT_TRUE(Record(Line{At(0, 0, 0)}, false).empty());
}

// Lines are twice the frame's width, which a screen scaled by 2 doubles, and the frame's width comes back.
TEST_F(StreamLineDrawing, LinesAreTwiceTheFramesWidth)
{
    Line line{At(0, 0, 0, 0.5f), At(2, 0, 0, 0.5f)};
    ProjectionStreamLines::ComputeNormals(line);
    const float colour[3] = {1.0f, 1.0f, 1.0f};
    glDisable(GL_LIGHTING);
    for (const float frameWidth : {1.0f, 2.0f})
    {
        SCOPED_TRACE(frameWidth);
        glClear(GL_COLOR_BUFFER_BIT);
        glLineWidth(frameWidth);
        glPushMatrix();
        glTranslatef(kLeft, kHeight / 2.0f + 0.5f, 0.0f);
        glScalef(kScale, kScale, kScale);
        ProjectionStreamLines::DrawLine(line, colour, true, 1.0f);
        glPopMatrix();
        int rows = 0;
        for (int y = 0; y < kHeight; ++y)
            rows += Framebuffer().Pixel(static_cast<int>(kLeft + kScale), y)[3] != 0;
        EXPECT_EQ(rows, static_cast<int>(2 * frameWidth));
        GLfloat after = 0.0f;
        glGetFloatv(GL_LINE_WIDTH, &after);
        EXPECT_EQ(after, frameWidth);
    }
    glLineWidth(1.0f);
}

TEST_F(StreamLineDrawing, TheSetCompilesIntoOneDisplayList)
{
    ProjectionStreamLines lines;
    ASSERT_EQ(LoadError(LinesFile({{{0, 0, 0, 1, 1}, {1, 0, 0, 1, 1}}, {{0, 1, 0, 1, 1}, {0, 2, 0, 1, 1}}}), lines),
              "no error");
    const float colour[3] = {1, 0, 0};
    glTranslatef(kWidth / 2.0f, kHeight / 2.0f, 0.0f);
    const std::vector<FeedbackPrimitive> drawn = RecordFeedback([&] { lines.Draw(false, colour); });
    EXPECT_EQ(drawn.size(), 2u * 3 * 2);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // Calling the list again, and rebuilding it, draws the same.
    EXPECT_EQ(RecordFeedback([&] { lines.Draw(false, colour); }).size(), drawn.size());
    EXPECT_EQ(RecordFeedback([&] { lines.Draw(true, nullptr); }).size(), drawn.size());
}
