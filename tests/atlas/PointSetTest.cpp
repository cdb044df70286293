#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "AtlasFixture.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/PointSet.h"

namespace
{

std::string Binary(std::uint32_t magic, std::uint16_t version, std::uint32_t count, unsigned int records)
{
    std::string bytes(10 + 16 * records, '\0');
    std::memcpy(&bytes[0], &magic, 4);
    std::memcpy(&bytes[4], &version, 2);
    std::memcpy(&bytes[6], &count, 4);
    for (unsigned int i = 0; i < records; ++i)
    {
        const std::uint32_t id = 1000 + i;
        const float xyz[3] = {float(i), 0.5f, -2.0f};
        std::memcpy(&bytes[10 + 16 * i], &id, 4);
        std::memcpy(&bytes[14 + 16 * i], xyz, 12);
    }
    return bytes;
}

void ExpectPlaceholder(const PointSet::Point3d& point)
{
    EXPECT_EQ(-1, point.index);
    EXPECT_EQ(0.0f, point.x);
    EXPECT_EQ(0.0f, point.z);
    EXPECT_EQ(0u, point.id);
    EXPECT_EQ(0u, point.structureId);
}

} // namespace

TEST(PointSet, TextRowsAndPlaceholders)
{
    TempDir dir;
    const std::string path = dir.Write("p.csv", "well_id,structure_id,injection_size,x,y,z\n"
                                                "7,11,0.5,2500,1000,300\n"
                                                "8,12,0.25,100,200,-1\n"
                                                "9,13,,,200,300\n"
                                                "1,2,3\n"
                                                "\n"
                                                "10,\"14\",,1,2,3\n"
                                                "11,15,nan,inf,2,3\n"
                                                "12,16,x,\"4,5\",6,7,8\n");
    PointSet set(path.c_str(), nullptr);
    ASSERT_EQ(8u, set.points.size());
    const PointSet::Point3d& first = set.points[0];
    EXPECT_EQ(0, first.index);
    EXPECT_EQ(7u, first.id);
    EXPECT_EQ(11u, first.structureId);
    EXPECT_FLOAT_EQ(0.5f, first.size);
    EXPECT_FLOAT_EQ(25.0f, first.x);
    EXPECT_FLOAT_EQ(10.0f, first.y);
    EXPECT_FLOAT_EQ(3.0f, first.z);
    EXPECT_EQ(nullptr, first.label);
    // Negative z, empty x, three fields, an empty line and a coordinate that is no number: placeholders
    // that still count as rows.
    for (int i = 1; i < 5; ++i)
        ExpectPlaceholder(set.points[i]);
    EXPECT_EQ(5, set.points[5].index);
    EXPECT_EQ(14u, set.points[5].structureId);
    EXPECT_EQ(0.0f, set.points[5].size);
    ExpectPlaceholder(set.points[6]);
    // The position is always the last three fields.
    EXPECT_EQ(7, set.points[7].index);
    EXPECT_FLOAT_EQ(0.06f, set.points[7].x);
    EXPECT_FLOAT_EQ(0.08f, set.points[7].z);
}

TEST(PointSet, TextErrors)
{
    TempDir dir;
    const std::string missing = dir.File("none.csv");
    EXPECT_EQ("Error while opening file: " + missing,
              MessageOf<std::runtime_error>([&] { PointSet set(missing.c_str(), nullptr); }));
    const std::string bad = dir.Write("bad.csv", "data_set_id,x,y,z\n1,2,3,4\nseven,1,2,3\n");
    PointSet set;
    EXPECT_EQ("seven", MessageOf<std::invalid_argument>([&] { set.Load(bad.c_str(), nullptr); }));
    EXPECT_EQ(1u, set.points.size());
    PointSet empty(dir.Write("empty.csv", "").c_str(), nullptr);
    EXPECT_TRUE(empty.points.empty());
    // A folder opens but cannot be read: an error, not an empty set.
    const std::string folder = dir.File("folder.csv");
    fs::create_directories(folder);
    EXPECT_EQ("Error while opening file: " + folder,
              MessageOf<std::runtime_error>([&] { PointSet set(folder.c_str(), nullptr); }));
}

TEST(PointSet, BinaryFiles)
{
    TempDir dir;
    PointSet set(dir.Write("s", Binary(0x99118822u, 1, 3, 3)).c_str(), nullptr);
    ASSERT_EQ(3u, set.points.size());
    EXPECT_EQ(1002u, set.points[2].id);
    EXPECT_EQ(2.0f, set.points[2].x);
    EXPECT_EQ(-2.0f, set.points[2].z);
    EXPECT_EQ(-1, set.points[2].index);

    // Upper-case ".CSV" is not a text file.
    PointSet upper(dir.Write("s.CSV", Binary(0x99118822u, 1, 1, 1)).c_str(), nullptr);
    EXPECT_EQ(1u, upper.points.size());

    const std::string most = dir.Write("most", Binary(0x99118822u, 1, 100000, 100000));
    EXPECT_EQ(100000u, PointSet(most.c_str(), nullptr).points.size());

    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"many", Binary(0x99118822u, 1, 100001, 0)},
                                      {"v2", Binary(0x99118822u, 2, 1, 1)},
                                      {"magic", Binary(0x22881199u, 1, 1, 1)}})
    {
        const std::string path = dir.Write(name, bytes);
        EXPECT_EQ("Unexpected surface points file format found while reading: " + path,
                  MessageOf<std::runtime_error>([&] { PointSet set(path.c_str(), nullptr); }));
    }
    const std::string truncated = dir.Write("short", Binary(0x99118822u, 1, 4, 3));
    EXPECT_THROW(PointSet(truncated.c_str(), nullptr), std::runtime_error);
    EXPECT_THROW(PointSet(dir.Write("tiny", "\x22\x88").c_str(), nullptr), std::runtime_error);
    EXPECT_THROW(PointSet(dir.File("absent").c_str(), nullptr), std::runtime_error);
}

TEST(PointSet, SamplePointMapKeepsEachIdsFirstPoint)
{
    PointSet set;
    PointSet::Point3d point;
    point.id = 4;
    point.x = 1.0f;
    set.points.push_back(point);
    point.x = 2.0f;
    set.points.push_back(point);
    point.id = 5;
    set.points.push_back(point);
    EXPECT_EQ(2u, set.GetSamplePointMap().size());
    EXPECT_EQ(1.0f, set.GetSamplePointMap().at(4).x);
    set.points[0].id = 6;
    // Duplicate ids keep the map short of the point count, so it follows every change.
    EXPECT_EQ(2.0f, set.GetSamplePointMap().at(4).x);
    EXPECT_EQ(3u, set.GetSamplePointMap().size());

    // A new file of as many points replaces the map with its own.
    TempDir dir;
    PointSet loaded(dir.Write("a.csv", "well_id,x,y,z\n1,1,1,1\n2,2,2,2\n").c_str(), nullptr);
    ASSERT_EQ(1u, loaded.GetSamplePointMap().count(1));
    loaded.Load(dir.Write("b.csv", "well_id,x,y,z\n3,1,1,1\n4,2,2,2\n").c_str(), nullptr);
    EXPECT_EQ(0u, loaded.GetSamplePointMap().count(1));
    EXPECT_EQ(1u, loaded.GetSamplePointMap().count(3));
}

// Labels come from the annotation on the 100 µm grid, whatever the space's own grids.
TEST(PointSet, PointsOfASpaceMoveToItsViewGridAndGetTheirStructure)
{
    AtlasRoot root;
    HandAtlas hand;
    hand.Write(root.Folder("hand"));
    Atlas atlas(root.Folder("hand"));
    const std::string path = root.Folder("hand") + "/p.csv";
    // Atlas voxel (5, 4, 1) holds 300 and (2, 1, 1) holds 5; a far point clamps to the last voxel.
    WriteBytes(path, "data_set_id,x,y,z\n1,500,400,100\n2,200,100,100\n3,90000,90000,90000\n,,1,1\n");
    PointSet set(path.c_str(), atlas.GetSpace(0u));
    ASSERT_EQ(4u, set.points.size());
    EXPECT_FLOAT_EQ(2.5f, set.points[0].x);
    EXPECT_FLOAT_EQ(2.0f, set.points[0].y);
    EXPECT_FLOAT_EQ(0.5f, set.points[0].z);
    const BrainOntology& ontology = *atlas.GetOntology();
    EXPECT_EQ("C", set.points[0].label->abbreviation);
    EXPECT_EQ("A", set.points[1].label->abbreviation);
    EXPECT_EQ(ontology.GetAnnotationLabel(static_cast<unsigned short>(HandAtlas::Value(7, 5, 3))), set.points[2].label);
    EXPECT_EQ(ontology.GetAnnotationLabelByIndex(0), set.points[3].label);
}

TEST(PointSet, GeneratedSampleGridsMatchTheirAnnotation)
{
    REQUIRE_GENERATOR();
    AtlasRoot root;
    GenerateAtlas("micro", 351, root.Folder("m"));
    Atlas atlas(root.Folder("m"));
    AtlasSpace* space = atlas.GetSpace(0u);
    const std::shared_ptr<PointSet> samples = space->GetSampleGrid();
    ASSERT_TRUE(samples);
    ASSERT_FALSE(samples->points.empty());
    // The micro grid is neither 100 µm nor a grid of the space: a 100 µm grid is resampled and cached.
    EXPECT_TRUE(fs::exists(atlas.GetLocalPath() + "/Annotation_Grid_" + space->GetName() + "_100"));
    const std::string annotation = ReadBytes(space->GetPath() + "/Annotation");
    const unsigned int* dims = space->GetAtlasDimensions();
    for (const PointSet::Point3d& point : samples->points)
    {
        ASSERT_NE(nullptr, point.label);
        // Independently: 100 µm voxel of the point, then nearest atlas voxel by exact ratio.
        const float micrometres[3] = {point.x * 1000.0f, point.y * 1000.0f, point.z * 1000.0f};
        const unsigned int grid[3] = {133, 81, 115};
        unsigned int source[3];
        for (int k = 0; k < 3; ++k)
        {
            const unsigned int voxel = std::min(static_cast<unsigned int>(micrometres[k] / 100.0f + 0.5f), grid[k] - 1);
            source[k] = voxel * dims[k] / grid[k];
        }
        const unsigned char value =
            static_cast<unsigned char>(annotation[(source[2] * dims[1] + source[1]) * dims[0] + source[0]]);
        EXPECT_EQ(value, point.label->annotationValue) << point.id;
    }
    const std::shared_ptr<PointSet> surface = space->GetSurfaceSampleGrid();
    ASSERT_TRUE(surface);
    EXPECT_FALSE(surface->points.empty());
    EXPECT_EQ(nullptr, surface->points[0].label);
}
