#include "JpegWriter.h"

#include <cstdio>
#include <csetjmp>
#include <memory>
#include <stdexcept>

extern "C"
{
#include <jpeglib.h>
}

namespace atlasgen
{

namespace
{

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info)
{
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

void JpegWriter::WriteGray(const std::string& path, const unsigned char* pixels, int width, int height, int quality)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw std::runtime_error("Could not create " + path);

    jpeg_compress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnError;
    error.message[0] = '\0';
    // Nothing with a destructor lives between here and the last libjpeg call, so the jump is safe.
    if (setjmp(error.jump))
    {
        jpeg_destroy_compress(&info);
        throw std::runtime_error("Could not write JPEG " + path + ": " + error.message);
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 1;
    info.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
    {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<std::size_t>(info.next_scanline) * width);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get()))
        throw std::runtime_error("Could not write " + path);
    if (std::fclose(file.release()) != 0)
        throw std::runtime_error("Could not write " + path);
}

} // namespace atlasgen
