#include "core/Image2d.h"
#include "core/JPEGHelpers.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

// The first two bytes choose the size ReadJPEG is told to expect; the rest is the JPEG stream.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > 0xFFFFFFFFu)
        return 0;
    const int width = data[0] % 64 + 1;
    const int height = data[1] % 64 + 1;
    const std::uint8_t* jpeg = data + 2;
    const std::size_t jpegSize = size - 2;
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
