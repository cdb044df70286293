#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "AtlasFixture.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainMeshSet.h"
#include "core/Image3d.h"
#include "core/TaskProgress.h"
#include "core/UserCancelledOperationException.h"

namespace
{

struct ProgressLog
{
    static void Record(TaskProgress* progress)
    {
        ProgressLog* log = static_cast<ProgressLog*>(progress->GetUserData());
        log->percentages.push_back(progress->GetProgress());
        if (log->cancelAfter > 0 && static_cast<int>(log->percentages.size()) >= log->cancelAfter &&
            !progress->ShouldCancel())
            progress->Cancel();
    }
    std::vector<int> percentages;
    int cancelAfter = 0;
};

class HandSpaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        hand.Write(Folder());
        atlas = std::make_unique<Atlas>(Folder());
        space = atlas->GetSpace(0u);
    }
    std::string Folder() const { return root.Folder("hand"); }
    std::string Local(const std::string& name) const { return atlas->GetLocalPath() + "/" + name; }

    AtlasRoot root;
    HandAtlas hand;
    std::unique_ptr<Atlas> atlas;
    AtlasSpace* space = nullptr;
};

} // namespace

TEST_F(HandSpaceTest, GeometryComesFromInfoXml)
{
    EXPECT_EQ(16u, space->AnnotationBitDepth());
    EXPECT_EQ(Folder() + "/Spaces/S", space->GetPath());
    EXPECT_EQ(3, space->GetAtlasBregma()[0]);
    EXPECT_FLOAT_EQ(1.5f, space->GetViewBregma()[0]);
    EXPECT_FLOAT_EQ(0.5f, space->GetViewBregma()[1]);
    EXPECT_FLOAT_EQ(100.0f, space->GetMeshResolution()[2]);
    EXPECT_FALSE(space->CoronalImagesAvailable());
    EXPECT_FALSE(atlas->HasHighResolutionAtlasImages());
    EXPECT_FLOAT_EQ(800.0f, atlas->GetPhysicalViewSize()[0]);
    EXPECT_EQ(4u, atlas->GetViewSizeGrid()[0]);
    unsigned int seriesId = 77;
    float u = -1.0f;
    float v = -1.0f;
    EXPECT_EQ(nullptr, space->ClosestCoronalAtlasSection(1, 1, 1, seriesId, u, v));
    EXPECT_EQ(nullptr, space->ClosestSagittalAtlasSection(1, 1, 1, seriesId, u, v));
    EXPECT_EQ(77u, seriesId);
    EXPECT_EQ(space->GetBrainMeshes(), space->GetBrainMeshes());
    EXPECT_FALSE(space->GetSampleGrid());
}

TEST_F(HandSpaceTest, ViewGridIsBuiltOnceAndCachedInLocal)
{
    Image3d* view = space->GetAnnotationImage();
    ASSERT_TRUE(view->IsOpen());
    EXPECT_EQ(ExpectedViewGrid(*space, hand.Annotation(), 2), Voxels(*view));
    EXPECT_EQ(3u, view->GetSize(1));
    EXPECT_TRUE(fs::exists(Local("Annotation_Grid_S")));
    EXPECT_EQ(view, space->GetAnnotationImage());

    // Other grids: the view and atlas spacings name their own images whatever the size asked for.
    const unsigned int anySize[3] = {1, 1, 1};
    const float viewSpacing[3] = {200, 1, 1};
    const float atlasSpacing[3] = {100, 7, 7};
    EXPECT_EQ(view, space->GetAnnotationImage(anySize, viewSpacing));
    EXPECT_EQ(space->GetFullSizeAnnotationImage(), space->GetAnnotationImage(anySize, atlasSpacing));

    const unsigned int fineSize[3] = {64, 48, 32};
    const float fine[3] = {12.5f, 12.5f, 12.5f};
    Image3d* grid = space->GetAnnotationImage(fineSize, fine);
    EXPECT_EQ(64u, grid->GetSize(0));
    EXPECT_TRUE(fs::exists(Local("Annotation_Grid_S_12.5")));
    EXPECT_EQ(300.0f, grid->GetValue(500, 400, 100));
    fs::remove(Local("Annotation_Grid_S_12.5"));
    EXPECT_EQ(grid, space->GetAnnotationImage(fineSize, fine));
    EXPECT_FALSE(fs::exists(Local("Annotation_Grid_S_12.5")));

    // A later opening of the atlas reads the cached grids.
    const float coarse[3] = {400, 400, 400};
    const unsigned int coarseSize[3] = {2, 2, 1};
    space->GetAnnotationImage(coarseSize, coarse);
    EXPECT_TRUE(fs::exists(Local("Annotation_Grid_S_400")));
    Atlas again(Folder());
    fs::remove(Folder() + "/Spaces/S/Atlas");
    EXPECT_EQ(ExpectedViewGrid(*space, hand.Annotation(), 2), Voxels(*again.GetSpace(0u)->GetAnnotationImage()));
    EXPECT_EQ(2u, again.GetSpace(0u)->GetAnnotationImage(coarseSize, coarse)->GetSize(0));
    EXPECT_FALSE(again.GetSpace(0u)->FullAtlasIsLoaded());
}

TEST_F(HandSpaceTest, BrokenLocalViewGridIsReported)
{
    WriteBytes(Local("Annotation_Grid_S"), "short");
    EXPECT_EQ("Could not load 3D annotation image.",
              MessageOf<std::runtime_error>([&] { space->GetAnnotationImage(); }));
}

TEST_F(HandSpaceTest, WithoutANisslVolumeTheViewGridFallsBackToTheFullAnnotation)
{
    fs::remove(Folder() + "/Spaces/S/Atlas");
    EXPECT_EQ("Could not load 3D Nissl image.", MessageOf<std::runtime_error>([&] { space->InstallAtlas(nullptr); }));
    EXPECT_FALSE(fs::exists(Local("Annotation_Grid_S")));
    EXPECT_TRUE(space->GetFullSizeAnnotationImage()->IsOpen());

    // A failed slice import ends the install before the grid: the full-size annotation stands in.
    fs::create_directories(Folder() + "/Spaces/S/AtlasSlices");
    EXPECT_FALSE(atlas->InstallAtlas(nullptr));
    EXPECT_EQ(space->GetFullSizeAnnotationImage(), space->GetAnnotationImage());
    EXPECT_EQ(8u, space->GetAnnotationImage()->GetSize(0));
    EXPECT_FALSE(fs::exists(Folder() + "/Spaces/S/Atlas"));
}

TEST_F(HandSpaceTest, FullAnnotationStandingInForTheViewGridIsNotRebuiltOnEveryRequest)
{
    fs::rename(Folder() + "/Spaces/S/Atlas", Local("Atlas"));
    fs::create_directories(Folder() + "/Spaces/S/AtlasSlices");
    Image3d* view = space->GetAnnotationImage();
    ASSERT_EQ(space->GetFullSizeAnnotationImage(), view);

    // The scene draws the Nissl volume meanwhile: asking for the view grid again must not retry the
    // slice import, which would empty that volume under it.
    Image3d* nissl = space->GetAtlasImage();
    ASSERT_TRUE(nissl->IsOpen());
    EXPECT_EQ(view, space->GetAnnotationImage());
    EXPECT_TRUE(nissl->IsOpen());
    EXPECT_TRUE(space->FullAtlasIsLoaded());
}

TEST_F(HandSpaceTest, NisslVolumeInLocalIsUsedAndDeletedWhenBroken)
{
    fs::rename(Folder() + "/Spaces/S/Atlas", Local("Atlas"));
    Image3d* nissl = space->GetAtlasImage();
    ASSERT_TRUE(nissl->IsOpen());
    EXPECT_EQ(HandAtlas::Nissl(), std::string(static_cast<const char*>(nissl->GetBuffer()), nissl->GetNumVoxels()));

    space->ReleaseMemory();
    EXPECT_FALSE(nissl->IsOpen());
    WriteBytes(Local("Atlas"), "broken");
    EXPECT_EQ("Could not load 3D Nissl image.", MessageOf<std::runtime_error>([&] { space->GetAtlasImage(); }));
    EXPECT_FALSE(fs::exists(Local("Atlas")));
}

TEST_F(HandSpaceTest, FullAnnotationThatCannotBeReadIsReported)
{
    space->ReleaseMemory();
    WriteBytes(Folder() + "/Spaces/S/Annotation", "x");
    EXPECT_EQ("Could not load full scale 3D annotation image. Please try reinstalling Corvane.",
              MessageOf<std::runtime_error>([&] { space->GetFullSizeAnnotationImage(); }));
}

TEST_F(HandSpaceTest, LoadFullAtlasStagesAndCancel)
{
    TaskProgress untouched(3);
    space->LoadFullAtlas(&untouched, false, false);
    untouched.IncrementStage();
    EXPECT_EQ(33, untouched.GetProgress());

    ProgressLog log;
    TaskProgress progress;
    progress.SetCallback(&ProgressLog::Record, &log);
    space->LoadFullAtlas(&progress, true, true);
    EXPECT_TRUE(space->FullAtlasIsLoaded());
    EXPECT_EQ(std::vector<int>{50}, log.percentages);

    // A cancel is no error: the Local copy of the Nissl volume survives it.
    space->ReleaseMemory();
    fs::rename(Folder() + "/Spaces/S/Atlas", Local("Atlas"));
    TaskProgress cancelled;
    cancelled.Cancel();
    EXPECT_THROW(space->LoadFullAtlas(&cancelled, true, false), UserCancelledOperationException);
    EXPECT_TRUE(fs::exists(Local("Atlas")));
    EXPECT_FALSE(space->FullAtlasIsLoaded());
    EXPECT_THROW(space->LoadFullAtlas(&cancelled, false, true), UserCancelledOperationException);
    EXPECT_TRUE(space->GetAtlasImage()->IsOpen());
}

TEST_F(HandSpaceTest, ThreadsAskingForOneVolumeShareOneLoad)
{
    std::vector<Image3d*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            if (i % 2)
                space->LoadFullAtlas(nullptr, true, true);
            seen[i] = space->GetFullSizeAnnotationImage();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (Image3d* image : seen)
        EXPECT_EQ(space->GetFullSizeAnnotationImage(), image);
    EXPECT_TRUE(space->FullAtlasIsLoaded());
    EXPECT_EQ(300.0f, space->GetFullSizeAnnotationImage()->GetValue(500, 400, 100));
}

TEST(AtlasSpace, SixteenAndEightBitAnnotations)
{
    AtlasRoot root;
    HandAtlas hand;
    hand.bytesPerVoxel = 1;
    hand.Write(root.Folder("a"));
    Atlas atlas(root.Folder("a"));
    EXPECT_EQ(8u, atlas.GetSpace(0u)->AnnotationBitDepth());
    EXPECT_EQ(typeid(unsigned char), atlas.GetSpace(0u)->GetFullSizeAnnotationImage()->GetPixelType());
    WriteBytes(root.Folder("a") + "/Spaces/S/Annotation", std::string(8 * 6 * 4 * 4, '\0'));
    EXPECT_EQ(32u, atlas.GetSpace(0u)->AnnotationBitDepth());
}

TEST(AtlasSpace, KestCoordinatesReadTheMapping)
{
    REQUIRE_GENERATOR();
    AtlasRoot root;
    GenerateAtlas("micro", 4242, root.Folder("m"));
    Atlas atlas(root.Folder("m"));
    AtlasSpace* space = atlas.GetSpace(0u);
    const std::string mapping = ReadBytes(space->GetPath() + "/Transforms/Mapping");
    const unsigned int* dims = space->GetViewDimensions();
    ASSERT_EQ(6u * dims[0] * dims[1] * dims[2], mapping.size());
    auto record = [&](unsigned int x, unsigned int y, unsigned int z, int axis) {
        const std::size_t at = 6 * ((std::size_t(z) * dims[1] + y) * dims[0] + x) + 2 * axis;
        return static_cast<std::int16_t>(static_cast<unsigned char>(mapping[at]) |
                                         static_cast<unsigned char>(mapping[at + 1]) << 8);
    };
    int mapped = 0;
    int unmapped = 0;
    for (unsigned int z = 1; z < dims[2]; ++z)
        for (unsigned int y = 1; y < dims[1]; ++y)
            for (unsigned int x = 1; x < dims[0]; ++x)
            {
                int a = -7, b = -7, c = -7;
                const bool inside = record(x, y, z, 0) >= 0 && record(x, y, z, 1) >= 0 && record(x, y, z, 2) >= 0;
                ASSERT_EQ(inside, space->KestCoordinates(x + 0.9f, y + 0.5f, z + 0.1f, a, b, c));
                if (inside)
                {
                    EXPECT_EQ(record(x, y, z, 0) * 200, a);
                    EXPECT_EQ(record(x, y, z, 2) * 200, c);
                    ++mapped;
                }
                else
                    ++unmapped;
            }
    EXPECT_GT(mapped, 0);
    EXPECT_GT(unmapped, 0);
    int a, b, c;
    EXPECT_FALSE(space->KestCoordinates(0.0f, 2.0f, 2.0f, a, b, c));
    EXPECT_FALSE(space->KestCoordinates(2.0f, float(dims[1]), 2.0f, a, b, c));
    EXPECT_FALSE(space->KestCoordinates(2.0f, 2.0f, -0.5f, a, b, c));

    // A short file: a read past its end fails, and the next query still reads.
    AtlasRoot other;
    GenerateAtlas("micro", 4242, other.Folder("m"));
    WriteBytes(other.Folder("m") + "/Spaces/Adult/Transforms/Mapping", mapping.substr(0, mapping.size() / 2));
    Atlas shortAtlas(other.Folder("m"));
    AtlasSpace* shortSpace = shortAtlas.GetSpace(0u);
    EXPECT_FALSE(shortSpace->KestCoordinates(dims[0] - 0.5f, dims[1] - 0.5f, dims[2] - 0.5f, a, b, c));
    // The first mapped voxel in the half that is left.
    unsigned int x = 1, y = 1, z = 1;
    while (!(record(x, y, z, 0) >= 0 && record(x, y, z, 1) >= 0 && record(x, y, z, 2) >= 0))
        if (++x == dims[0] && (x = 1, ++y == dims[1]))
            y = 1, ++z;
    ASSERT_LT(6 * ((std::size_t(z) * dims[1] + y) * dims[0] + x), mapping.size() / 2);
    ASSERT_TRUE(shortSpace->KestCoordinates(x + 0.5f, y + 0.5f, z + 0.5f, a, b, c));
    EXPECT_EQ(record(x, y, z, 1) * 200, b);

    fs::remove_all(other.Folder("m") + "/Spaces/Adult/Transforms");
    Atlas noMapping(other.Folder("m"));
    EXPECT_EQ("The KEST mapping file could not be opened.",
              MessageOf<std::runtime_error>([&] { noMapping.GetSpace(0u)->KestCoordinates(1, 1, 1, a, b, c); }));
}

TEST(AtlasSpace, ClosestReferenceSections)
{
    REQUIRE_GENERATOR();
    AtlasRoot root;
    GenerateAtlas("micro", 4242, root.Folder("m"));
    Atlas atlas(root.Folder("m"));
    AtlasSpace* space = atlas.GetSpace(0u);
    ASSERT_TRUE(space->CoronalImagesAvailable());
    unsigned int seriesId = 0;
    float u = 0.0f, v = 0.0f;
    const ImageSeries::ImageInfo* coronal =
        space->ClosestCoronalAtlasSection(6300.0f, 4000.0f, 5000.0f, seriesId, u, v);
    ASSERT_NE(nullptr, coronal);
    EXPECT_EQ(4242u, seriesId);
    // Coronal image k cuts the centre of atlas slice k (500 µm apart).
    EXPECT_EQ(1000000 + 12, coronal->id);
    EXPECT_NE(nullptr, space->ClosestSagittalAtlasSection(6000.0f, 4000.0f, 5200.0f, seriesId, u, v));
}

TEST(AtlasSpace, InstallBuildsTheNisslVolumeFromItsSlices)
{
    REQUIRE_GENERATOR();
    AtlasRoot root;
    const std::string folder = root.Folder("m");
    GenerateAtlas("micro", 4242, folder);
    const std::string nissl = folder + "/Spaces/Adult/Atlas";
    const std::string reference = ReadBytes(nissl);
    fs::remove(nissl);

    {
        // A cancelled import never becomes the installed volume.
        Atlas atlas(folder);
        TaskProgress progress;
        progress.Cancel();
        EXPECT_FALSE(atlas.InstallAtlas(&progress));
        EXPECT_FALSE(fs::exists(nissl));
        EXPECT_FALSE(atlas.GetSpace(0u)->FullAtlasIsLoaded());
    }
    Atlas atlas(folder);
    WriteBytes(atlas.GetLocalPath() + "/stale", "x");
    ProgressLog log;
    TaskProgress progress;
    progress.SetCallback(&ProgressLog::Record, &log);
    ASSERT_TRUE(atlas.InstallAtlas(&progress));
    EXPECT_FALSE(fs::exists(atlas.GetLocalPath() + "/stale"));
    ASSERT_TRUE(fs::exists(nissl));
    const std::string imported = ReadBytes(nissl);
    ASSERT_EQ(reference.size(), imported.size());
    // The slices are JPEG: close to the raw volume, not equal.
    double error = 0.0;
    for (std::size_t i = 0; i < imported.size(); ++i)
        error += std::abs(int(static_cast<unsigned char>(imported[i])) - int(static_cast<unsigned char>(reference[i])));
    EXPECT_LT(error / double(imported.size()), 8.0);
    AtlasSpace* space = atlas.GetSpace(0u);
    EXPECT_TRUE(fs::exists(atlas.GetLocalPath() + "/Annotation_Grid_Adult"));
    EXPECT_EQ(ExpectedViewGrid(*space, ReadBytes(space->GetPath() + "/Annotation"), 1),
              Voxels(*space->GetAnnotationImage()));
}

TEST(AtlasSpace, TinyAtlasFullVolumesLoadWithProgressAndCancel)
{
    REQUIRE_GENERATOR();
    AtlasRoot root;
    GenerateAtlas("tiny", 4242, root.Folder("t"));
    Atlas atlas(root.Folder("t"));
    AtlasSpace* space = atlas.GetSpace(0u);
    EXPECT_EQ(ExpectedViewGrid(*space, ReadBytes(space->GetPath() + "/Annotation"), 2),
              Voxels(*space->GetAnnotationImage()));

    space->ReleaseMemory();
    ProgressLog stopAtStage;
    stopAtStage.cancelAfter = 1;
    TaskProgress cancelled;
    cancelled.SetCallback(&ProgressLog::Record, &stopAtStage);
    EXPECT_THROW(space->LoadFullAtlas(&cancelled, true, true), UserCancelledOperationException);
    EXPECT_FALSE(space->FullAtlasIsLoaded());
    EXPECT_TRUE(space->GetFullSizeAnnotationImage()->IsOpen());
    EXPECT_TRUE(fs::exists(space->GetPath() + "/Atlas"));

    ProgressLog log;
    TaskProgress progress;
    progress.SetCallback(&ProgressLog::Record, &log);
    space->ReleaseMemory();
    space->LoadFullAtlas(&progress, true, true);
    EXPECT_TRUE(space->FullAtlasIsLoaded());
    ASSERT_FALSE(log.percentages.empty());
    EXPECT_TRUE(std::is_sorted(log.percentages.begin(), log.percentages.end()));
    EXPECT_EQ(133u * 81 * 115, space->GetAtlasImage()->GetNumVoxels());
}
