#pragma once

#include <string>

namespace atlasgen
{

// Writes one 8-bit grayscale image as a baseline JPEG through libjpeg.
class JpegWriter
{
public:
    static void WriteGray(const std::string& path, const unsigned char* pixels, int width, int height, int quality);
};

} // namespace atlasgen
