#pragma once

#include <cstdio>

class Image2d;

// The largest image DecodeJPEGImage accepts (64 megapixels, 256 MiB as BGRA): network tiles are far
// smaller, and a hostile header must not make the decoder allocate gigabytes.
constexpr unsigned long long MAX_DECODED_JPEG_PIXELS = 1ull << 26;

// Writes width * height gray bytes (rows from the top, each exactly width bytes) to the open file as a
// baseline grayscale JPEG of quality 80. The file is neither opened nor closed here.
// Throws std::invalid_argument for a null file or pixels or a size that is not positive, and
// std::runtime_error with the JPEG library's message when it fails (a write error, for one).
void WriteJPEG(FILE* file, const unsigned char* pixels, int width, int height);

// Reads a grayscale JPEG of exactly width x height from the open file into out (width * height bytes,
// rows from the top). Throws std::invalid_argument for a null file or out or a size that is not
// positive; std::runtime_error "Unexpected image format." for anything but one gray component,
// "Unexpected image size." for other dimensions (both checked before decoding), or the JPEG library's
// message for a corrupt stream. A file that ends early yields a partial image.
void ReadJPEG(FILE* file, unsigned char* out, int width, int height);

// Decodes a grayscale or RGB JPEG held in memory into image as BGRA with alpha 255.
// Returns false, leaving image as it was, when data is null or size is 0; true after decoding.
// Throws std::invalid_argument for a null image; std::runtime_error "Unexpected image format." for
// other colour layouts, "Unexpected image size." for a header that asks for more than
// MAX_DECODED_JPEG_PIXELS pixels (refused before anything is allocated for them), or the JPEG
// library's message for a corrupt stream. Bytes missing at the end give a partial image; nothing is
// ever read beyond data + size.
bool DecodeJPEGImage(const unsigned char* data, unsigned int size, Image2d* image);
