#include "core/GaussianFilter3D.h"
#include "core/Image3d.h"
#include "core/TaskProgress.h"

#include "VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <boost/filesystem.hpp>

#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace volumetest;

namespace
{

template <typename Call>
std::string ErrorOf(Call call)
{
    try
    {
        call();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no error";
}

std::unique_ptr<Image3d> Numbered(const std::type_info& type, unsigned x, unsigned y, unsigned z)
{
    const unsigned size[3] = {x, y, z};
    const float resolution[3] = {1.0f, 2.0f, 4.0f};
    std::unique_ptr<Image3d> image = Image3d::CreateImage(type, size, resolution);
    const std::size_t n = image->GetNumVoxels();
    for (std::size_t i = 0; i < n; ++i)
    {
        if (type == typeid(unsigned char))
            static_cast<unsigned char*>(image->GetBuffer())[i] = static_cast<unsigned char>(i);
        else if (type == typeid(unsigned short))
            static_cast<unsigned short*>(image->GetBuffer())[i] = static_cast<unsigned short>(i * 3);
        else
            static_cast<float*>(image->GetBuffer())[i] = float(i) * 0.5f;
    }
    return image;
}

template <typename T>
T At(const Image3d& image, unsigned x, unsigned y, unsigned z)
{
    return static_cast<const T*>(image.GetBuffer())[x + image.GetSize(0) * (y + image.GetSize(1) * std::size_t(z))];
}

TEST(Image3d, FactoriesMakeEmptyOrZeroedImagesOfTheThreeTypes)
{
    for (const std::type_info* type : {&typeid(unsigned char), &typeid(unsigned short), &typeid(float)})
    {
        const std::unique_ptr<Image3d> empty = Image3d::CreateImage(*type);
        EXPECT_FALSE(empty->IsOpen());
        EXPECT_EQ(empty->GetNumVoxels(), 0u);
        EXPECT_EQ(empty->GetSize(1), 0u);
        EXPECT_EQ(empty->GetPixelType(), *type);

        const unsigned size[3] = {3, 4, 5};
        const float resolution[3] = {0.5f, 1.0f, 2.0f};
        const std::unique_ptr<Image3d> image = Image3d::CreateImage(*type, size, resolution);
        EXPECT_TRUE(image->IsOpen());
        EXPECT_EQ(image->GetNumVoxels(), 60u);
        EXPECT_EQ(image->GetResolution(2), 2.0f);
        EXPECT_EQ(image->GetValue(1, 1, 1), 0.0f);
    }
    EXPECT_EQ(ErrorOf([] { Image3d::CreateImage(typeid(int)); }), "Pixel type not supported");
}

TEST(Image3d, AllocateKeepsVoxelsOfTheSameCountAndUnloadClearsEverything)
{
    std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 4, 3, 2);
    image->SetCachableProcessedFilePath("/somewhere/cache");
    const unsigned reshaped[3] = {2, 3, 4};
    const float resolution[3] = {1, 1, 1};
    image->Allocate(reshaped, resolution);
    EXPECT_EQ(static_cast<unsigned char*>(image->GetBuffer())[23], 23);
    image->Unload();
    EXPECT_FALSE(image->IsOpen());
    EXPECT_EQ(image->GetNumVoxels(), 0u);
    EXPECT_EQ(image->GetSize(0), 0u);
    EXPECT_EQ(image->GetResolution(0), 0.0f);
}

// Voxel storage is sized without zeroing for loads; what Allocate adds must still read 0, even in storage
// that held another volume a moment before, and a volume that grows keeps its voxels.
TEST(Image3d, AllocateZeroesEveryNewVoxelAndKeepsTheOldOnes)
{
    const float resolution[3] = {1, 1, 1};
    for (const std::type_info* type : {&typeid(unsigned char), &typeid(unsigned short), &typeid(float)})
    {
        Numbered(*type, 64, 32, 16).reset();
        const unsigned size[3] = {64, 32, 16};
        const std::unique_ptr<Image3d> fresh = Image3d::CreateImage(*type, size, resolution);
        const unsigned char* bytes = static_cast<const unsigned char*>(fresh->GetBuffer());
        const std::size_t byteCount = fresh->GetNumVoxels() * (fresh->GetPixelType() == typeid(unsigned char) ? 1
                                                               : fresh->GetPixelType() == typeid(float)       ? 4
                                                                                                              : 2);
        EXPECT_EQ(std::count(bytes, bytes + byteCount, 0), std::ptrdiff_t(byteCount)) << type->name();

        std::unique_ptr<Image3d> grown = Numbered(*type, 4, 3, 2);
        const unsigned bigger[3] = {4, 3, 5};
        grown->Allocate(bigger, resolution);
        ASSERT_EQ(grown->GetNumVoxels(), 60u);
        const std::unique_ptr<Image3d> original = Numbered(*type, 4, 3, 2);
        const std::size_t voxelBytes = byteCount / fresh->GetNumVoxels();
        const unsigned char* kept = static_cast<const unsigned char*>(grown->GetBuffer());
        EXPECT_EQ(std::memcmp(kept, original->GetBuffer(), 24 * voxelBytes), 0) << type->name();
        EXPECT_EQ(std::count(kept + 24 * voxelBytes, kept + 60 * voxelBytes, 0), std::ptrdiff_t(36 * voxelBytes));
    }
}

TEST(Image3d, VolumesTooLargeToHoldAreRefusedBeforeAllocating)
{
    const float resolution[3] = {1, 1, 1};
    const unsigned overflowing[3] = {UINT_MAX, UINT_MAX, UINT_MAX};
    const unsigned tooLarge[3] = {65536, 65536, 2};
    const unsigned tooLargeForFloats[3] = {1024, 1024, 1024};
    std::unique_ptr<Image3d> image = Numbered(typeid(float), 2, 2, 2);
    EXPECT_EQ(ErrorOf([&] { image->Allocate(overflowing, resolution); }), "Invalid image dimension");
    EXPECT_EQ(ErrorOf([&] { image->Allocate(tooLargeForFloats, resolution); }), "Invalid image dimension");
    EXPECT_EQ(image->GetSize(0), 2u);
    EXPECT_EQ(image->GetNumVoxels(), 8u);
    EXPECT_EQ(ErrorOf([&] { Image3d::CreateImage(typeid(unsigned char), tooLarge, resolution); }),
              "Invalid image dimension");
    EXPECT_FALSE(image->Load("/nonexistent", overflowing, resolution, false, nullptr));
}

class Image3dFiles : public ::testing::Test
{
protected:
    TempDir folder;
};

TEST_F(Image3dFiles, SaveAndLoadRoundTripEveryType)
{
    for (const std::type_info* type : {&typeid(unsigned char), &typeid(unsigned short), &typeid(float)})
    {
        const std::unique_ptr<Image3d> image = Numbered(*type, 7, 3, 5);
        const std::string path = folder.File("volume.raw");
        ASSERT_TRUE(image->Save(path.c_str(), nullptr));
        const std::unique_ptr<Image3d> copy = Image3d::CreateImage(*type);
        ASSERT_TRUE(copy->Load(path.c_str(), image->GetSize(), image->GetResolution(), false, nullptr));
        EXPECT_TRUE(copy->IsOpen());
        EXPECT_EQ(copy->GetResolution(1), 2.0f);
        ASSERT_EQ(copy->GetNumVoxels(), 105u);
        EXPECT_EQ(std::memcmp(copy->GetBuffer(), image->GetBuffer(),
                              105 * (type == &typeid(float)            ? 4
                                     : type == &typeid(unsigned short) ? 2
                                                                       : 1)),
                  0);
    }
}

TEST_F(Image3dFiles, SaveWritesExactlyTheSlices)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned short), 5, 4, 3);
    const std::string path = folder.File("three.raw");
    ASSERT_TRUE(image->Save(path.c_str(), nullptr));
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    ASSERT_EQ(bytes.size(), 5u * 4 * 3 * 2);
    EXPECT_EQ(bytes[2 * 59], std::uint8_t(59 * 3));
}

TEST_F(Image3dFiles, LoadRefusesShortOrMissingFilesAndInverts)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 4, 4, 5);
    const std::string path = folder.File("five.raw");
    ASSERT_TRUE(image->Save(path.c_str(), nullptr));

    const std::unique_ptr<Image3d> copy = Image3d::CreateImage(typeid(unsigned char));
    ASSERT_TRUE(copy->Load(path.c_str(), image->GetSize(), image->GetResolution(), true, nullptr));
    EXPECT_EQ(At<unsigned char>(*copy, 3, 3, 4), 255 - 79);

    std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    bytes.pop_back();
    WriteWholeFile(path, bytes.data(), bytes.size());
    EXPECT_FALSE(copy->Load(path.c_str(), image->GetSize(), image->GetResolution(), false, nullptr));
    EXPECT_FALSE(copy->IsOpen());
    EXPECT_FALSE(
        copy->Load(folder.File("missing.raw").c_str(), image->GetSize(), image->GetResolution(), false, nullptr));
    EXPECT_FALSE(copy->Load(nullptr, image->GetSize(), image->GetResolution(), false, nullptr));
    EXPECT_EQ(copy->GetValue(0, 0, 0), 0.0f);
}

TEST_F(Image3dFiles, LoadOfAShortFileAllocatesNothingForTheDeclaredSize)
{
    // Three bytes against almost 4 GiB declared by the atlas configuration: the volume is never sized.
    const std::uint8_t bytes[3] = {1, 2, 3};
    const std::string path = folder.File("short.raw");
    WriteWholeFile(path, bytes, sizeof bytes);
    const unsigned size[3] = {65535, 65535, 1};
    const float resolution[3] = {1, 1, 1};
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    EXPECT_FALSE(image->Load(path.c_str(), size, resolution, false, nullptr));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_FALSE(image->IsOpen());
    EXPECT_EQ(image->GetNumVoxels(), 0u);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 1024L * 1024L); // kilobytes: less than 1 GiB
}

TEST_F(Image3dFiles, CancellingStopsLoadAndSaveWithoutLeavingAFile)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(float), 4, 4, 4);
    TaskProgress progress;
    progress.Cancel();
    const std::string path = folder.File("cancelled.raw");
    EXPECT_FALSE(image->Save(path.c_str(), &progress));
    EXPECT_FALSE(boost::filesystem::exists(path));

    ASSERT_TRUE(image->Save(path.c_str(), nullptr));
    const std::unique_ptr<Image3d> copy = Image3d::CreateImage(typeid(float));
    EXPECT_FALSE(copy->Load(path.c_str(), image->GetSize(), image->GetResolution(), false, &progress));
    EXPECT_FALSE(copy->IsOpen());
    EXPECT_EQ(copy->GetNumVoxels(), 0u);
}

TEST_F(Image3dFiles, SaveIntoMissingFolderNamesThePath)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 2, 2, 2);
    const std::string path = folder.File("no/such/folder/volume.raw");
    EXPECT_EQ(ErrorOf([&] { image->Save(path.c_str(), nullptr); }),
              "Could not create image file for writing: " + path +
                  ".Please make sure this path exists and you have write permissions.");
}

// Saves under a file size limit of 1 MiB, which stands in for a full disk so that no device is
// written; run in a child process. Exits 0 when the error names the path and the space needed and the
// partial file is gone.
void SaveIntoFullDisk(const Image3d& image, const std::string& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    limit.rlim_cur = limit.rlim_max = 1 << 20;
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string error = ErrorOf([&] { image.Save(path.c_str(), nullptr); });
    std::fprintf(stderr, "%s\n", error.c_str());
    const bool named = error.find(path) != std::string::npos &&
                       error.find(".Please make sure you have 3 MB of free space.") != std::string::npos;
    std::_Exit(named && !boost::filesystem::exists(path) ? 0 : 1);
}

TEST_F(Image3dFiles, FailedWriteRemovesThePartialFileAndNamesTheSpaceNeeded)
{
    const std::string path = folder.File("full.raw");
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 1024, 1024, 3);
    EXPECT_EXIT(SaveIntoFullDisk(*image, path), ::testing::ExitedWithCode(0), "");
}

// Only a regular file that Save made is removed: a pipe, a device or a link to one stays.
TEST_F(Image3dFiles, CancelledSaveKeepsAPathThatIsNoRegularFile)
{
    const std::string path = folder.File("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // A reader already there lets Save open the pipe without waiting.
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 2, 2, 2);
    TaskProgress progress;
    progress.Cancel();
    EXPECT_FALSE(image->Save(path.c_str(), &progress));
    close(reader);
    EXPECT_EQ(boost::filesystem::symlink_status(path).type(), boost::filesystem::fifo_file);
}

TEST_F(Image3dFiles, SaveAfterAFailedLoadThrowsAndKeepsTheFile)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned short), 3, 3, 3);
    const std::string path = folder.File("kept.raw");
    ASSERT_TRUE(image->Save(path.c_str(), nullptr));
    const unsigned size[3] = {3, 3, 4};
    const float resolution[3] = {1.0f, 1.0f, 1.0f};
    ASSERT_FALSE(image->Load(folder.File("missing.raw").c_str(), size, resolution, false, nullptr));
    EXPECT_EQ(ErrorOf([&] { image->Save(path.c_str(), nullptr); }), "Save failed. The image holds no voxels.");
    EXPECT_EQ(ReadWholeFile(path).size(), 27u * 2u);
}

TEST(Image3dHeader, ReadsFieldsWithBlanksAroundTheEqualsSign)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(float));
    const std::string name = image->LoadHeader("ObjectType = Image\n"
                                               "NDims = 3\n"
                                               "BinaryData = True\n"
                                               "DimSize = 4 3 2\r\n"
                                               "ElementSpacing = 0.025 0.05 0.1\n"
                                               "Offset=1 2 3\n"
                                               "ElementType = MET_FLOAT\n"
                                               "ElementDataFile = LOCAL\n");
    EXPECT_EQ(name, "LOCAL");
    EXPECT_TRUE(image->IsOpen());
    EXPECT_EQ(image->GetNumVoxels(), 24u);
    EXPECT_EQ(image->GetSize(0), 4u);
    EXPECT_EQ(image->GetSize(2), 2u);
    EXPECT_FLOAT_EQ(image->GetResolution(1), 0.05f);
}

TEST(Image3dHeader, KeysWithoutBlanksAreNotFields)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned char));
    const std::string name = image->LoadHeader("DimSize = 2 2 2\nElementSpacing=5 5 5\nElementType = MET_UCHAR\n");
    EXPECT_EQ(name, "");
    EXPECT_EQ(image->GetResolution(0), 1.0f);
    EXPECT_EQ(ErrorOf([&] { image->LoadHeader("DimSize=2 2 2\nElementType = MET_UCHAR\n"); }),
              "Invalid image dimension");
    EXPECT_EQ(ErrorOf([&] { image->LoadHeader("DimSize = 2 2 2\nElementType=MET_UCHAR\n"); }),
              "Pixel type not found in mhd header file");
}

TEST(Image3dHeader, ElementTypesMustMatchTheImage)
{
    const std::string shortHeader = "DimSize = 2 2 1\nElementType = MET_SHORT\n";
    EXPECT_NO_THROW(Image3d::CreateImage(typeid(unsigned short))->LoadHeader(shortHeader.c_str()));
    EXPECT_EQ(ErrorOf([&] { Image3d::CreateImage(typeid(float))->LoadHeader(shortHeader.c_str()); }),
              "Pixel type found in mhd header file does not match expected pixel type");
    EXPECT_EQ(
        ErrorOf([] { Image3d::CreateImage(typeid(float))->LoadHeader("DimSize = 1 1 1\nElementType = MET_DOUBLE\n"); }),
        "Unsupported pixel type");
    EXPECT_EQ(ErrorOf([] { Image3d::CreateImage(typeid(float))->LoadHeader("DimSize = 1 1 1\n"); }),
              "Pixel type not found in mhd header file");
    EXPECT_EQ(ErrorOf([] { Image3d::CreateImage(typeid(float))->LoadHeader(nullptr); }),
              "Pixel type not found in mhd header file");
}

TEST(Image3dHeader, HostileDimensionsAndSpacingsAreRefused)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned short));
    // The count that readers size their buffers by is refused alike, also where its product wraps to 0 or
    // fits 32 bits only for one-byte voxels.
    for (const char* dims : {"2 2", "2 -2 2", "2 x 2", "0 2 2", "2 2 2.5", "4294967296 1 1", "100000 100000 100000",
                             "4294967295 4294967295 4294967295", "4194304 4194304 4194304", "65536 65535 1", ""})
    {
        const std::string header = std::string("DimSize = ") + dims + "\nElementType = MET_USHORT\n";
        EXPECT_EQ(ErrorOf([&] { image->LoadHeader(header.c_str()); }), "Invalid image dimension") << dims;
        EXPECT_EQ(image->GetNumVoxels(), 0u) << dims;
        EXPECT_EQ(ErrorOf([&] { Image3d::HeaderVoxelCount(header.c_str()); }), "Invalid image dimension") << dims;
    }
    EXPECT_EQ(Image3d::HeaderVoxelCount("DimSize = 65536 65535 1\nElementType = MET_UCHAR\n"), 65536ull * 65535);
    for (const char* spacing : {"0 1 1", "1 1", "1 nan 1", "1 1 inf", "a b c"})
    {
        const std::string header =
            std::string("DimSize = 2 2 2\nElementSpacing = ") + spacing + "\nElementType = MET_USHORT\n";
        EXPECT_EQ(ErrorOf([&] { image->LoadHeader(header.c_str()); }), "Invalid pixel spacing") << spacing;
    }
}

TEST(Image3dHeader, DataMustMatchTheHeaderAndIntegersBecomeFloatValues)
{
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(float));
    image->LoadHeader("DimSize = 3 1 1\nElementType = MET_INT\nElementDataFile = grid.raw\n");
    const std::int32_t ints[3] = {-5, 7, INT32_MAX};
    EXPECT_THROW(image->LoadHeaderData(ints, 8), std::runtime_error);
    EXPECT_THROW(image->LoadHeaderData(ints, 16), std::runtime_error);
    image->LoadHeaderData(ints, sizeof ints);
    EXPECT_EQ(image->GetValue(0, 0, 0), -5.0f);
    EXPECT_EQ(image->GetValue(1, 0, 0), 7.0f);
    EXPECT_EQ(image->GetValue(2, 0, 0), float(INT32_MAX));

    image->LoadHeader("DimSize = 2 1 1\nElementType = MET_UINT\n");
    const std::uint32_t uints[2] = {4000000000u, 3};
    image->LoadHeaderData(uints, sizeof uints);
    EXPECT_EQ(image->GetValue(0, 0, 0), 4000000000.0f);
    EXPECT_EQ(image->GetValue(1, 0, 0), 3.0f);

    image->LoadHeader("DimSize = 2 1 1\nElementType = MET_FLOAT\n");
    const float floats[2] = {1.5f, -2.25f};
    image->LoadHeaderData(floats, sizeof floats);
    EXPECT_EQ(image->GetValue(1, 0, 0), -2.25f);

    const std::unique_ptr<Image3d> shorts = Image3d::CreateImage(typeid(unsigned short));
    shorts->LoadHeader("DimSize = 1 1 1\nElementType = MET_SHORT\n");
    const std::int16_t negative = -2;
    shorts->LoadHeaderData(&negative, 2);
    EXPECT_EQ(shorts->GetValue(0, 0, 0), 65534.0f);
}

TEST(Image3dDerived, SubsampleTakesTheCentreOfEachBlock)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned short), 5, 5, 5);
    const std::unique_ptr<Image3d> out = Image3d::CreateImage(typeid(unsigned short));
    image->Subsample(2, *out, true);
    ASSERT_EQ(out->GetNumVoxels(), 8u);
    EXPECT_EQ(out->GetSize(2), 2u);
    EXPECT_EQ(out->GetResolution(0), 2.0f);
    EXPECT_EQ(out->GetResolution(2), 8.0f);
    EXPECT_EQ(At<unsigned short>(*out, 0, 0, 0), At<unsigned short>(*image, 1, 1, 1));
    EXPECT_EQ(At<unsigned short>(*out, 1, 0, 1), At<unsigned short>(*image, 3, 1, 3));
    EXPECT_EQ(At<unsigned short>(*out, 1, 1, 1), At<unsigned short>(*image, 3, 3, 3));

    EXPECT_THROW(image->Subsample(0, *out, false), std::invalid_argument);
    EXPECT_THROW(image->Subsample(-4, *out, false), std::invalid_argument);
    const std::unique_ptr<Image3d> bytes = Image3d::CreateImage(typeid(unsigned char));
    EXPECT_EQ(ErrorOf([&] { image->Subsample(2, *bytes, false); }),
              "Subsample failed.  Input and output images must have the same bit depth.");
}

TEST(Image3dDerived, SmoothSubsampleFiltersEightBitVolumesAtTheFactor)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 9, 8, 7);
    SmoothedVolume smoothed;
    GaussianFilter3D(static_cast<const unsigned char*>(image->GetBuffer()), image->GetSize(), smoothed, 4);
    const std::unique_ptr<Image3d> out = Image3d::CreateImage(typeid(unsigned char));
    image->Subsample(4, *out, true);
    ASSERT_EQ(out->GetNumVoxels(), 2u * 2 * 1);
    EXPECT_EQ(At<unsigned char>(*out, 1, 1, 0), smoothed[6 + 9 * (6 + 8 * 2)]);
    image->Subsample(4, *out, false);
    EXPECT_EQ(At<unsigned char>(*out, 1, 1, 0), At<unsigned char>(*image, 6, 6, 2));
}

TEST_F(Image3dFiles, SubsampleCachesItsResultAndReadsItBack)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(unsigned char), 5, 5, 5);
    const std::string cache = folder.File("annotation");
    image->SetCachableProcessedFilePath(cache.c_str());
    const std::unique_ptr<Image3d> out = Image3d::CreateImage(typeid(unsigned char));
    image->Subsample(2, *out, false);
    const std::vector<std::uint8_t> cached = ReadWholeFile(cache + "_d2");
    ASSERT_EQ(cached.size(), 8u);
    EXPECT_EQ(cached[0], At<unsigned char>(*image, 1, 1, 1));

    // A second call reads the cache instead of computing: mark it to see.
    const std::vector<std::uint8_t> marked(8, 201);
    WriteWholeFile(cache + "_d2", marked.data(), marked.size());
    image->Subsample(2, *out, false);
    EXPECT_EQ(At<unsigned char>(*out, 1, 1, 1), 201);

    // A cache of the wrong size is computed anew.
    WriteWholeFile(cache + "_d2", marked.data(), 5);
    image->Subsample(2, *out, false);
    EXPECT_EQ(At<unsigned char>(*out, 1, 1, 1), At<unsigned char>(*image, 3, 3, 3));
}

TEST_F(Image3dFiles, UnwritableCachesDoNotFailDerivedVolumes)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(float), 6, 6, 6);
    const std::string cache = folder.File("read-only/annotation");
    image->SetCachableProcessedFilePath(cache.c_str());
    const std::unique_ptr<Image3d> out = Image3d::CreateImage(typeid(float));
    EXPECT_NO_THROW(image->Subsample(3, *out, false));
    EXPECT_EQ(At<float>(*out, 1, 1, 1), At<float>(*image, 4, 4, 4));

    const unsigned size[3] = {3, 3, 3};
    const float resolution[3] = {1, 1, 1};
    const std::unique_ptr<Image3d> resampled = Image3d::CreateImage(typeid(float), size, resolution);
    resampled->SetCachableProcessedFilePath(cache.c_str());
    EXPECT_NO_THROW(resampled->ResampleFromImage(*image));
    EXPECT_EQ(At<float>(*resampled, 1, 1, 1), At<float>(*image, 2, 2, 2));
    EXPECT_FALSE(boost::filesystem::exists(cache));
}

TEST_F(Image3dFiles, ResampleUsesFixedPointStepsAndCaches)
{
    const std::unique_ptr<Image3d> source = Numbered(typeid(unsigned short), 10, 3, 1);
    const unsigned size[3] = {4, 3, 1};
    const float resolution[3] = {7, 7, 7};
    const std::unique_ptr<Image3d> image = Image3d::CreateImage(typeid(unsigned short), size, resolution);
    const std::string cache = folder.File("resampled");
    image->SetCachableProcessedFilePath(cache.c_str());
    image->ResampleFromImage(*source);
    const unsigned expected[4] = {0, 2, 5, 7};
    for (unsigned x = 0; x < 4; ++x)
        EXPECT_EQ(At<unsigned short>(*image, x, 2, 0), At<unsigned short>(*source, expected[x], 2, 0)) << x;
    EXPECT_EQ(image->GetResolution(0), 7.0f);
    EXPECT_EQ(ReadWholeFile(cache).size(), 4u * 3 * 2);

    const std::vector<std::uint8_t> marked(24, 1);
    WriteWholeFile(cache, marked.data(), marked.size());
    image->ResampleFromImage(*source);
    EXPECT_EQ(At<unsigned short>(*image, 3, 2, 0), 0x0101);

    const std::unique_ptr<Image3d> floats = Image3d::CreateImage(typeid(float), size, resolution);
    EXPECT_EQ(ErrorOf([&] { floats->ResampleFromImage(*source); }),
              "Subsample failed.  Input and output images must have the same bit depth.");
}

TEST(Image3dValues, GetValueRoundsAndClampsEveryCoordinate)
{
    const std::unique_ptr<Image3d> image = Numbered(typeid(float), 4, 4, 4);
    auto voxel = [&](unsigned x, unsigned y, unsigned z) { return At<float>(*image, x, y, z); };
    // Resolutions 1, 2, 4.
    EXPECT_EQ(image->GetValue(1.4f, 2.9f, 6.1f), voxel(1, 1, 2));
    EXPECT_EQ(image->GetValue(-3.0f, -100.0f, -0.1f), voxel(0, 0, 0));
    EXPECT_EQ(image->GetValue(100.0f, 1e30f, INFINITY), voxel(3, 3, 3));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(image->GetValue(nan, nan, nan), voxel(0, 0, 0));

    const unsigned size[3] = {3, 3, 3};
    const float zero[3] = {0, 0, 0};
    image->Allocate(size, zero);
    static_cast<float*>(image->GetBuffer())[26] = 9.0f;
    EXPECT_EQ(image->GetValue(1.0f, 1.0f, 1.0f), 9.0f);
    EXPECT_EQ(image->GetValue(0.0f, 0.0f, 0.0f), static_cast<float*>(image->GetBuffer())[0]);

    const std::unique_ptr<Image3d> closed = Image3d::CreateImage(typeid(unsigned char));
    EXPECT_EQ(closed->GetValue(0, 0, 0), 0.0f);
}

TEST(Image3dValues, InvertUsesTheVoxelTypesArithmetic)
{
    const unsigned size[3] = {2, 1, 1};
    const float resolution[3] = {1, 1, 1};
    const auto bytes = Image3d::CreateImage(typeid(unsigned char), size, resolution);
    static_cast<unsigned char*>(bytes->GetBuffer())[1] = 10;
    bytes->Invert();
    EXPECT_EQ(bytes->GetValue(0, 0, 0), 255.0f);
    EXPECT_EQ(bytes->GetValue(1, 0, 0), 245.0f);
    const auto shorts = Image3d::CreateImage(typeid(unsigned short), size, resolution);
    static_cast<unsigned short*>(shorts->GetBuffer())[1] = 300;
    shorts->Invert();
    EXPECT_EQ(shorts->GetValue(1, 0, 0), 65491.0f);
    const auto floats = Image3d::CreateImage(typeid(float), size, resolution);
    static_cast<float*>(floats->GetBuffer())[1] = 300.5f;
    floats->Invert();
    EXPECT_EQ(floats->GetValue(1, 0, 0), -45.5f);
}

} // namespace
