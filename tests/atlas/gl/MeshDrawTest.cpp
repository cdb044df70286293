#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "../MeshTestFiles.h"
#include "atlas/BrainOntology.h"
#include "atlas/GLLines.h"
#include "atlas/GLTriangleMesh.h"
#include "atlas/GLVertexColoredMesh.h"
#include "gl/support/GLFeedback.h"
#include "gl/support/GLTest.h"

// Drawing of the three mesh classes, seen through the GL's feedback and selection modes. The harness
// projects one unit to one pixel, x right and y up.

namespace
{

using namespace meshtest;

const char* const kOntology = "database_id,abbreviation,name,parent,id,red,green,blue,order,mesh_name\n"
                              "900,root,Root,,1,10,20,30,0,root\n"
                              "500,A,Area A,900,5,220,100,0,1,A\n"
                              "700,B,Area B,900,7,0,200,40,2,B\n";

std::size_t VertexCount(const std::vector<FeedbackPrimitive>& primitives)
{
    std::size_t count = 0;
    for (const FeedbackPrimitive& p : primitives)
        count += p.vertices.size();
    return count;
}

// The GL names of every hit record of draw in selection mode, over the harness's whole view.
std::set<unsigned int> SelectedNames(const std::function<void()>& draw)
{
    std::vector<GLuint> buffer(1 << 16);
    glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    draw();
    const GLint hits = glRenderMode(GL_RENDER);
    EXPECT_GE(hits, 0) << "selection buffer overflow";
    std::set<unsigned int> names;
    std::size_t at = 0;
    for (GLint h = 0; h < hits; ++h)
    {
        const GLuint count = buffer[at];
        for (GLuint k = 0; k < count; ++k)
            names.insert(buffer[at + 3 + k]);
        at += 3 + count;
    }
    return names;
}

class MeshDrawTest : public GLTest
{
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        ontology = std::make_unique<BrainOntology>(dir.Write("ontology.csv", kOntology).c_str(), true, true, false);
    }

    std::string Write(const std::string& name, const std::string& bytes) { return dir.Write(name, bytes); }

    TempDir dir;
    std::unique_ptr<BrainOntology> ontology;
};

} // namespace

TEST_F(MeshDrawTest, StripsAreJoinedIntoOneStrip)
{
    struct Case
    {
        const char* name;
        std::vector<Indices> strips;
        std::size_t vertices; // sum of K plus 2 per join
    };
    const Case cases[] = {
        {"one strip", {{0, 1, 2, 3}}, 4},
        {"three strips", {{0, 1, 2, 3}, {4, 5, 6}, {0, 2, 4, 6, 1}}, 12 + 2 * 2},
        {"empty strips are skipped", {{}, {0, 1, 2}, {}, {3, 4, 5, 6}}, 7 + 2},
    };
    std::vector<Point> positions;
    for (int k = 0; k < 7; ++k)
        positions.push_back({20.0f + 30.0f * k, 40.0f + 60.0f * (k % 2) + 5.0f * k, 0.0f});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        GLTriangleMesh mesh;
        mesh.Load(Write("m.msh", Msh(positions, c.strips)).c_str(), false);
        const auto primitives = RecordFeedback([&] { mesh.Draw(); });
        std::size_t triangles = primitives.size();
        EXPECT_EQ(c.vertices - 2, triangles);
        EXPECT_EQ(3 * (c.vertices - 2), VertexCount(primitives));
    }
}

TEST_F(MeshDrawTest, ManyPolylinesAreThinnedToEveryFifth)
{
    struct Case
    {
        std::size_t lines;
        std::size_t drawn;
    };
    const Case cases[] = {{100000, 100000}, {100001, 20001}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.lines);
        // Polyline l runs from (x, y) to (x + 1, y), with l = x' + 1000 y' in steps of 0.2 pixel.
        std::string bytes = U32(static_cast<std::uint32_t>(c.lines));
        for (std::size_t l = 0; l < c.lines; ++l)
        {
            const float x = 10.0f + 0.2f * static_cast<float>(l % 1000),
                        y = 10.0f + 0.2f * static_cast<float>(l / 1000);
            bytes += U16(2);
            for (const float dx : {0.0f, 1.0f})
            {
                bytes += F32(x + dx) + F32(y) + F32(0);
                bytes += std::string(28, '\0');
            }
        }
        GLLines lines(nullptr);
        lines.Load(Write("many.ls", bytes).c_str());
        for (int draw = 0; draw < 2; ++draw)
        {
            // The first draw records the display list, the second replays it.
            const auto primitives = RecordFeedback([&] { lines.Draw(nullptr, false, 0); }, 1 << 22);
            ASSERT_EQ(c.drawn, primitives.size()) << "draw " << draw;
            const std::size_t step = c.lines > 100000 ? 5 : 1;
            for (std::size_t k = 0; k < primitives.size(); k += 997)
            {
                const FeedbackVertex& v = primitives[k].vertices[0];
                const long l = std::lround((v.x - 10.0f) / 0.2f) + 1000 * std::lround((v.y - 10.0f) / 0.2f);
                EXPECT_EQ(static_cast<long>(k * step), l);
            }
        }
    }
}

namespace
{

// Two triangles of structure 5 and one of structure 7, apart on the screen, in two groups.
std::vector<ColoredVertex> Vertices()
{
    return {{{20, 20, 0}, 5, 0, 1}, {{60, 20, 0}, 5, 0, 1},  {{20, 60, 0}, 5, 0, 1},
            {{60, 60, 0}, 5, 0, 1}, {{100, 20, 0}, 7, 0, 1}, {{140, 20, 0}, 7, 0, 1}};
}
const std::vector<Indices> kGroups = {{0, 1, 2, 1, 3, 2}, {4, 5, 3}};

// The colour of every vertex that feedback reports, by its x position, as bytes.
std::map<int, std::array<int, 3>> ColoursByX(const std::vector<FeedbackPrimitive>& primitives)
{
    std::map<int, std::array<int, 3>> colours;
    for (const FeedbackPrimitive& p : primitives)
        for (const FeedbackVertex& v : p.vertices)
            colours[static_cast<int>(std::lround(v.x * 1000)) + static_cast<int>(std::lround(v.y))] = {
                static_cast<int>(std::lround(v.rgba[0] * 255)), static_cast<int>(std::lround(v.rgba[1] * 255)),
                static_cast<int>(std::lround(v.rgba[2] * 255))};
    return colours;
}

int Key(const ColoredVertex& v)
{
    return static_cast<int>(v.position[0]) * 1000 + static_cast<int>(v.position[1]);
}

} // namespace

TEST_F(MeshDrawTest, TheSelectedStructureIsPatchedGreenAndRestored)
{
    const std::array<int, 3> green = {0, 204, 0}, a = {220, 100, 0}, b = {0, 200, 40};
    const AnnotationLabel* labelA = ontology->GetAnnotationLabel(5);
    const AnnotationLabel* labelB = ontology->GetAnnotationLabel(7);
    const std::string path = Write("two.amsh", Amsh(1, Vertices(), kGroups));
    for (const bool immediate : {false, true})
    {
        SCOPED_TRACE(immediate ? "immediate" : "vertex buffers");
        GLVertexColoredMesh mesh(ontology.get());
        EXPECT_FALSE(mesh.IsImmediateMode()) << "the harness offers vertex buffers";
        mesh.Load(path.c_str());
        struct Step
        {
            const AnnotationLabel* selected;
            std::array<int, 3> colourA, colourB;
        };
        const Step steps[] = {{labelA, green, b}, {labelB, a, green}, {nullptr, a, b}, {labelA, green, b}};
        for (const Step& step : steps)
        {
            const auto colours = ColoursByX(RecordFeedback([&] { mesh.Draw(step.selected, false, 0, immediate); }));
            ASSERT_EQ(6u, colours.size());
            for (const ColoredVertex& v : Vertices())
                EXPECT_EQ(v.structure == 5 ? step.colourA : step.colourB, colours.at(Key(v)))
                    << "vertex at " << v.position[0] << ", " << v.position[1];
        }
        EXPECT_EQ(GL_NO_ERROR, glGetError());
    }
}

TEST_F(MeshDrawTest, ColoredMeshesArePickedByTheirFirstVertexStructure)
{
    GLVertexColoredMesh mesh(ontology.get());
    mesh.Load(Write("two.amsh", Amsh(1, Vertices(), kGroups)).c_str());
    const unsigned int a = ontology->GetAnnotationLabel(5)->index, b = ontology->GetAnnotationLabel(7)->index;
    EXPECT_EQ((std::set<unsigned int>{a + 100, b + 100}), SelectedNames([&] { mesh.Draw(nullptr, true, 100); }));
    // The picking draw has no colours or normals: only the immediate draw in pick mode draws nothing.
    EXPECT_TRUE(RecordFeedback([&] { mesh.DrawImmediate(nullptr, true, 0); }).empty());

    GLVertexColoredMesh empty(ontology.get());
    empty.Load(Write("empty.amsh", Amsh(1, {}, {})).c_str());
    EXPECT_TRUE(RecordFeedback([&] { empty.Draw(nullptr, false, 0, false); }).empty());
    EXPECT_TRUE(RecordFeedback([&] { empty.Draw(nullptr, false, 0, true); }).empty());
    EXPECT_TRUE(SelectedNames([&] { empty.Draw(nullptr, true, 0); }).empty());
}

TEST_F(MeshDrawTest, RecolouringShadesEveryVertex)
{
    std::vector<ColoredVertex> vertices = Vertices();
    vertices[0].shade = 0.0f;
    GLVertexColoredMesh mesh(ontology.get());
    mesh.Load(Write("shaded.amsh", Amsh(1, vertices, kGroups)).c_str());
    const unsigned char grey[4] = {220, 220, 220, 255};
    mesh.Recolor(grey);
    auto colours = ColoursByX(RecordFeedback([&] { mesh.Draw(nullptr, false, 0); }));
    EXPECT_EQ((std::array<int, 3>{32, 32, 32}), colours.at(Key(vertices[0])));
    EXPECT_EQ((std::array<int, 3>{220, 220, 220}), colours.at(Key(vertices[4])));
    mesh.RecolorByAnnotationLabel();
    colours = ColoursByX(RecordFeedback([&] { mesh.Draw(nullptr, false, 0); }));
    EXPECT_EQ((std::array<int, 3>{32, 14, 0}), colours.at(Key(vertices[0])));
    EXPECT_EQ((std::array<int, 3>{0, 200, 40}), colours.at(Key(vertices[4])));
    EXPECT_TRUE(mesh.HighlightSample(4));
    EXPECT_FALSE(mesh.HighlightSample(4));
    EXPECT_EQ(4u, mesh.GetRequestedSample());
}
