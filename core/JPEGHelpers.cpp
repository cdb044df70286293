#include "core/JPEGHelpers.h"

#include "core/Image2d.h"

#include <csetjmp>
#include <memory>
#include <stdexcept>

#include <jpeglib.h>
#include <jerror.h>

namespace
{

// libjpeg reports a fatal error by calling error_exit, which must not return. Throwing a C++ exception
// from there would unwind through C frames that were not compiled for it, so it jumps back to the
// guarded call instead (RunGuarded) and the error is thrown from plain C++ code after the jump.
struct JPEGErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void ExitToCaller(j_common_ptr info)
{
    JPEGErrorManager* errors = reinterpret_cast<JPEGErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (a premature end of data, a corrupt marker that the library skips) are not errors, and a
// desktop program has no console to print them on.
extern "C" void IgnoreMessage(j_common_ptr, int) {}
extern "C" void IgnoreOutput(j_common_ptr) {}

// The libjpeg structures live on the heap behind a pointer that is set before setjmp and never changed,
// so their contents stay defined after a longjmp.
template <class Info>
struct JPEGSession
{
    Info info;
    JPEGErrorManager errors;

    JPEGSession()
        : info()
        , errors()
    {
        info.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = ExitToCaller;
        errors.pub.emit_message = IgnoreMessage;
        errors.pub.output_message = IgnoreOutput;
    }
    ~JPEGSession() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&info)); }

    JPEGSession(const JPEGSession&) = delete;
    JPEGSession& operator=(const JPEGSession&) = delete;
};

using Compression = JPEGSession<jpeg_compress_struct>;
using Decompression = JPEGSession<jpeg_decompress_struct>;

// Runs body, which calls into libjpeg; a libjpeg error lands here and is thrown as std::runtime_error.
// Neither this function nor body may hold objects with destructors across libjpeg calls: a longjmp
// skips them. C++ exceptions that body throws itself (outside libjpeg) pass through unchanged.
template <class Info, class Body>
void RunGuarded(JPEGSession<Info>& session, Body&& body)
{
    if (setjmp(session.errors.jump) != 0)
        throw std::runtime_error(session.errors.message);
    body();
}

// --- memory source --------------------------------------------------------------------------------

// Two bytes of end-of-image marker handed to the library once the caller's bytes are used up, so a
// truncated tile ends as a partial image instead of a read beyond its buffer.
const JOCTET FAKE_END_OF_IMAGE[2] = {0xFF, JPEG_EOI};

extern "C" void InitMemorySource(j_decompress_ptr) {}
extern "C" void TermMemorySource(j_decompress_ptr) {}

extern "C" boolean FillMemorySource(j_decompress_ptr info)
{
    WARNMS(info, JWRN_JPEG_EOF);
    info->src->next_input_byte = FAKE_END_OF_IMAGE;
    info->src->bytes_in_buffer = sizeof FAKE_END_OF_IMAGE;
    return TRUE;
}

extern "C" void SkipMemorySource(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* source = info->src;
    if (static_cast<unsigned long>(count) >= source->bytes_in_buffer)
    {
        // Skipping past the end: leave nothing, so the next read supplies the end marker.
        source->next_input_byte += source->bytes_in_buffer;
        source->bytes_in_buffer = 0;
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

// The source manager must outlive the decompressor's use of it; it is allocated from the library's
// permanent pool, which jpeg_destroy frees.
void initialize_jpeg_memory_src(j_decompress_ptr info, const unsigned char* data, unsigned int size)
{
    jpeg_source_mgr* source = static_cast<jpeg_source_mgr*>(
        (*info->mem->alloc_small)(reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
    source->init_source = InitMemorySource;
    source->fill_input_buffer = FillMemorySource;
    source->skip_input_data = SkipMemorySource;
    source->resync_to_restart = jpeg_resync_to_restart;
    source->term_source = TermMemorySource;
    source->next_input_byte = data;
    source->bytes_in_buffer = size;
    info->src = source;
}

// --- decoding -------------------------------------------------------------------------------------

void ReadHeaderAndDimensions(jpeg_decompress_struct& info)
{
    jpeg_read_header(&info, TRUE);
    // The output layout is known before start_decompress, which allocates whole-image buffers for
    // progressive streams: checks made here cost no memory.
    jpeg_calc_output_dimensions(&info);
}

bool IsGray(const jpeg_decompress_struct& info)
{
    return info.output_components == 1 && info.out_color_space == JCS_GRAYSCALE;
}

bool IsRGB(const jpeg_decompress_struct& info)
{
    return info.output_components == 3 && info.out_color_space == JCS_RGB;
}

void WidenRow(const JSAMPLE* row, unsigned char* target, int width, bool gray)
{
    for (int x = 0; x < width; ++x, target += 4)
    {
        if (gray)
        {
            target[0] = target[1] = target[2] = row[x];
        }
        else
        {
            const JSAMPLE* rgb = row + 3 * x;
            target[0] = rgb[2];
            target[1] = rgb[1];
            target[2] = rgb[0];
        }
        target[3] = 255;
    }
}

} // namespace

void WriteJPEG(FILE* file, const unsigned char* pixels, int width, int height)
{
    if (!file || !pixels || width <= 0 || height <= 0)
        throw std::invalid_argument("WriteJPEG needs an open file and a gray image of positive size.");
    const auto session = std::make_unique<Compression>();
    jpeg_compress_struct* info = &session->info;
    RunGuarded(*session, [&] {
        jpeg_create_compress(info);
        jpeg_stdio_dest(info, file);
        info->image_width = static_cast<JDIMENSION>(width);
        info->image_height = static_cast<JDIMENSION>(height);
        info->input_components = 1;
        info->in_color_space = JCS_GRAYSCALE;
        jpeg_set_defaults(info);
        jpeg_set_quality(info, 80, TRUE);
        jpeg_start_compress(info, TRUE);
        while (info->next_scanline < info->image_height)
        {
            // libjpeg's row type is not const, but compression only reads the rows.
            JSAMPROW row = const_cast<JSAMPROW>(pixels + std::size_t(info->next_scanline) * std::size_t(width));
            jpeg_write_scanlines(info, &row, 1);
        }
        jpeg_finish_compress(info);
    });
}

void ReadJPEG(FILE* file, unsigned char* out, int width, int height)
{
    if (!file || !out || width <= 0 || height <= 0)
        throw std::invalid_argument("ReadJPEG needs an open file and a gray image of positive size.");
    const auto session = std::make_unique<Decompression>();
    jpeg_decompress_struct* info = &session->info;
    RunGuarded(*session, [&] {
        jpeg_create_decompress(info);
        jpeg_stdio_src(info, file);
        ReadHeaderAndDimensions(*info);
        if (!IsGray(*info))
            throw std::runtime_error("Unexpected image format.");
        if (info->output_width != JDIMENSION(width) || info->output_height != JDIMENSION(height))
            throw std::runtime_error("Unexpected image size.");
        jpeg_start_decompress(info);
        while (info->output_scanline < info->output_height)
        {
            JSAMPROW row = out + std::size_t(info->output_scanline) * std::size_t(width);
            jpeg_read_scanlines(info, &row, 1);
        }
        jpeg_finish_decompress(info);
    });
}

bool DecodeJPEGImage(const unsigned char* data, unsigned int size, Image2d* image)
{
    if (!data || size == 0)
        return false;
    if (!image)
        throw std::invalid_argument("DecodeJPEGImage needs a target image.");
    const auto session = std::make_unique<Decompression>();
    jpeg_decompress_struct* info = &session->info;
    RunGuarded(*session, [&] {
        jpeg_create_decompress(info);
        initialize_jpeg_memory_src(info, data, size);
        ReadHeaderAndDimensions(*info);
        const bool gray = IsGray(*info);
        if (!gray && !IsRGB(*info))
            throw std::runtime_error("Unexpected image format.");
        const unsigned long long pixels = static_cast<unsigned long long>(info->output_width) * info->output_height;
        if (pixels > MAX_DECODED_JPEG_PIXELS)
            throw std::runtime_error("Unexpected image size.");
        jpeg_start_decompress(info);
        const int width = static_cast<int>(info->output_width);
        image->Initialize(width, static_cast<int>(info->output_height));
        JSAMPARRAY row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                                    info->output_width * info->output_components, 1);
        while (info->output_scanline < info->output_height)
        {
            const JDIMENSION y = info->output_scanline;
            jpeg_read_scanlines(info, row, 1);
            WidenRow(row[0], image->GetPixel(0, static_cast<int>(y)), width, gray);
        }
        jpeg_finish_decompress(info);
    });
    return true;
}
