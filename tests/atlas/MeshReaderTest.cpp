#include <cfloat>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MeshTestFiles.h"
#include "atlas/BrainOntology.h"
#include "atlas/GLLines.h"
#include "atlas/GLTriangleMesh.h"
#include "atlas/GLVertexColoredMesh.h"
#include "atlas/POVRayIdentifier.h"

// The readers of the mesh and line files, on the generator's tiny atlas and on files written here,
// hostile ones included. Drawing is tested in the GL suite.

namespace
{

using namespace meshtest;

// Label values 5 (colour 220, 100, 0) and 7 (0, 200, 40) under a root of value 1.
const char* const kOntology = "database_id,abbreviation,name,parent,id,red,green,blue,order,mesh_name\n"
                              "900,root,Root,,1,10,20,30,0,root\n"
                              "500,A,Area A,900,5,220,100,0,1,A\n"
                              "700,B,Area B,900,7,0,200,40,2,B\n";

class MeshReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ontology = std::make_unique<BrainOntology>(dir.Write("ontology.csv", kOntology).c_str(), true, true, false);
    }

    std::string Write(const std::string& name, const std::string& bytes) { return dir.Write(name, bytes); }

    TempDir dir;
    std::unique_ptr<BrainOntology> ontology;
};

// The unit square at z = 0 as two triangles of structure 5 and one of structure 7 beside it.
std::vector<ColoredVertex> SquareVertices(float shade)
{
    return {{{0, 0, 0}, 5, 0, shade}, {{1, 0, 0}, 5, 3, shade},      {{1, 1, 0}, 5, 3, shade},
            {{0, 1, 0}, 5, 0, shade}, {{2, 0, 0}, 7, 0x1234, shade}, {{2, 1, 0}, 7, 0, shade}};
}

const std::vector<Indices> kSquareGroups = {{0, 1, 2, 0, 2, 3}, {1, 4, 5}};

// What the independent reader and the loaders agree on for one file: counts, then the extents and
// centroid of the positions.
struct Summary
{
    std::size_t vertices = 0, parts = 0, indices = 0;
    std::array<float, 9> bounds{};
};

std::map<std::string, Summary> PythonSummaries(const std::vector<std::string>& files, const TempDir& dir)
{
    std::string command = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) +
                          "/tests/atlas/oracles/mesh_reference.py' summary '" + dir.File("summary.txt") + "'";
    for (const std::string& file : files)
        command += " '" + file + "'";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("mesh oracle failed: " + command);
    std::ifstream in(dir.File("summary.txt"));
    std::map<std::string, Summary> summaries;
    std::string path;
    Summary s;
    while (in >> path >> s.vertices >> s.parts >> s.indices)
    {
        for (float& b : s.bounds)
            in >> b;
        summaries[path] = s;
    }
    return summaries;
}

// Extents and centroid of the positions that position(point) gives.
template <class Points, class Position>
std::array<float, 9> Bounds(const Points& points, Position position)
{
    std::array<float, 9> b{FLT_MAX, FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX, 0, 0, 0};
    for (const auto& p : points)
        for (int a = 0; a < 3; ++a)
        {
            b[a] = std::min(b[a], position(p)[a]);
            b[3 + a] = std::max(b[3 + a], position(p)[a]);
            b[6 + a] += position(p)[a] / static_cast<float>(points.size());
        }
    return b;
}

Summary Load(const std::string& path, const BrainOntology& ontology)
{
    Summary s;
    const std::string extension = std::filesystem::path(path).extension().string();
    if (extension == ".msh")
    {
        GLTriangleMesh mesh;
        mesh.Load(path.c_str(), true);
        s = {mesh.GetVertices().size(), mesh.GetStrips().size(), 0, {}};
        for (const auto& strip : mesh.GetStrips())
            s.indices += strip.size();
        s.bounds = {mesh.GetMinExtent()[0], mesh.GetMinExtent()[1], mesh.GetMinExtent()[2],
                    mesh.GetMaxExtent()[0], mesh.GetMaxExtent()[1], mesh.GetMaxExtent()[2],
                    mesh.GetCentroid()[0],  mesh.GetCentroid()[1],  mesh.GetCentroid()[2]};
    }
    else if (extension == ".amsh")
    {
        GLVertexColoredMesh mesh(&ontology);
        mesh.Load(path.c_str());
        s = {mesh.GetVertices().size(), mesh.GetGroupSizes().size(), mesh.GetIndices().size(),
             Bounds(mesh.GetVertices(), [](const auto& v) { return v.position; })};
        std::copy(mesh.GetCentroid(), mesh.GetCentroid() + 3, s.bounds.begin() + 6);
    }
    else
    {
        GLLines lines(nullptr);
        lines.Load(path.c_str());
        std::vector<GLLines::Point3d> points;
        for (const auto& line : lines.GetLines())
            points.insert(points.end(), line.begin(), line.end());
        s = {points.size(), lines.GetLines().size(), points.size(),
             Bounds(points, [](const auto& p) { return p.position; })};
    }
    return s;
}

void ExpectNear3(const float* expected, const float* actual, const std::string& what)
{
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(expected[a], actual[a], 1e-4f * (1.0f + std::abs(expected[a]))) << what << " axis " << a;
}

} // namespace

TEST_F(MeshReaderTest, EveryMeshOfTheTinyAtlasReadsAsAnIndependentReaderReadsIt)
{
    REQUIRE_GENERATOR();
    const std::string atlas = TinyAtlas();
    const BrainOntology tinyOntology((atlas + "/ontology_v2.csv").c_str(), true, true, false);
    std::vector<std::string> files = {atlas + "/compass.msh"};
    for (const auto& entry : std::filesystem::directory_iterator(TinyMeshes(atlas)))
        files.push_back(entry.path().string());
    const std::map<std::string, Summary> expected = PythonSummaries(files, dir);
    ASSERT_EQ(files.size(), expected.size());
    for (const auto& [path, python] : expected)
    {
        SCOPED_TRACE(path);
        const Summary loaded = Load(path, tinyOntology);
        EXPECT_EQ(python.vertices, loaded.vertices);
        EXPECT_EQ(python.parts, loaded.parts);
        EXPECT_EQ(python.indices, loaded.indices);
        for (int k = 0; k < 9; k += 3)
            ExpectNear3(&python.bounds[k], &loaded.bounds[k], k == 0 ? "minimum" : k == 3 ? "maximum" : "centroid");
    }
}

TEST_F(MeshReaderTest, BothColoredMeshLayoutsGiveTheSameVertices)
{
    struct Case
    {
        const char* name;
        std::string bytes;
    };
    std::vector<ColoredVertex> v0 = SquareVertices(1.0f);
    std::vector<ColoredVertex> v1 = SquareVertices(1.0f);
    // Only the low 16 bits of a version 1 structure value pick the label.
    v1[4].structure = v1[5].structure = 0x10007;
    const Case cases[] = {{"v0", Amsh(0, v0, kSquareGroups)}, {"v1", Amsh(1, v1, kSquareGroups)}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        GLVertexColoredMesh mesh(ontology.get());
        mesh.Load(Write(std::string(c.name) + ".amsh", c.bytes).c_str());
        const auto& vertices = mesh.GetVertices();
        ASSERT_EQ(6u, vertices.size());
        EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 1, 4, 5}), mesh.GetIndices());
        EXPECT_EQ((std::vector<std::uint32_t>{6, 3}), mesh.GetGroupSizes());
        EXPECT_EQ(5u, vertices[0].structure);
        EXPECT_EQ((std::array<unsigned char, 4>{220, 100, 0, 63}),
                  (std::array<unsigned char, 4>{vertices[0].color[0], vertices[0].color[1], vertices[0].color[2],
                                                vertices[0].color[3]}));
        EXPECT_EQ((std::array<unsigned char, 3>{0, 200, 40}),
                  (std::array<unsigned char, 3>{vertices[4].color[0], vertices[4].color[1], vertices[4].color[2]}));
        const std::map<std::uint32_t, std::vector<std::uint32_t>> samples = {{3, {1, 2}}, {0x1234, {4}}};
        EXPECT_EQ(samples, mesh.GetSampleVertices());
        const float centroid[3] = {1.0f, 0.5f, 0.0f};
        ExpectNear3(centroid, mesh.GetCentroid(), "centroid");
    }
}

TEST_F(MeshReaderTest, ShadingScalesTheLabelColour)
{
    struct Case
    {
        float shade;
        unsigned char red; // of the label colour 220
    };
    const Case cases[] = {{1.0f, 220}, {0.0f, 32}, {0.5f, 126}, {2.0f, (unsigned char)(407 & 0xFF)}};
    for (const Case& c : cases)
    {
        GLVertexColoredMesh mesh(ontology.get());
        mesh.Load(Write("shade.amsh", Amsh(1, SquareVertices(c.shade), kSquareGroups)).c_str());
        EXPECT_EQ(c.red, mesh.GetVertices()[0].color[0]) << c.shade;
        EXPECT_EQ(c.red, GLVertexColoredMesh::Shade(220, c.shade)) << c.shade;
    }
    // Shades that a hostile file may carry give some colour, and no undefined conversion.
    for (const float shade :
         {1e30f, -1e30f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(0, GLVertexColoredMesh::Shade(220, shade)) << shade;
}

TEST_F(MeshReaderTest, EmptyFilesGiveEmptyMeshes)
{
    GLVertexColoredMesh colored(ontology.get());
    colored.Load(Write("empty.amsh", Amsh(1, {}, {})).c_str());
    EXPECT_TRUE(colored.GetVertices().empty());
    const AnnotationLabel* label = ontology->GetAnnotationLabel(5);
    const float origin[3] = {0.5f, 0.5f, 5}, down[3] = {0, 0, -1}, box[2] = {-9, 9};
    EXPECT_EQ(FLT_MAX, colored.HitTest(origin, down, box, box, box, label));
    EXPECT_EQ(nullptr, label);
    GLTriangleMesh mesh;
    mesh.Load(Write("empty.msh", Msh({}, {})).c_str(), true);
    EXPECT_TRUE(mesh.GetVertices().empty());
}

TEST_F(MeshReaderTest, BoundsAreComputedOnlyWhenAskedAndTransformsMovePositionsOnly)
{
    GLTriangleMesh mesh;
    mesh.Load(Write("m.msh", Msh({{1, 2, 3}, {3, 2, 1}, {2, 8, 2}}, {{0, 1, 2}})).c_str(), false);
    const float zero[3] = {0, 0, 0};
    ExpectNear3(zero, mesh.GetCentroid(), "centroid");
    const float scale[3] = {2, 1, 0.5f}, offset[3] = {1, 0, -1};
    mesh.Transform(scale, offset);
    const float moved[3] = {3, 2, 0.5f}, normal[3] = {0, 0, 1};
    ExpectNear3(moved, mesh.GetVertices()[0].position, "position");
    ExpectNear3(normal, mesh.GetVertices()[0].normal, "normal");
}

// Hostile and broken files: each fails with the reader's message, reads nothing out of bounds and
// allocates nothing of the size it declares.
TEST_F(MeshReaderTest, HostileFilesFailWithTheReadersMessage)
{
    enum Kind
    {
        kMsh,
        kAmsh,
        kLs
    };
    struct Case
    {
        const char* name;
        Kind kind;
        std::string bytes;
    };
    const std::string square = Msh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    const std::string colored = Amsh(1, SquareVertices(1), kSquareGroups);
    const std::string colored0 = Amsh(0, SquareVertices(1), kSquareGroups);
    const std::string lines = Ls({{{1, 2, 3}, {4, 5, 6}}});
    const std::string huge = U32(0xFFFFFFFFu);
    std::vector<Case> cases = {
        {"index equal to the vertex count", kMsh, Msh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 3}})},
        {"vertex count 0xFFFFFFFF", kMsh, huge + square.substr(4)},
        {"strip count 0xFFFFFFFF", kMsh, square.substr(0, 4 + 3 * 24) + huge + square.substr(4 + 3 * 24 + 4)},
        {"strip longer than the file", kMsh, square.substr(0, 4 + 3 * 24 + 4) + U16(0xFFFF) + U32(0)},
        {"colored index equal to the vertex count", kAmsh, Amsh(1, SquareVertices(1), {{0, 1, 6}})},
        {"colored vertex count 0xFFFFFFFF", kAmsh, colored.substr(0, 8) + huge + colored.substr(12)},
        {"colored group count 0xFFFFFFFF", kAmsh, colored.substr(0, 12 + 6 * 36) + huge},
        {"version 0 vertex count 0xFFFFFFFF", kAmsh, huge + colored0.substr(4)},
        {"group of four indices", kAmsh, Amsh(1, SquareVertices(1), {{0, 1, 2, 3}})},
        {"marker with version 2", kAmsh, U32(0xF00DF00Du) + U32(2) + colored.substr(8)},
        {"marker with version 0", kAmsh, U32(0xF00DF00Du) + U32(0) + colored0},
        {"line count 0xFFFFFFFF", kLs, huge + lines.substr(4)},
        {"point count past the end", kLs, U32(1) + U16(0xFFFF) + lines.substr(6)},
    };
    // Every cut of a good file.
    for (std::size_t cut = 0; cut < square.size(); ++cut)
        cases.push_back({"cut .msh", kMsh, square.substr(0, cut)});
    for (std::size_t cut = 0; cut < colored.size(); ++cut)
        cases.push_back({"cut .amsh", kAmsh, colored.substr(0, cut)});
    for (std::size_t cut = 0; cut < colored0.size(); ++cut)
        cases.push_back({"cut version 0 .amsh", kAmsh, colored0.substr(0, cut)});
    for (std::size_t cut = 0; cut < lines.size(); ++cut)
        cases.push_back({"cut .ls", kLs, lines.substr(0, cut)});

    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.bytes.size()) + " bytes");
        const std::string path = Write("hostile", c.bytes);
        if (c.kind == kMsh)
        {
            GLTriangleMesh mesh;
            EXPECT_EQ("Error while reading mesh file: " + path, ErrorOf([&] { mesh.Load(path.c_str(), true); }));
        }
        else if (c.kind == kAmsh)
        {
            GLVertexColoredMesh mesh(ontology.get());
            EXPECT_EQ("Error while reading mesh file: " + path, ErrorOf([&] { mesh.Load(path.c_str()); }));
        }
        else
        {
            GLLines mesh(nullptr);
            EXPECT_EQ("Error while reading line file: " + path, ErrorOf([&] { mesh.Load(path.c_str()); }));
        }
    }
}

TEST_F(MeshReaderTest, MissingFilesCannotBeOpened)
{
    const std::string path = dir.File("missing");
    GLTriangleMesh mesh;
    EXPECT_EQ("Mesh file could not be opened: " + path, ErrorOf([&] { mesh.Load(path.c_str(), true); }));
    GLVertexColoredMesh colored(ontology.get());
    EXPECT_EQ("Mesh file could not be opened: " + path, ErrorOf([&] { colored.Load(path.c_str()); }));
    GLLines lines(nullptr);
    EXPECT_EQ("Line file could not be opened: " + path, ErrorOf([&] { lines.Load(path.c_str()); }));
}

TEST_F(MeshReaderTest, TrianglesReachingOutOfTheBoxAreNeverHit)
{
    // The triangle (0,0,0) (1,0,0) (0,1,0); the ray comes down z through (0.25, 0.25).
    const float origin[3] = {0.25f, 0.25f, 10}, down[3] = {0, 0, -1};
    const float all[2] = {-1, 2};
    struct Case
    {
        const char* name;
        float range1[2], range2[2], range3[2]; // z, x, y
        float distance;
    };
    const Case cases[] = {
        {"inside", {-1, 2}, {-1, 2}, {-1, 2}, 10.0f},
        {"closed intervals", {0, 0}, {0, 1}, {0, 1}, 10.0f},
        {"one vertex beyond x", {-1, 2}, {-1, 0.999f}, {-1, 2}, FLT_MAX},
        {"one vertex beyond y", {-1, 2}, {-1, 2}, {0.001f, 2}, FLT_MAX},
        {"all beyond z", {0.001f, 2}, {-1, 2}, {-1, 2}, FLT_MAX},
    };
    GLTriangleMesh mesh;
    mesh.Load(Write("t.msh", Msh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {}, {1}, {0, 1}})).c_str(), false);
    GLVertexColoredMesh colored(ontology.get());
    colored.Load(Write("t.amsh", Amsh(1, SquareVertices(1), {{0, 1, 3}})).c_str());
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_FLOAT_EQ(c.distance, mesh.HitTest(origin, down, c.range1, c.range2, c.range3));
        const AnnotationLabel* label = ontology->GetAnnotationLabel(7);
        EXPECT_FLOAT_EQ(c.distance, colored.HitTest(origin, down, c.range1, c.range2, c.range3, label));
        EXPECT_EQ(c.distance < FLT_MAX ? ontology->GetAnnotationLabel(5) : nullptr, label);
    }
    // Lines are never hit and leave the caller's label alone.
    GLLines lines(nullptr);
    const AnnotationLabel* label = ontology->GetAnnotationLabel(7);
    EXPECT_EQ(3.4028235e38f, lines.HitTest(origin, down, all, all, all, label));
    EXPECT_EQ(ontology->GetAnnotationLabel(7), label);
}

TEST_F(MeshReaderTest, ShortStripsExportNoTriangle)
{
    GLTriangleMesh mesh;
    mesh.Load(
        Write("s.msh", Msh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{}, {0}, {0, 1}, {0, 1, 2, 3}})).c_str(),
        false);
    mesh.ExportPOVRay((dir.Path() + "/").c_str(), "S");
    std::ifstream in(dir.File("S.pov"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const std::vector<std::string> expected = {
        "#declare S = object {",
        "mesh { ",
        "smooth_triangle { <0,0,0>, <0,0,1>, <1,0,0>, <0,0,1>, <0,1,0>, <0,0,1> }",
        "smooth_triangle { <1,0,0>, <0,0,1>, <0,1,0>, <0,0,1>, <1,1,0>, <0,0,1> }",
        "}",
        "}"};
    EXPECT_EQ(expected, lines);
    EXPECT_EQ("File could not be written.", ErrorOf([&] { mesh.ExportPOVRay(dir.File("none/").c_str(), "S"); }));
}

TEST(POVRayIdentifierTest, NamesBecomeDeclarableIdentifiers)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Br", "Br"},   {"CA1-sp", "CA1_sp"}, {"A b", "A_b"},     {"a/b", "a_b"},        {"../x", "___x"},
        {"", "_"},      {"3V", "_3V"},        {"int", "_int"},    {"object", "_object"}, {"x", "_x"},
        {"Int", "Int"}, {"mesh2", "_mesh2"},  {"\xc3\xa9", "__"}, {"_a", "_a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, POVRayIdentifier(c.first)) << c.first;
    EXPECT_TRUE(IsPOVRayReservedWord("smooth_triangle"));
    EXPECT_FALSE(IsPOVRayReservedWord("Br"));
}
