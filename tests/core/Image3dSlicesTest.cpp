#include "core/Image3d.h"
#include "core/JPEGHelpers.h"
#include "core/TaskProgress.h"

#include "VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

using namespace volumetest;

namespace
{

constexpr unsigned kX = 24, kY = 16, kZ = 5;

// Smooth enough for quality-80 JPEG to keep every value within a few levels.
unsigned char Smooth(unsigned x, unsigned y, unsigned z)
{
    return static_cast<unsigned char>(40 + 4 * x + 3 * y + 10 * z);
}

void WriteSlice(const std::string& path, unsigned z, unsigned width = kX, unsigned height = kY)
{
    std::vector<unsigned char> pixels(width * height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            pixels[x + width * y] = Smooth(x, y, z);
    const testfiles::File file = testfiles::Open(path, "wb");
    WriteJPEG(file.get(), pixels.data(), int(width), int(height));
}

class Image3dSlices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (unsigned z = 0; z < kZ; ++z)
        {
            char name[16];
            std::snprintf(name, sizeof name, "%03u.jpg", z);
            WriteSlice(folder.File(name), z);
        }
    }

    bool Import(Image3d& image, TaskProgress* progress = nullptr)
    {
        return image.ImportSlices(folder.Path().c_str(), size, resolution, progress);
    }

    TempDir folder;
    const unsigned size[3] = {kX, kY, kZ};
    const float resolution[3] = {25, 25, 100};
};

TEST_F(Image3dSlices, ImportReadsOneJpegPerSlice)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    ASSERT_TRUE(Import(*image));
    EXPECT_TRUE(image->IsOpen());
    EXPECT_EQ(image->GetSize(2), kZ);
    EXPECT_EQ(image->GetResolution(2), 100.0f);
    const unsigned char* voxels = static_cast<const unsigned char*>(image->GetBuffer());
    for (unsigned z = 0; z < kZ; ++z)
        for (unsigned y = 0; y < kY; ++y)
            for (unsigned x = 0; x < kX; ++x)
                ASSERT_NEAR(voxels[x + kX * (y + kY * z)], Smooth(x, y, z), 4) << x << ' ' << y << ' ' << z;
}

TEST_F(Image3dSlices, ImportRefusesOtherTypesMissingAndMisfittingSlices)
{
    const std::unique_ptr<Image3d> shorts = Image3d::CreateImage(typeid(unsigned short));
    try
    {
        Import(*shorts);
        FAIL();
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Only 8-bit images are supported for importing slices");
    }

    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    std::remove(folder.File("003.jpg").c_str());
    try
    {
        Import(*image);
        FAIL();
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(std::string(e.what()), "Error reading atlas slices at " + folder.Path());
    }
    EXPECT_FALSE(image->IsOpen());

    WriteSlice(folder.File("003.jpg"), 3, kX, kY + 1);
    EXPECT_THROW(Import(*image), std::runtime_error);
    EXPECT_FALSE(image->IsOpen());
}

TEST_F(Image3dSlices, CancelledImportAnswersFalse)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    TaskProgress progress;
    progress.Cancel();
    EXPECT_FALSE(Import(*image, &progress));
}

TEST_F(Image3dSlices, ExportWritesOneJpegPerXPlaneBehindAnOffsetTable)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    ASSERT_TRUE(Import(*image));
    const std::string path = folder.File("export.bin");
    ASSERT_TRUE(image->ExportSlices(path.c_str()));

    const std::vector<std::uint8_t> file = ReadWholeFile(path);
    ASSERT_GT(file.size(), 4u * kX);
    std::vector<std::int32_t> table(kX);
    std::memcpy(table.data(), file.data(), 4 * kX);
    EXPECT_EQ(table[0], std::int32_t(4 * kX));
    const unsigned char* voxels = static_cast<const unsigned char*>(image->GetBuffer());
    for (unsigned x = 0; x < kX; ++x)
    {
        if (x > 0)
        {
            EXPECT_GT(table[x], table[x - 1]);
        }
        const testfiles::File in = testfiles::Open(path, "rb");
        std::fseek(in.get(), table[x], SEEK_SET);
        std::vector<unsigned char> plane(kY * kZ);
        ReadJPEG(in.get(), plane.data(), int(kY), int(kZ));
        for (unsigned z = 0; z < kZ; ++z)
            for (unsigned y = 0; y < kY; ++y)
                ASSERT_NEAR(plane[y + kY * z], voxels[x + kX * (y + kY * z)], 4) << x << ' ' << y << ' ' << z;
    }
}

TEST_F(Image3dSlices, ExportFailsCleanly)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char), size, resolution);
    EXPECT_FALSE(image->ExportSlices(folder.File("no/such/folder/export.bin").c_str()));
    const std::unique_ptr<Image3d> floats = Image3d::CreateImage(typeid(float), size, resolution);
    EXPECT_THROW(floats->ExportSlices(folder.File("floats.bin").c_str()), std::runtime_error);
}

} // namespace
