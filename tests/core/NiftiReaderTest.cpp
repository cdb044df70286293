#include "core/Image3d.h"
#include "core/MemoryStreamRef.h"
#include "core/NiftiReader.h"

#include "VolumeTestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

using namespace volumetest;

namespace
{

// A NIfTI-1 file: the 348-byte header with the fields the reader uses, padding up to the voxel
// offset, then the voxel bytes.
std::vector<std::uint8_t> MakeNifti(const std::array<short, 3>& dims, const std::array<float, 3>& pixdim,
                                    const std::vector<std::uint8_t>& voxels, float voxOffset = 352.0f)
{
    std::vector<std::uint8_t> file(352, 0);
    auto put = [&file](std::size_t offset, const void* value, std::size_t size) {
        std::memcpy(file.data() + offset, value, size);
    };
    const std::int32_t sizeofHdr = 348;
    put(0, &sizeofHdr, 4);
    const short dim0 = 3;
    put(40, &dim0, 2);
    for (int axis = 0; axis < 3; ++axis)
    {
        put(42 + 2 * axis, &dims[axis], 2);
        put(80 + 4 * axis, &pixdim[axis], 4);
    }
    put(108, &voxOffset, 4);
    put(344, "n+1", 4);
    file.insert(file.end(), voxels.begin(), voxels.end());
    return file;
}

std::vector<std::uint8_t> U64Voxels(const std::vector<std::uint64_t>& values)
{
    std::vector<std::uint8_t> bytes(values.size() * 8);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// A gzip member with the plain 10-byte header, made by zlib itself.
std::vector<std::uint8_t> Gzip(const std::vector<std::uint8_t>& data)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<std::uint8_t> out(deflateBound(&zs, uLong(data.size())) + 32);
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = uInt(data.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::unique_ptr<NiftiReader> Read(const std::vector<std::uint8_t>& bytes)
{
    MemoryStreamRef stream(bytes.data(), unsigned(bytes.size()));
    return std::make_unique<NiftiReader>(&stream);
}

std::string ReadError(const std::vector<std::uint8_t>& bytes)
{
    try
    {
        Read(bytes);
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "no error";
}

void PutLittle32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = std::uint8_t(value >> (8 * i));
}

TEST(NiftiReader, VolumeGivesImageOfItsSizeAndResolution)
{
    std::vector<std::uint8_t> voxels(2 * 3 * 4 * 2);
    for (std::size_t i = 0; i < voxels.size() / 2; ++i)
    {
        voxels[2 * i] = std::uint8_t(i);
        voxels[2 * i + 1] = 0x80;
    }
    const auto reader = Read(MakeNifti({2, 3, 4}, {0.5f, 0.5f, 1.0f}, voxels));
    const std::unique_ptr<Image3d> image = reader->GetImage();
    EXPECT_EQ(image->GetPixelType(), typeid(unsigned short));
    EXPECT_TRUE(image->IsOpen());
    EXPECT_EQ(image->GetSize(0), 2u);
    EXPECT_EQ(image->GetSize(1), 3u);
    EXPECT_EQ(image->GetSize(2), 4u);
    EXPECT_EQ(image->GetResolution(0), 0.5f);
    EXPECT_EQ(image->GetResolution(2), 1.0f);
    const unsigned short* values = static_cast<const unsigned short*>(image->GetBuffer());
    EXPECT_EQ(values[0], 0x8000);
    EXPECT_EQ(values[23], 0x8000 + 23);
}

TEST(NiftiReader, PlainAndGzipFilesGiveTheSameImage)
{
    std::vector<std::uint8_t> voxels(5 * 4 * 3 * 2);
    for (std::size_t i = 0; i < voxels.size(); ++i)
        voxels[i] = std::uint8_t(i * 37 + 11);
    const std::vector<std::uint8_t> plain = MakeNifti({5, 4, 3}, {1, 2, 3}, voxels);
    const auto a = Read(plain)->GetImage();
    const auto b = Read(Gzip(plain))->GetImage();
    ASSERT_EQ(a->GetNumVoxels(), b->GetNumVoxels());
    EXPECT_EQ(std::memcmp(a->GetBuffer(), b->GetBuffer(), a->GetNumVoxels() * 2), 0);
}

TEST(NiftiReader, CountsBecomeNormalisedLog2)
{
    const auto reader = Read(MakeNifti({4, 1, 1}, {1, 1, 1}, U64Voxels({0, 1, 2, 1024})));
    float out[4];
    reader->GetImage(out);
    // log2 values 0, 0, 1, 10, each divided by 0.75 × 10.
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_NEAR(out[2], 1.0f / 7.5f, 1e-6);
    EXPECT_NEAR(out[3], 1.3333333f, 1e-5);
}

TEST(NiftiReader, VolumeOfZerosAndOnesStaysZero)
{
    const auto reader = Read(MakeNifti({3, 1, 1}, {1, 1, 1}, U64Voxels({0, 1, 0})));
    float out[3] = {5, 5, 5};
    reader->GetImage(out);
    for (const float value : out)
        EXPECT_EQ(value, 0.0f);
}

TEST(NiftiReader, MalformedStreamsAreRefused)
{
    EXPECT_THROW(
        {
            try
            {
                NiftiReader reader(nullptr);
            }
            catch (const std::runtime_error& e)
            {
                EXPECT_STREQ(e.what(), "Unexpected empty I/O stream");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(ReadError(std::vector<std::uint8_t>(13, 0)), "Unexpected end of I/O stream");
    std::vector<std::uint8_t> notGzip(400, 0);
    notGzip[0] = 31;
    EXPECT_EQ(ReadError(notGzip), "Error while decompressing gzip stream.");
    EXPECT_EQ(ReadError(std::vector<std::uint8_t>(100, 0)), "Not a little-endian NIfTI-1 file.");
}

TEST(NiftiReader, DamagedGzipMembersAreRefused)
{
    const std::vector<std::uint8_t> gz = Gzip(MakeNifti({4, 4, 4}, {1, 1, 1}, std::vector<std::uint8_t>(128, 9)));
    const std::string error = "Error while decompressing gzip stream.";

    for (const std::size_t length : {gz.size() / 2, gz.size() - 9, std::size_t(14), std::size_t(18)})
        EXPECT_EQ(ReadError(std::vector<std::uint8_t>(gz.begin(), gz.begin() + length)), error) << length;

    std::vector<std::uint8_t> bigger = gz;
    PutLittle32(bigger, bigger.size() - 4, 480 + 1);
    EXPECT_EQ(ReadError(bigger), error);
    std::vector<std::uint8_t> smaller = gz;
    PutLittle32(smaller, smaller.size() - 4, 400);
    EXPECT_EQ(ReadError(smaller), error);
    std::vector<std::uint8_t> huge = gz;
    PutLittle32(huge, huge.size() - 4, 0xFFFFFFF0u);
    EXPECT_EQ(ReadError(huge), error);
    std::vector<std::uint8_t> badCrc = gz;
    badCrc[badCrc.size() - 8] ^= 1;
    EXPECT_EQ(ReadError(badCrc), error);
    std::vector<std::uint8_t> badData = gz;
    badData[12] ^= 0x55;
    EXPECT_EQ(ReadError(badData), error);

    // Header fields that claim more bytes than there are.
    std::vector<std::uint8_t> endlessName = gz;
    endlessName[3] = 8;
    std::fill(endlessName.begin() + 10, endlessName.end(), 'a');
    EXPECT_EQ(ReadError(endlessName), error);
    std::vector<std::uint8_t> longExtra = gz;
    longExtra[3] = 4;
    longExtra[10] = 0xFF;
    longExtra[11] = 0xFF;
    EXPECT_EQ(ReadError(longExtra), error);
    std::vector<std::uint8_t> reserved = gz;
    reserved[3] = 0x20;
    EXPECT_EQ(ReadError(reserved), error);
}

TEST(NiftiReader, HostileHeadersAreRefused)
{
    const std::vector<std::uint8_t> voxels(2 * 2 * 2 * 8, 1);
    EXPECT_EQ(ReadError(MakeNifti({0, 2, 2}, {1, 1, 1}, voxels)), "Invalid NIfTI image dimension.");
    EXPECT_EQ(ReadError(MakeNifti({2, -2, 2}, {1, 1, 1}, voxels)), "Invalid NIfTI image dimension.");
    EXPECT_EQ(ReadError(MakeNifti({2, 2, 2}, {1, 1, 1}, voxels, 100000.0f)), "Invalid NIfTI voxel offset.");
    EXPECT_EQ(ReadError(MakeNifti({2, 2, 2}, {1, 1, 1}, voxels, std::nanf(""))), "Invalid NIfTI voxel offset.");
    EXPECT_EQ(ReadError(MakeNifti({2, 2, 2}, {1, 1, 1}, voxels, -1.0f)), "Invalid NIfTI voxel offset.");
    EXPECT_EQ(ReadError(std::vector<std::uint8_t>(347, 0)), "Not a little-endian NIfTI-1 file.");

    // The header promises more voxels than the file holds.
    const auto reader = Read(MakeNifti({32767, 32767, 32767}, {1, 1, 1}, voxels));
    EXPECT_THROW(reader->GetImage(), std::runtime_error);
    std::vector<float> out(8);
    EXPECT_THROW(reader->GetImage(out.data()), std::runtime_error);
    // 16-bit reading fits where 64-bit reading does not.
    const auto shortFile = Read(MakeNifti({2, 2, 2}, {1, 1, 1}, std::vector<std::uint8_t>(16, 1)));
    EXPECT_NO_THROW(shortFile->GetImage());
    EXPECT_THROW(shortFile->GetImage(out.data()), std::runtime_error);
}

class NiftiOracle : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempDir>();
        s_oracleRan = RunOracle("nifti_reference.py", {s_folder->Path()});
    }
    static void TearDownTestSuite() { s_folder.reset(); }

    static std::unique_ptr<TempDir> s_folder;
    static bool s_oracleRan;
};

std::unique_ptr<TempDir> NiftiOracle::s_folder;
bool NiftiOracle::s_oracleRan = false;

std::unique_ptr<NiftiReader> ReadFile(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return Read(bytes);
}

void ExpectSameAsNibabel(const std::string& name, const std::string& path, const std::string& kind,
                         const std::string& folder)
{
    std::ifstream geometry(folder + "/" + name + ".geom");
    unsigned size[3];
    float pixdim[3];
    geometry >> size[0] >> size[1] >> size[2] >> pixdim[0] >> pixdim[1] >> pixdim[2];
    const std::vector<std::uint8_t> reference = ReadWholeFile(folder + "/" + name + ".ref");
    const std::size_t count = std::size_t(size[0]) * size[1] * size[2];
    const auto reader = ReadFile(path);
    if (kind == "u16")
    {
        const std::unique_ptr<Image3d> image = reader->GetImage();
        for (int axis = 0; axis < 3; ++axis)
        {
            EXPECT_EQ(image->GetSize(axis), size[axis]) << name;
            EXPECT_FLOAT_EQ(image->GetResolution(axis), pixdim[axis]) << name;
        }
        ASSERT_EQ(reference.size(), count * 2) << name;
        ASSERT_EQ(image->GetNumVoxels(), count) << name;
        EXPECT_EQ(std::memcmp(image->GetBuffer(), reference.data(), reference.size()), 0) << name;
        return;
    }
    ASSERT_EQ(reference.size(), count * 8) << name;
    ASSERT_EQ(reader->GetNumVoxels(), count) << name;
    std::vector<float> expected(count);
    float maximum = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        std::uint64_t value;
        std::memcpy(&value, reference.data() + 8 * i, 8);
        expected[i] = value == 0 ? 0.0f : float(std::log2(double(value)));
        maximum = std::max(maximum, expected[i]);
    }
    std::vector<float> out(count);
    reader->GetImage(out.data());
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_NEAR(out[i], expected[i] / (0.75f * maximum), 1e-5) << name << " voxel " << i;
}

TEST_F(NiftiOracle, VoxelsEqualWhatNibabelReadsAndForeignFilesAreRefused)
{
    ASSERT_TRUE(s_oracleRan);
    const std::string folder = s_folder->Path();
    std::ifstream cases(folder + "/cases.txt");
    int read = 0, refused = 0;
    for (std::string line; std::getline(cases, line);)
    {
        std::istringstream fields(line);
        std::string action, name, path, kind;
        fields >> action >> name >> path >> kind;
        if (action == "read")
        {
            ++read;
            SCOPED_TRACE(name);
            ExpectSameAsNibabel(name, path, kind, folder);
            continue;
        }
        ++refused;
        EXPECT_THROW(ReadFile(path)->GetImage(), std::runtime_error) << name;
        if (name.find("anat") != std::string::npos || name.find("nifti2") != std::string::npos)
        {
            try
            {
                ReadFile(path);
            }
            catch (const std::runtime_error& e)
            {
                EXPECT_STREQ(e.what(), "Not a little-endian NIfTI-1 file.") << name;
            }
        }
    }
    EXPECT_EQ(read, 8);
    EXPECT_EQ(refused, 4);
}

} // namespace
