#include "core/Image2d.h"
#include "core/JPEGHelpers.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

// The first four bytes choose the size ReadJPEG is told to expect (two little-endian 16-bit numbers, each
// 1 to 1024); the rest is the JPEG stream, decoded as a tile and read as a slice of that size. Seeds: the
// demo server's tiles and grey JPEGs of a few sizes, each behind its own size.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4 || size > 0xFFFFFFFFu)
        return 0;
    const int width = (data[0] | data[1] << 8) % 1024 + 1;
    const int height = (data[2] | data[3] << 8) % 1024 + 1;
    const std::uint8_t* jpeg = data + 4;
    const std::size_t jpegSize = size - 4;
    try
    {
        Image2d image;
        DecodeJPEGImage(jpeg, static_cast<unsigned int>(jpegSize), &image);
    }
    catch (const std::exception&)
    {
    }
    if (jpegSize == 0)
        return 0;
    FILE* file = fmemopen(const_cast<std::uint8_t*>(jpeg), jpegSize, "rb");
    if (!file)
        return 0;
    std::vector<unsigned char> out(static_cast<std::size_t>(width) * height);
    try
    {
        ReadJPEG(file, out.data(), width, height);
    }
    catch (const std::exception&)
    {
    }
    std::fclose(file);
    return 0;
}
