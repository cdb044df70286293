#include <cfloat>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <gtest/gtest.h>

#include "MeshTestFiles.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "atlas/BrainOntology.h"
#include "atlas/GLLines.h"
#include "atlas/GLTriangleMesh.h"
#include "atlas/GLVertexColoredMesh.h"

// The structure mesh set without drawing: which file a structure takes, centres, ray picking and the
// POV-Ray export (rendered by POV-Ray itself). Drawing is tested in the GL suite.

namespace
{

using namespace meshtest;

std::vector<Point> Square(float z, float lo, float hi)
{
    return {{lo, lo, z}, {hi, lo, z}, {lo, hi, z}, {hi, hi, z}};
}

// The hand atlas (labels root 1, A 2, B 3, C 4 with C inside B inside root; mesh units are half a view
// voxel) with: root a square at z = 10, A a line set, B nothing, C a square at z = 5 as both .msh and
// .amsh.
class HandMeshTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HandAtlas().Write(Folder());
        WriteBytes(Meshes() + "/root.msh", Msh(Square(10, 0, 10), {{0, 1, 2, 3}}));
        WriteBytes(Meshes() + "/A.ls", Ls({{{0, 0, 0}, {2, 2, 2}}}));
        WriteBytes(Meshes() + "/C.msh", Msh(Square(5, 4, 6), {{0, 1, 2, 3}}));
        WriteBytes(Meshes() + "/C.amsh",
                   Amsh(1, {{{0, 0, 0}, 300, 0, 1}, {{1, 0, 0}, 300, 0, 1}, {{0, 1, 0}, 300, 0, 1}}, {{0, 1, 2}}));
        atlas = std::make_unique<Atlas>(Folder());
        meshes = std::make_unique<BrainMeshSet>(atlas->GetSpace(0u));
        ontology = atlas->GetOntology();
    }

    std::string Folder() const { return dir.File("hand"); }
    std::string Meshes() const { return Folder() + "/Spaces/S/Meshes"; }
    const AnnotationLabel* Label(const char* abbreviation) const { return ontology->GetAnnotationLabel(abbreviation); }
    const BrainMeshSet::Structure& StructureOf(const char* abbreviation) const
    {
        return meshes->GetStructures().at(Label(abbreviation)->index);
    }

    TempDir dir;
    std::unique_ptr<Atlas> atlas;
    std::unique_ptr<BrainMeshSet> meshes;
    std::shared_ptr<BrainOntology> ontology;
};

void ExpectPoint(const float* expected, const float* actual)
{
    ASSERT_NE(nullptr, actual);
    for (int a = 0; a < 3; ++a)
        EXPECT_FLOAT_EQ(expected[a], actual[a]) << "axis " << a;
}

} // namespace

TEST_F(HandMeshTest, EachStructureTakesTheFileOfItsKind)
{
    EXPECT_TRUE(BrainMeshSet::SpatialObjectFileExists(Label("A"), atlas.get()));
    EXPECT_FALSE(BrainMeshSet::SpatialObjectFileExists(Label("B"), atlas.get()));
    EXPECT_FALSE(StructureOf("A").object) << "nothing is loaded before it is asked for";
    EXPECT_TRUE(std::dynamic_pointer_cast<GLLines>(meshes->GetObject(Label("A"))));
    EXPECT_TRUE(StructureOf("A").loaded);
    // A structure with both a .msh and a .amsh file uses the .msh file, which has no object.
    EXPECT_FALSE(meshes->GetObject(Label("C")));
    EXPECT_TRUE(StructureOf("C").mesh);
    EXPECT_FALSE(StructureOf("C").object);
    // With no display lists yet, the first draw records the list.
    EXPECT_FALSE(StructureOf("C").loaded);
    EXPECT_FALSE(meshes->GetObject(Label("B")));
    EXPECT_FALSE(StructureOf("B").mesh);
    EXPECT_FALSE(meshes->GetObject(nullptr));

    std::filesystem::remove(Meshes() + "/C.msh");
    BrainMeshSet fresh(atlas->GetSpace(0u));
    EXPECT_TRUE(std::dynamic_pointer_cast<GLVertexColoredMesh>(fresh.GetObject(Label("C"))));
}

TEST_F(HandMeshTest, CentroidsComeFromTheNearestAncestorWithOne)
{
    const float root[3] = {2.5f, 2.5f, 5.0f}, c[3] = {2.5f, 2.5f, 2.5f};
    ExpectPoint(c, meshes->GetCentroid(Label("C")));
    // B has no file: its parent's centre.
    ExpectPoint(root, meshes->GetCentroid(Label("B")));
    // Lines have no centre: A takes its parent's.
    ExpectPoint(root, meshes->GetCentroid(Label("A")));
    EXPECT_EQ(nullptr, meshes->GetCentroid(nullptr));

    // Without any centre on the way up, the last one looked at: zero.
    std::filesystem::remove(Meshes() + "/root.msh");
    BrainMeshSet fresh(atlas->GetSpace(0u));
    const float zero[3] = {0, 0, 0};
    ExpectPoint(zero, fresh.GetCentroid(Label("B")));
    EXPECT_EQ(fresh.GetStructures()[1].centroid, fresh.GetCentroid(Label("B")));
}

TEST_F(HandMeshTest, RaysHitLoadedStructuresPreferringInnerOnes)
{
    // Down z through (2.5, 2.5) from z = 20: root's square (z = 5 in view units) at 15, C's at 17.5.
    const float origin[3] = {2.5f, 2.5f, 20}, down[3] = {0, 0, -1}, box[2] = {-100, 100};
    BrainMeshSet::Selector all(ontology->GetNumLabels(), true);
    const AnnotationLabel* label = nullptr;
    EXPECT_EQ(FLT_MAX, meshes->HitTest(all, false, origin, down, box, box, box, label)) << "nothing loaded yet";
    meshes->GetCentroid(Label("C"));
    meshes->GetCentroid(Label("B"));
    meshes->GetObject(Label("A"));

    struct Case
    {
        const char* name;
        bool preferInner;
        bool volumeRendering;
        const char* before;
        float distance;
        const char* hit;
    };
    const Case cases[] = {
        {"nearest", false, false, nullptr, 15.0f, "root"},
        {"inner", true, false, nullptr, 17.5f, "C"},
        {"inner after an unrelated label", true, false, "A", 17.5f, "C"},
        {"whole brain hidden by volume rendering", false, true, nullptr, 17.5f, "C"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        VolumeRenderingSetting setting(c.volumeRendering);
        label = c.before ? Label(c.before) : nullptr;
        EXPECT_FLOAT_EQ(c.distance, meshes->HitTest(all, c.preferInner, origin, down, box, box, box, label));
        EXPECT_EQ(Label(c.hit), label);
    }
    BrainMeshSet::Selector onlyRoot(ontology->GetNumLabels(), false);
    onlyRoot.Set(Label("root")->index, true);
    label = nullptr;
    EXPECT_FLOAT_EQ(15.0f, meshes->HitTest(onlyRoot, true, origin, down, box, box, box, label));
    EXPECT_EQ(Label("root"), label);
}

TEST_F(HandMeshTest, ExportNamesAreSafeIdentifiersInsideTheFolder)
{
    // An ontology whose abbreviations would climb out of the folder or cannot be declared.
    WriteBytes(Folder() + "/ontology_v2.csv", "database_id,abbreviation,name,parent,id,red,green,blue,order,mesh_name\n"
                                              "900,../up,Root,,1,10,20,30,0,root\n"
                                              "500,int,Area A,900,5,200,0,0,1,C\n");
    Atlas other(Folder());
    BrainMeshSet set(other.GetSpace(0u));
    TempDir out;
    set.ExportPOVRay(BrainMeshSet::Selector(3, true), (out.Path() + "/").c_str());
    EXPECT_TRUE(std::filesystem::exists(out.File("___up.pov")));
    EXPECT_TRUE(std::filesystem::exists(out.File("_int.pov")));
    EXPECT_FALSE(std::filesystem::exists(out.Path() + "/../up.pov"));
    const std::string usage = ReadBytes(out.File("mesh_usage.pov"));
    EXPECT_NE(std::string::npos, usage.find("#include \"_int.pov\"\nobject {\n\t_int\n"));
}

namespace
{

class TinyExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        atlas = std::make_unique<Atlas>(CopyTinyAtlas(dir.File("tiny")));
        ontology = atlas->GetOntology();
        meshes = std::make_unique<BrainMeshSet>(atlas->GetSpace(0u));
    }

    std::vector<std::string> Lines(const std::string& path) const
    {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    TempDir dir;
    std::unique_ptr<Atlas> atlas;
    std::shared_ptr<BrainOntology> ontology;
    std::unique_ptr<BrainMeshSet> meshes;
};

} // namespace

TEST_F(TinyExportTest, EveryStructureWithASurfaceIsWrittenAndRendered)
{
    const std::string out = dir.File("out") + "/";
    std::filesystem::create_directory(out);
    meshes->ExportPOVRay(BrainMeshSet::Selector(ontology->GetNumLabels(), true), out.c_str());

    // One structure's file, line by line as an independent rendering of its .msh has it.
    const std::string brMesh = TinyMeshes(dir.File("tiny")) + "/Br.msh";
    const std::string command = "/usr/bin/python3 '" + std::string(CORVANE_SOURCE_DIR) +
                                "/tests/atlas/oracles/mesh_reference.py' pov '" + brMesh + "' Br '" +
                                dir.File("Br.expected") + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
    const std::vector<std::string> br = Lines(out + "Br.pov");
    EXPECT_GT(br.size(), 1000u);
    EXPECT_EQ(Lines(dir.File("Br.expected")), br);

    const std::vector<std::string> usage = Lines(out + "mesh_usage.pov");
    const std::vector<std::string> brUsage = {
        "#include \"Br.pov\"",       "object {", "\tBr", "\tmake_color(0.690196, 0.690196, 0.690196)",
        "\tfinish { structFinish }", "}",        ""};
    ASSERT_GE(usage.size(), 7u);
    EXPECT_EQ(brUsage, std::vector<std::string>(usage.begin(), usage.begin() + 7));
    // Seven lines for every .msh of the space, none for Iso, CBX (.amsh) and ac (.ls).
    std::size_t surfaces = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TinyMeshes(dir.File("tiny"))))
        surfaces += entry.path().extension() == ".msh";
    EXPECT_EQ(7 * surfaces, usage.size());
    const std::string all = ReadBytes(out + "mesh_usage.pov");
    for (const char* absent : {"Iso", "CBX", "\"ac.pov\""})
        EXPECT_EQ(std::string::npos, all.find(absent)) << absent;
    EXPECT_NE(std::string::npos, all.find("#include \"_int.pov\""));

    // POV-Ray itself renders the export in a small scene.
    WriteBytes(out + "scene.pov", "#version 3.7;\n"
                                  "global_settings { assumed_gamma 1.0 }\n"
                                  "#macro make_color(r, g, b) pigment { color rgb <r, g, b> } #end\n"
                                  "#declare structFinish = finish { ambient 0.3 diffuse 0.7 }\n"
                                  "background { color rgb <0, 0, 0> }\n"
                                  "camera { location <33, 20, -90> look_at <33, 20, 29> }\n"
                                  "light_source { <33, -100, -200> color rgb <1, 1, 1> }\n"
                                  "#include \"mesh_usage.pov\"\n");
    const std::string render =
        "cd '" + out + "' && povray +Iscene.pov +Oscene.png +FN +W64 +H48 -D -GA > povray.log 2>&1";
    ASSERT_EQ(0, std::system(render.c_str())) << ReadBytes(out + "povray.log");
    QImage image(QString::fromStdString(out + "scene.png"));
    ASSERT_FALSE(image.isNull());
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += (image.pixel(x, y) & 0xFFFFFF) != 0;
    EXPECT_GT(lit, 100);
}

TEST_F(TinyExportTest, FolderIsAPrefixAndMustBeWritable)
{
    BrainMeshSet::Selector onlyBr(ontology->GetNumLabels(), false);
    onlyBr.Set(ontology->GetAnnotationLabel("Br")->index, true);
    meshes->ExportPOVRay(onlyBr, dir.File("pre").c_str());
    EXPECT_TRUE(std::filesystem::exists(dir.File("premesh_usage.pov")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("preBr.pov")));
    EXPECT_EQ("File could not be written.",
              ErrorOf([&] { meshes->ExportPOVRay(onlyBr, dir.File("missing/folder/").c_str()); }));
}
