#include "core/GaussianFilter3D.h"
#include "core/GaussianKernel.h"
#include "core/GaussianRowFilter.h"

#include "VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

using namespace volumetest;

namespace
{

struct FilterCase
{
    std::string name;
    std::array<unsigned int, 3> size;
    std::vector<unsigned char> volume;
};

std::vector<unsigned char> RandomVolume(const std::array<unsigned int, 3>& size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<unsigned char> volume(std::size_t(size[0]) * size[1] * size[2]);
    for (unsigned char& v : volume)
        v = static_cast<unsigned char>(random() & 0xFF);
    return volume;
}

// Bright faces, a diagonal ramp and single bright voxels at corners: the cases where clipping at the
// ends of lines and the asymmetric 24-tap kernel show.
std::vector<unsigned char> StructuredVolume(const std::array<unsigned int, 3>& size)
{
    std::vector<unsigned char> volume(std::size_t(size[0]) * size[1] * size[2]);
    for (unsigned z = 0; z < size[2]; ++z)
    {
        for (unsigned y = 0; y < size[1]; ++y)
        {
            for (unsigned x = 0; x < size[0]; ++x)
            {
                const bool face = x == 0 || y == size[1] - 1 || z == 0;
                const unsigned ramp = (x * 7 + y * 13 + z * 29) % 256;
                volume[x + size[0] * (y + std::size_t(size[1]) * z)] = face ? 255 : static_cast<unsigned char>(ramp);
            }
        }
    }
    volume.front() = 255;
    volume.back() = 255;
    return volume;
}

const int kScales[] = {1, 2, 4, 8, 16};

class GaussianFilterOracle : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempDir>();
        s_cases = {
            {"random_odd", {13, 7, 9}, {}},
            {"random_flat", {31, 17, 5}, {}},
            {"single_voxel", {1, 1, 1}, {}},
            {"short_lines", {2, 3, 4}, {}},
            // More lines side by side than one group holds, and a partial last group.
            {"wide", {300, 3, 2}, {}},
            {"structured", {21, 11, 19}, {}},
            // Rows of vector width and more, with partial last blocks.
            {"vector_tails", {70, 33, 35}, {}},
            {"vector_short", {45, 9, 30}, {}},
            // Deep enough that every kernel takes its slices from a ring on one thread, and the short
            // ones on a few.
            {"deep", {40, 6, 200}, {}},
        };
        unsigned seed = 1;
        for (FilterCase& c : s_cases)
            c.volume = c.name == "structured" ? StructuredVolume(c.size) : RandomVolume(c.size, seed++);

        std::ofstream manifest(s_folder->File("cases.txt"));
        for (const FilterCase& c : s_cases)
        {
            WriteWholeFile(s_folder->File(c.name + ".raw"), c.volume.data(), c.volume.size());
            for (const int scale : kScales)
            {
                const std::string name = c.name + "_" + std::to_string(scale);
                WriteWholeFile(s_folder->File(name + ".raw"), c.volume.data(), c.volume.size());
                manifest << name << ' ' << c.size[0] << ' ' << c.size[1] << ' ' << c.size[2] << ' ' << scale << '\n';
            }
        }
        manifest.close();
        s_oracleRan = RunOracle("gaussian_reference.py", {s_folder->Path()});
    }

    static void TearDownTestSuite() { s_folder.reset(); }

    static void ExpectSameAsOracle(unsigned threads)
    {
        ASSERT_TRUE(s_oracleRan);
        for (const FilterCase& c : s_cases)
        {
            for (const int scale : kScales)
            {
                const std::string name = c.name + "_" + std::to_string(scale);
                const std::vector<std::uint8_t> expected = ReadWholeFile(s_folder->File(name + ".ref"));
                SmoothedVolume result;
                GaussianFilter3D(c.volume.data(), c.size.data(), result, scale, threads);
                ASSERT_EQ(result.size(), expected.size()) << name;
                for (std::size_t i = 0; i < result.size(); ++i)
                    ASSERT_EQ(int(result[i]), int(expected[i])) << name << " voxel " << i << " threads " << threads;
            }
        }
    }

    static std::unique_ptr<TempDir> s_folder;
    static std::vector<FilterCase> s_cases;
    static bool s_oracleRan;
};

std::unique_ptr<TempDir> GaussianFilterOracle::s_folder;
std::vector<FilterCase> GaussianFilterOracle::s_cases;
bool GaussianFilterOracle::s_oracleRan = false;

TEST_F(GaussianFilterOracle, EveryVoxelMatchesWithHardwareThreads)
{
    ExpectSameAsOracle(0);
}

TEST_F(GaussianFilterOracle, EveryVoxelMatchesWithOneThread)
{
    ExpectSameAsOracle(1);
}

// 3 does not divide most extents; 40 is more threads than any band extent here, so all but the last
// thread have nothing to do.
TEST_F(GaussianFilterOracle, EveryVoxelMatchesWithUnevenAndSurplusThreads)
{
    ExpectSameAsOracle(3);
    ExpectSameAsOracle(40);
}

// Every version this processor can run, not only the fastest.
TEST_F(GaussianFilterOracle, EveryVoxelMatchesWithEachInstructionSet)
{
    using Set = GaussianRowFilter::InstructionSet;
    for (const Set set : {Set::Portable, Set::Avx2, Set::Avx512})
    {
        GaussianRowFilter::LimitInstructionSet(set);
        SCOPED_TRACE(GaussianRowFilter::Name(GaussianRowFilter::ActiveInstructionSet()));
        ExpectSameAsOracle(2);
    }
}

TEST(GaussianFilter3D, SourceIsLeftUnchanged)
{
    const std::array<unsigned int, 3> size{9, 8, 7};
    const std::vector<unsigned char> original = RandomVolume(size, 99);
    std::vector<unsigned char> source = original;
    SmoothedVolume result(3, 7);
    GaussianFilter3D(source.data(), size.data(), result, 4);
    EXPECT_EQ(source, original);
    EXPECT_EQ(result.size(), original.size());
}

TEST(GaussianFilter3D, UniformVolumeKeepsInteriorAndDarkensNearFaces)
{
    const std::array<unsigned int, 3> size{9, 9, 9};
    const std::vector<unsigned char> volume(9 * 9 * 9, 200);
    SmoothedVolume result;
    GaussianFilter3D(volume.data(), size.data(), result, 2);
    auto at = [&](unsigned x, unsigned y, unsigned z) { return int(result[x + 9 * (y + 9 * z)]); };
    EXPECT_EQ(at(4, 4, 4), 200);
    EXPECT_EQ(at(2, 2, 2), 200);
    EXPECT_LT(at(1, 4, 4), 200);
    EXPECT_LT(at(4, 4, 0), at(4, 4, 1));
    EXPECT_LT(at(0, 0, 0), at(1, 1, 1));
}

TEST(GaussianFilter3D, Scale16LosesOneLevelPerPass)
{
    const std::array<unsigned int, 3> size{30, 30, 30};
    const std::vector<unsigned char> volume(30 * 30 * 30, 255);
    SmoothedVolume result;
    GaussianFilter3D(volume.data(), size.data(), result, 16);
    EXPECT_EQ(int(result[15 + 30 * (15 + 30 * 15)]), 252);
}

// The x, y and z passes one after the other, each over the whole volume.
std::vector<unsigned char> SeparatePasses(const std::vector<unsigned char>& volume,
                                          const std::array<unsigned int, 3>& size, int scale)
{
    const int x = int(size[0]), y = int(size[1]), z = int(size[2]);
    const std::ptrdiff_t slice = std::ptrdiff_t(x) * y;
    std::vector<unsigned char> expected(volume.size());
    GaussianFilter3DDirection(volume.data(), expected.data(), x, y, z, 1, x, slice, scale);
    GaussianFilter3DDirection(expected.data(), y, x, z, x, 1, slice, scale);
    GaussianFilter3DDirection(expected.data(), z, x, y, slice, 1, x, scale);
    return expected;
}

// Slices of more voxels than the fused z pass hands the row filter at once, on one thread (where the
// passes are fused) and on all: the same as the three passes one after the other.
TEST(GaussianFilter3D, SlicesLongerThanOneRunMatchTheSeparatePasses)
{
    const std::array<unsigned int, 3> size{1025, 1024, 16};
    const std::vector<unsigned char> volume = RandomVolume(size, 7);
    const std::vector<unsigned char> expected = SeparatePasses(volume, size, 1);
    for (const unsigned threads : {1u, 0u})
    {
        SmoothedVolume result;
        GaussianFilter3D(volume.data(), size.data(), result, 1, threads);
        ASSERT_TRUE(std::equal(result.begin(), result.end(), expected.begin(), expected.end())) << threads;
    }
}

// Slices whose ring of slices outgrows a core's cache are split into row bands on several threads: two
// bands of 120 rows, three of 80 or 81 (one a thread), two of 128 at scale 8, and four of 100 rows. Threads
// that run out of slices take over those of another band.
TEST(GaussianFilter3D, RowBandsMatchTheSeparatePasses)
{
    struct Case
    {
        std::array<unsigned int, 3> size;
        int scale;
        unsigned threads;
    };
    for (const Case& c : {Case{{400, 240, 96}, 4, 2}, Case{{400, 241, 64}, 4, 3}, Case{{300, 256, 72}, 8, 2},
                          Case{{480, 400, 48}, 4, 4}})
    {
        const std::vector<unsigned char> volume = RandomVolume(c.size, c.threads + 11);
        const std::vector<unsigned char> expected = SeparatePasses(volume, c.size, c.scale);
        SmoothedVolume result;
        GaussianFilter3D(volume.data(), c.size.data(), result, c.scale, c.threads);
        ASSERT_TRUE(std::equal(result.begin(), result.end(), expected.begin(), expected.end()))
            << c.size[1] << " rows, scale " << c.scale << ", threads " << c.threads;
    }
}

TEST(GaussianFilter3D, LineEndsAreNotRenormalised)
{
    const unsigned char line[] = {100, 40, 0, 0};
    std::vector<unsigned char> out(4);
    GaussianFilter3DDirection(line, out.data(), 4, 1, 1, 1, 4, 4, 1);
    EXPECT_EQ(int(out[0]), (2 * 100 + 40) >> 2);
    EXPECT_EQ(int(out[1]), (100 + 2 * 40) >> 2);
}

TEST(GaussianFilter3D, UnsupportedScaleIsRefusedBeforeAnyWork)
{
    const std::array<unsigned int, 3> size{4, 4, 4};
    const std::vector<unsigned char> volume(64, 1);
    SmoothedVolume result(5, 9);
    for (const int scale : {0, 3, 32, -2})
    {
        try
        {
            GaussianFilter3D(volume.data(), size.data(), result, scale);
            FAIL() << "scale " << scale << " accepted";
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_STREQ(e.what(), "Unsupported scale.");
        }
    }
    EXPECT_EQ(result, SmoothedVolume(5, 9));
    EXPECT_THROW(GetKernel(3), std::runtime_error);
    EXPECT_EQ(GetKernel(16).size, 24u);
}

TEST(GaussianFilter3D, EmptyVolumeGivesEmptyResult)
{
    const std::array<unsigned int, 3> size{5, 0, 3};
    SmoothedVolume result(4, 1);
    GaussianFilter3D(nullptr, size.data(), result, 2);
    EXPECT_TRUE(result.empty());
}

} // namespace
