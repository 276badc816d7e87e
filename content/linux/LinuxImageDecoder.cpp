#include "content/linux/LinuxImageDecoder.h"

#include "content/DecodedImage.h"

#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <png.h>

namespace rezezaz::scene {

namespace {

// libpng and libjpeg report fatal errors by longjmp; the functions that set the jump point hold no
// objects with destructors, and the buffers they fill belong to their callers.

struct PNGSource
{
    core::io::Stream* stream;
};

void readPNGBytes(png_structp png, png_bytep data, size_t length)
{
    auto* source = static_cast<PNGSource*>(png_get_io_ptr(png));
    size_t done = 0;
    while (done < length) {
        const int got = source->stream->read(data + done, static_cast<int>(length - done));
        if (got <= 0) {
            png_error(png, "unexpected end of data");
        }
        done += static_cast<size_t>(got);
    }
}

void quietPNGWarning(png_structp, png_const_charp) {}

void failPNG(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

struct PNGJob
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    PNGSource source{};
    LinuxImageDecoder::Bitmap* bitmap = nullptr;
    std::vector<png_bytep>* rows = nullptr;
    int64_t maxBytes = 0;
};

bool readPNGHeader(PNGJob* job)
{
    if (setjmp(png_jmpbuf(job->png))) {
        return false;
    }
    png_set_read_fn(job->png, &job->source, readPNGBytes);
    png_set_user_limits(job->png, ImageLimits::MAX_SIDE, ImageLimits::MAX_SIDE);
    png_read_info(job->png, job->info);
    const png_uint_32 width = png_get_image_width(job->png, job->info);
    const png_uint_32 height = png_get_image_height(job->png, job->info);
    if (!ImageLimits::fits(width, height, 4, job->maxBytes)) {
        return false;
    }
    const int colorType = png_get_color_type(job->png, job->info);
    png_set_strip_16(job->png);
    png_set_packing(job->png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(job->png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_expand_gray_1_2_4_to_8(job->png);
        png_set_gray_to_rgb(job->png);
    }
    if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(job->png);
    }
    png_set_filler(job->png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    job->bitmap->width = static_cast<int>(width);
    job->bitmap->height = static_cast<int>(height);
    return png_get_rowbytes(job->png, job->info) == size_t(width) * 4;
}

bool readPNGImage(PNGJob* job)
{
    if (setjmp(png_jmpbuf(job->png))) {
        // A damaged or cut-off stream keeps the rows decoded so far, as the rest stays zero.
        return true;
    }
    png_read_image(job->png, job->rows->data());
    return true;
}

struct JPEGError
{
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void failJPEG(j_common_ptr info)
{
    longjmp(reinterpret_cast<JPEGError*>(info->err)->jump, 1);
}

void quietJPEGMessage(j_common_ptr) {}

struct JPEGSource
{
    jpeg_source_mgr manager;
    core::io::Stream* stream;
    JOCTET buffer[16384];
};

const JOCTET FAKE_EOI[2] = {0xFF, JPEG_EOI};

void initJPEGSource(j_decompress_ptr) {}

boolean fillJPEGBuffer(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<JPEGSource*>(info->src);
    const int got = source->stream->read(source->buffer, sizeof(source->buffer));
    if (got <= 0) {
        // The end of the data: an end-of-image marker lets the decoder finish what it has.
        source->manager.next_input_byte = FAKE_EOI;
        source->manager.bytes_in_buffer = 2;
        return TRUE;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

void skipJPEGData(j_decompress_ptr info, long count)
{
    auto* source = reinterpret_cast<JPEGSource*>(info->src);
    while (count > 0) {
        if (source->manager.bytes_in_buffer == 0) {
            fillJPEGBuffer(info);
        }
        const size_t step = std::min(static_cast<size_t>(count), source->manager.bytes_in_buffer);
        source->manager.next_input_byte += step;
        source->manager.bytes_in_buffer -= step;
        count -= static_cast<long>(step);
    }
}

void termJPEGSource(j_decompress_ptr) {}

struct JPEGJob
{
    jpeg_decompress_struct info;
    JPEGError error;
    JPEGSource source;
    LinuxImageDecoder::Bitmap* bitmap = nullptr;
    bool started = false;
    int64_t maxBytes = 0;
};

bool readJPEGHeader(JPEGJob* job)
{
    if (setjmp(job->error.jump)) {
        return false;
    }
    if (jpeg_read_header(&job->info, TRUE) != JPEG_HEADER_OK) {
        return false;
    }
    // Grey is drawn as RGB; CMYK and YCCK have no RGB drawing here.
    if (job->info.jpeg_color_space == JCS_CMYK || job->info.jpeg_color_space == JCS_YCCK) {
        return false;
    }
    job->info.out_color_space = JCS_EXT_RGBA;
    jpeg_calc_output_dimensions(&job->info);
    if (!ImageLimits::fits(job->info.output_width, job->info.output_height, 4, job->maxBytes)) {
        return false;
    }
    job->bitmap->width = static_cast<int>(job->info.output_width);
    job->bitmap->height = static_cast<int>(job->info.output_height);
    return true;
}

bool readJPEGImage(JPEGJob* job)
{
    if (setjmp(job->error.jump)) {
        // Damaged data after the header: keep the rows decoded so far.
        return true;
    }
    jpeg_start_decompress(&job->info);
    job->started = true;
    const size_t row = size_t(job->bitmap->width) * 4;
    while (job->info.output_scanline < job->info.output_height) {
        JSAMPROW line = job->bitmap->pixels.data() + size_t(job->info.output_scanline) * row;
        if (jpeg_read_scanlines(&job->info, &line, 1) != 1) {
            break;
        }
    }
    jpeg_finish_decompress(&job->info);
    return true;
}

} // namespace

void LinuxImageDecoder::premultiply(unsigned char* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        const unsigned a = pixels[3];
        if (a == 255) {
            continue;
        }
        pixels[0] = static_cast<unsigned char>((pixels[0] * a + 127) / 255);
        pixels[1] = static_cast<unsigned char>((pixels[1] * a + 127) / 255);
        pixels[2] = static_cast<unsigned char>((pixels[2] * a + 127) / 255);
    }
}

bool LinuxImageDecoder::decodePNG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes)
{
    bitmap = Bitmap();
    PNGJob job;
    job.maxBytes = maxBytes;
    job.source.stream = stream;
    job.bitmap = &bitmap;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failPNG, quietPNGWarning);
    if (job.png == nullptr) {
        return false;
    }
    job.info = png_create_info_struct(job.png);
    bool ok = job.info != nullptr && readPNGHeader(&job);
    if (ok) {
        bitmap.pixels.assign(size_t(bitmap.width) * size_t(bitmap.height) * 4, 0);
        std::vector<png_bytep> rows(static_cast<size_t>(bitmap.height));
        for (size_t y = 0; y < rows.size(); ++y) {
            rows[y] = bitmap.pixels.data() + y * size_t(bitmap.width) * 4;
        }
        job.rows = &rows;
        ok = readPNGImage(&job);
    }
    png_destroy_read_struct(&job.png, job.info != nullptr ? &job.info : nullptr, nullptr);
    if (!ok) {
        bitmap = Bitmap();
        return false;
    }
    premultiply(bitmap.pixels.data(), bitmap.pixels.size() / 4);
    return true;
}

bool LinuxImageDecoder::decodeJPEG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes)
{
    bitmap = Bitmap();
    auto job = std::make_unique<JPEGJob>();
    job->maxBytes = maxBytes;
    job->bitmap = &bitmap;
    job->info.err = jpeg_std_error(&job->error.manager);
    job->error.manager.error_exit = failJPEG;
    job->error.manager.output_message = quietJPEGMessage;
    jpeg_create_decompress(&job->info);
    job->source.stream = stream;
    job->source.manager.init_source = initJPEGSource;
    job->source.manager.fill_input_buffer = fillJPEGBuffer;
    job->source.manager.skip_input_data = skipJPEGData;
    job->source.manager.resync_to_restart = jpeg_resync_to_restart;
    job->source.manager.term_source = termJPEGSource;
    job->source.manager.bytes_in_buffer = 0;
    job->source.manager.next_input_byte = nullptr;
    job->info.src = &job->source.manager;

    bool ok = readJPEGHeader(job.get());
    if (ok) {
        bitmap.pixels.assign(size_t(bitmap.width) * size_t(bitmap.height) * 4, 0);
        ok = readJPEGImage(job.get());
    }
    jpeg_destroy_decompress(&job->info);
    if (!ok) {
        bitmap = Bitmap();
    }
    // JPEG has no alpha: every pixel is opaque and needs no premultiplying.
    return ok;
}

} // namespace rezezaz::scene
