#include "core/Image2d.h"
#include "core/JPEGHelpers.h"

#include <gtest/gtest.h>

#include <jpeglib.h>

#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<unsigned char>;

std::string FixturePath(const std::string& name)
{
    return std::string(CORVANE_SOURCE_DIR) + "/tests/core/data/jpeg/" + name;
}

Bytes ReadFixture(const std::string& name)
{
    return ReadWholeFile(FixturePath(name));
}

// A binary PGM (P5, maxval 255, single-space separated header) as written by the fixture script and
// by djpeg.
struct Gray
{
    int width = 0;
    int height = 0;
    Bytes pixels;
};

Gray ParsePGM(const Bytes& file)
{
    std::string header(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 64));
    std::istringstream in(header);
    std::string magic;
    int maxval = 0;
    Gray image;
    in >> magic >> image.width >> image.height >> maxval;
    if (magic != "P5" || maxval != 255)
        throw std::runtime_error("not an 8-bit PGM");
    const std::size_t start = static_cast<std::size_t>(in.tellg()) + 1;
    image.pixels.assign(file.begin() + start, file.end());
    if (image.pixels.size() != std::size_t(image.width) * image.height)
        throw std::runtime_error("PGM size mismatch");
    return image;
}

Gray SourceImage()
{
    return ParsePGM(ReadFixture("gray_100x80.pgm"));
}

// Quality-80 JPEG of a smooth image: every pixel close, and the average error small.
void ExpectCloseGray(const Bytes& actual, const Bytes& expected, int maxError = 24, double meanError = 3.0)
{
    ASSERT_EQ(actual.size(), expected.size());
    int worst = 0;
    double total = 0;
    for (std::size_t i = 0; i < actual.size(); ++i)
    {
        const int error = std::abs(int(actual[i]) - int(expected[i]));
        worst = std::max(worst, error);
        total += error;
    }
    EXPECT_LE(worst, maxError);
    EXPECT_LE(total / actual.size(), meanError);
}

Bytes GrayOf(const Image2d& image)
{
    Bytes gray;
    for (int y = 0; y < image.GetHeight(); ++y)
    {
        for (int x = 0; x < image.GetWidth(); ++x)
            gray.push_back(image.GetPixel(x, y)[1]);
    }
    return gray;
}

Image2d Decode(const Bytes& jpeg)
{
    Image2d image;
    EXPECT_TRUE(DecodeJPEGImage(jpeg.data(), static_cast<unsigned int>(jpeg.size()), &image));
    return image;
}

std::string DecodeError(const Bytes& jpeg)
{
    Image2d image;
    return ErrorOf([&] { DecodeJPEGImage(jpeg.data(), static_cast<unsigned int>(jpeg.size()), &image); });
}

// A temporary file removed at the end of the test.
class TempFile
{
public:
    explicit TempFile(const std::string& suffix)
    {
        std::string pattern = ::testing::TempDir() + "corvane_jpeg_XXXXXX" + suffix;
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
        if (fd < 0)
            throw std::runtime_error("cannot create a temporary file");
        close(fd);
        m_path = name.data();
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

    void Write(const Bytes& bytes) const { WriteWholeFile(m_path, bytes.data(), bytes.size()); }

private:
    std::string m_path;
};

using testfiles::File;
using testfiles::Open;

void ReadJPEGFile(const std::string& path, Bytes& out, int width, int height)
{
    out.assign(std::size_t(width) * height, 0);
    File file = Open(path, "rb");
    ReadJPEG(file.get(), out.data(), width, height);
}

// A CMYK JPEG, which cjpeg cannot write, made with libjpeg itself.
Bytes MakeCMYK(int width, int height)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row(std::size_t(width) * 4, 100);
    while (info.next_scanline < info.image_height)
    {
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// Offset of the first start-of-frame marker's height field (baseline or progressive).
std::size_t FrameSizeOffset(const Bytes& jpeg)
{
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2))
            return i + 5;
    }
    throw std::runtime_error("no frame header");
}

// Offset of the first byte after the first start-of-scan header.
std::size_t ScanDataStart(const Bytes& jpeg)
{
    for (std::size_t i = 0; i + 4 < jpeg.size(); ++i)
    {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            return i + 2 + (std::size_t(jpeg[i + 2]) << 8 | jpeg[i + 3]);
    }
    throw std::runtime_error("no scan");
}

} // namespace

// --- Image2d ---------------------------------------------------------------------------------------

TEST(Image2d, InitializeKeepsBytesOnlyWhenTheirCountMatches)
{
    Image2d image;
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_EQ(image.GetPixelBytes(), 0u);
    image.Initialize(3, 2);
    ASSERT_EQ(image.GetPixelBytes(), 24u);
    EXPECT_EQ(image.GetPixel(2, 1), image.GetPixels() + 20);
    std::fill(image.GetPixels(), image.GetPixels() + 24, 7);
    image.Initialize(2, 3); // same count: bytes stay
    EXPECT_EQ(image.GetWidth(), 2);
    EXPECT_EQ(image.GetHeight(), 3);
    EXPECT_EQ(image.GetPixels()[23], 7);
    image.Initialize(4, 3);
    EXPECT_EQ(image.GetPixelBytes(), 48u);
    EXPECT_EQ(image.GetPixels()[47], 0);
    EXPECT_THROW(image.Initialize(-1, 3), std::invalid_argument);
    EXPECT_EQ(image.GetWidth(), 4);
}

// --- decoding tiles in memory ----------------------------------------------------------------------

TEST(DecodeJPEGImage, GrayscaleFromCjpegBecomesOpaqueGrayMatchingTheSource)
{
    const Gray source = SourceImage();
    for (const char* name : {"gray_100x80.jpg", "gray_100x80_progressive.jpg", "gray_100x80_restart.jpg"})
    {
        SCOPED_TRACE(name);
        const Image2d image = Decode(ReadFixture(name));
        ASSERT_EQ(image.GetWidth(), 100);
        ASSERT_EQ(image.GetHeight(), 80);
        for (int y = 0; y < 80; ++y)
        {
            for (int x = 0; x < 100; ++x)
            {
                const unsigned char* p = image.GetPixel(x, y);
                ASSERT_TRUE(p[0] == p[1] && p[1] == p[2] && p[3] == 255) << x << "," << y;
            }
        }
        ExpectCloseGray(GrayOf(image), source.pixels);
    }
}

TEST(DecodeJPEGImage, RGBBecomesBGRA)
{
    const Image2d red = Decode(ReadFixture("red_16x16.jpg"));
    ASSERT_EQ(red.GetWidth(), 16);
    const unsigned char* p = red.GetPixel(5, 7);
    EXPECT_LE(p[0], 8);
    EXPECT_LE(p[1], 8);
    EXPECT_GE(p[2], 247);
    EXPECT_EQ(p[3], 255);

    // Quadrants red, green / blue, white; sampled away from the edges that chroma subsampling blurs.
    struct Sample
    {
        int x, y;
        unsigned char b, g, r;
    };
    for (const char* name : {"rgb_64x48.jpg", "rgb_64x48_progressive.jpg"})
    {
        SCOPED_TRACE(name);
        const Image2d image = Decode(ReadFixture(name));
        ASSERT_EQ(image.GetWidth(), 64);
        ASSERT_EQ(image.GetHeight(), 48);
        for (const Sample& s : {Sample{10, 10, 0, 0, 255}, Sample{50, 10, 0, 255, 0}, Sample{10, 40, 255, 0, 0},
                                Sample{50, 40, 255, 255, 255}})
        {
            const unsigned char* q = image.GetPixel(s.x, s.y);
            EXPECT_NEAR(q[0], s.b, 12) << s.x << "," << s.y;
            EXPECT_NEAR(q[1], s.g, 12) << s.x << "," << s.y;
            EXPECT_NEAR(q[2], s.r, 12) << s.x << "," << s.y;
            EXPECT_EQ(q[3], 255);
        }
    }
}

TEST(DecodeJPEGImage, NoBytesReturnsFalseAndLeavesTheImage)
{
    Image2d image;
    image.Initialize(2, 2);
    image.GetPixels()[0] = 42;
    const Bytes jpeg = ReadFixture("gray_100x80.jpg");
    EXPECT_FALSE(DecodeJPEGImage(jpeg.data(), 0, &image));
    EXPECT_FALSE(DecodeJPEGImage(nullptr, 100, &image));
    EXPECT_EQ(image.GetWidth(), 2);
    EXPECT_EQ(image.GetPixels()[0], 42);
    EXPECT_THROW(DecodeJPEGImage(jpeg.data(), static_cast<unsigned int>(jpeg.size()), nullptr), std::invalid_argument);
}

TEST(DecodeJPEGImage, RefusesCMYK)
{
    EXPECT_EQ(DecodeError(MakeCMYK(16, 16)), "Unexpected image format.");
}

TEST(DecodeJPEGImage, NotAJPEGCarriesTheLibraryMessage)
{
    const std::string error = DecodeError(Bytes{'<', 'h', 't', 'm', 'l', '>'});
    EXPECT_NE(error, "no error");
    EXPECT_NE(error.find("JPEG"), std::string::npos) << error;
}

TEST(DecodeJPEGImage, AbsurdHeaderSizeIsRefusedBeforeAllocating)
{
    // 65000 x 65000 would be 16 GiB as BGRA; progressive streams would also allocate coefficients
    // for the whole image when decoding starts.
    for (const char* name : {"gray_100x80.jpg", "gray_100x80_progressive.jpg"})
    {
        Bytes jpeg = ReadFixture(name);
        const std::size_t at = FrameSizeOffset(jpeg);
        jpeg[at] = jpeg[at + 2] = 0xFD;
        jpeg[at + 1] = jpeg[at + 3] = 0xE8;
        EXPECT_EQ(DecodeError(jpeg), "Unexpected image size.") << name;
    }
}

TEST(DecodeJPEGImage, TruncatedTilesGivePartialImagesOrErrorsSilently)
{
    for (const char* name : {"gray_100x80.jpg", "gray_100x80_progressive.jpg", "rgb_64x48.jpg"})
    {
        const Bytes jpeg = ReadFixture(name);
        const Image2d whole = Decode(jpeg);
        testing::internal::CaptureStderr();
        const std::size_t scanData = ScanDataStart(jpeg);
        const bool progressive = std::string(name).find("progressive") != std::string::npos;
        for (std::size_t length = 1; length < jpeg.size(); ++length)
        {
            // An exact-size heap copy lets the address sanitizer catch any read beyond the bytes.
            std::unique_ptr<unsigned char[]> copy(new unsigned char[length]);
            std::memcpy(copy.get(), jpeg.data(), length);
            Image2d image;
            try
            {
                ASSERT_TRUE(DecodeJPEGImage(copy.get(), static_cast<unsigned int>(length), &image));
                EXPECT_EQ(image.GetWidth(), whole.GetWidth());
                EXPECT_EQ(image.GetHeight(), whole.GetHeight());
            }
            catch (const std::runtime_error& error)
            {
                // In a single-scan file every cut after the scan header yields an image; a
                // progressive file may also be cut inside the tables of a later scan.
                if (!progressive)
                {
                    EXPECT_LT(length, scanData) << name << ": " << error.what();
                }
            }
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "libjpeg warnings must not be printed";
    }
}

TEST(DecodeJPEGImage, CorruptBytesNeverCrash)
{
    const Bytes jpeg = ReadFixture("gray_100x80_restart.jpg");
    for (std::size_t at = 0; at < jpeg.size(); ++at)
    {
        Bytes corrupt = jpeg;
        corrupt[at] ^= 0x5A;
        Image2d image;
        try
        {
            DecodeJPEGImage(corrupt.data(), static_cast<unsigned int>(corrupt.size()), &image);
        }
        catch (const std::runtime_error&)
        {
        }
    }
}

// --- grayscale files -------------------------------------------------------------------------------

TEST(ReadJPEG, ReadsGrayFilesOfTheExpectedSize)
{
    const Gray source = SourceImage();
    for (const char* name : {"gray_100x80.jpg", "gray_100x80_progressive.jpg", "gray_100x80_restart.jpg"})
    {
        Bytes out;
        ReadJPEGFile(FixturePath(name), out, 100, 80);
        ExpectCloseGray(out, source.pixels);
    }
}

TEST(ReadJPEG, RefusesOtherSizesAndFormats)
{
    Bytes out;
    EXPECT_EQ(ErrorOf([&] { ReadJPEGFile(FixturePath("gray_100x80.jpg"), out, 100, 81); }), "Unexpected image size.");
    EXPECT_EQ(ErrorOf([&] { ReadJPEGFile(FixturePath("gray_100x80.jpg"), out, 80, 100); }), "Unexpected image size.");
    EXPECT_EQ(ErrorOf([&] { ReadJPEGFile(FixturePath("rgb_64x48.jpg"), out, 64, 48); }), "Unexpected image format.");
    TempFile cmyk(".jpg");
    cmyk.Write(MakeCMYK(8, 8));
    EXPECT_EQ(ErrorOf([&] { ReadJPEGFile(cmyk.Path(), out, 8, 8); }), "Unexpected image format.");
    EXPECT_THROW(ReadJPEG(nullptr, out.data(), 8, 8), std::invalid_argument);
}

TEST(ReadJPEG, CorruptAndTruncatedFilesFailWithTheLibraryMessageOrReadPartly)
{
    TempFile file(".jpg");
    file.Write(Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'});
    Bytes out;
    const std::string error = ErrorOf([&] { ReadJPEGFile(file.Path(), out, 100, 80); });
    EXPECT_NE(error.find("JPEG"), std::string::npos) << error;

    const Bytes jpeg = ReadFixture("gray_100x80.jpg");
    file.Write(Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(ReadJPEGFile(file.Path(), out, 100, 80));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The top rows came through before the cut.
    const Gray source = SourceImage();
    ExpectCloseGray(Bytes(out.begin(), out.begin() + 800), Bytes(source.pixels.begin(), source.pixels.begin() + 800));
}

// --- writing ---------------------------------------------------------------------------------------

TEST(WriteJPEG, WritesBaselineGrayThatReadsBack)
{
    const Gray source = SourceImage();
    TempFile file(".jpg");
    {
        File out = Open(file.Path(), "wb");
        WriteJPEG(out.get(), source.pixels.data(), source.width, source.height);
    }
    const Bytes jpeg = ReadWholeFile(file.Path());
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    const std::size_t frame = FrameSizeOffset(jpeg);
    EXPECT_EQ(jpeg[frame - 4], 0xC0) << "baseline frame";
    EXPECT_EQ(jpeg[frame + 4], 1) << "one component";

    Bytes back;
    ReadJPEGFile(file.Path(), back, source.width, source.height);
    ExpectCloseGray(back, source.pixels);
}

TEST(WriteJPEG, DjpegDecodesOurOutputToTheSource)
{
    // The installer provides djpeg: without it this check is lost, not skipped.
    ASSERT_EQ(0, std::system("djpeg -version >/dev/null 2>&1")) << "djpeg (libjpeg-turbo-progs) is missing";
    const Gray source = SourceImage();
    TempFile jpeg(".jpg");
    {
        File out = Open(jpeg.Path(), "wb");
        WriteJPEG(out.get(), source.pixels.data(), source.width, source.height);
    }
    TempFile pgm(".pgm");
    const std::string command = "djpeg -pnm -outfile '" + pgm.Path() + "' '" + jpeg.Path() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Gray decoded = ParsePGM(ReadWholeFile(pgm.Path()));
    EXPECT_EQ(decoded.width, source.width);
    EXPECT_EQ(decoded.height, source.height);
    ExpectCloseGray(decoded.pixels, source.pixels);
}

TEST(WriteJPEG, WriteFailureIsAnError)
{
    const Gray source = SourceImage();
    TempFile file(".jpg");
    File readOnly = Open(file.Path(), "rb");
    const std::string error = ErrorOf([&] { WriteJPEG(readOnly.get(), source.pixels.data(), 100, 80); });
    EXPECT_NE(error, "no error");
    EXPECT_THROW(WriteJPEG(readOnly.get(), nullptr, 100, 80), std::invalid_argument);
    EXPECT_THROW(WriteJPEG(readOnly.get(), source.pixels.data(), 0, 80), std::invalid_argument);
}
