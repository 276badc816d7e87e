#include "content/linux/LinuxImageDecoder.h"

#include "content/DecodedImage.h"

#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rezezaz::scene {

namespace {

using Result = LinuxImageDecoder::Result;

// libpng and libjpeg report fatal errors by longjmp; the functions that set the jump point hold no
// objects with destructors, and the buffers they fill belong to their callers.

struct PNGSource
{
    core::io::Stream* stream;
    // Set when the stream had no more bytes for the decoder.
    bool ended = false;
};

void readPNGBytes(png_structp png, png_bytep data, size_t length)
{
    auto* source = static_cast<PNGSource*>(png_get_io_ptr(png));
    size_t done = 0;
    while (done < length) {
        const int got = source->stream->read(data + done, static_cast<int>(length - done));
        if (got <= 0) {
            source->ended = true;
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
    // Whether the image has alpha to premultiply by (an alpha channel or a transparent colour).
    bool alpha = false;
};

Result readPNGHeader(PNGJob* job)
{
    if (setjmp(png_jmpbuf(job->png))) {
        return job->source.ended ? Result::Truncated : Result::Damaged;
    }
    png_set_read_fn(job->png, &job->source, readPNGBytes);
    // The signature is all the header that must be whole before a file counts as a PNG.
    png_byte signature[8] = {};
    size_t got = 0;
    while (got < sizeof(signature)) {
        const int n = job->source.stream->read(signature + got, static_cast<int>(sizeof(signature) - got));
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    if (got < sizeof(signature) || png_sig_cmp(signature, 0, sizeof(signature)) != 0) {
        return Result::NotThisKind;
    }
    png_set_sig_bytes(job->png, sizeof(signature));
    png_read_info(job->png, job->info);
    const png_uint_32 width = png_get_image_width(job->png, job->info);
    const png_uint_32 height = png_get_image_height(job->png, job->info);
    job->bitmap->width = static_cast<int>(std::min<png_uint_32>(width, INT32_MAX));
    job->bitmap->height = static_cast<int>(std::min<png_uint_32>(height, INT32_MAX));
    if (!ImageLimits::fits(width, height, 4, job->maxBytes)) {
        return Result::TooLarge;
    }
    const int colorType = png_get_color_type(job->png, job->info);
    job->alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
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
        job->alpha = true;
    }
    png_set_filler(job->png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    return png_get_rowbytes(job->png, job->info) == size_t(width) * 4 ? Result::Decoded : Result::Damaged;
}

Result readPNGImage(PNGJob* job)
{
    if (setjmp(png_jmpbuf(job->png))) {
        return job->source.ended ? Result::Truncated : Result::Damaged;
    }
    std::vector<png_bytep>& rows = *job->rows;
    const size_t width = size_t(job->bitmap->width);
    if (png_get_interlace_type(job->png, job->info) != PNG_INTERLACE_NONE) {
        // Seven passes over the whole image: premultiplied once they are all in.
        png_read_image(job->png, rows.data());
        if (job->alpha) {
            for (png_bytep row : rows) {
                LinuxImageDecoder::premultiply(row, width);
            }
        }
        return Result::Decoded;
    }
    // Row by row, each premultiplied while it is still in the cache.
    for (png_bytep row : rows) {
        png_read_row(job->png, row, nullptr);
        if (job->alpha) {
            LinuxImageDecoder::premultiply(row, width);
        }
    }
    return Result::Decoded;
}

struct JPEGError
{
    jpeg_error_mgr manager;
    jmp_buf jump;
    // Set when the decoder needed data of a scan that the file did not have.
    bool dataMissing;
};

void failJPEG(j_common_ptr info)
{
    longjmp(reinterpret_cast<JPEGError*>(info->err)->jump, 1);
}

void quietJPEGMessage(j_common_ptr) {}

void noteJPEGMessage(j_common_ptr info, int level)
{
    if (level < 0) {
        auto* error = reinterpret_cast<JPEGError*>(info->err);
        if (error->manager.msg_code == JWRN_HIT_MARKER) {
            error->dataMissing = true;
        }
        ++error->manager.num_warnings;
    }
}

struct JPEGSource
{
    jpeg_source_mgr manager;
    core::io::Stream* stream;
    // Set when the stream had no more bytes for the decoder.
    bool ended;
    JOCTET buffer[16384];
};

const JOCTET FAKE_EOI[2] = {0xFF, JPEG_EOI};

void initJPEGSource(j_decompress_ptr) {}

boolean fillJPEGBuffer(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<JPEGSource*>(info->src);
    const int got = source->stream->read(source->buffer, sizeof(source->buffer));
    if (got <= 0) {
        // The end of the data: an end-of-image marker lets the decoder come to its end.
        source->ended = true;
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
    int64_t maxBytes = 0;
    // Inks instead of colours: CMYK, or YCCK that the library turns into CMYK.
    bool cmyk = false;
};

Result readJPEGHeader(JPEGJob* job)
{
    if (setjmp(job->error.jump)) {
        if (job->error.manager.msg_code == JERR_NO_SOI) {
            return Result::NotThisKind;
        }
        if (job->error.manager.msg_code == JERR_BAD_PRECISION) {
            // A whole, good file whose samples the library does not decode (12 bits, say).
            job->bitmap->width = static_cast<int>(std::min<JDIMENSION>(job->info.image_width, INT32_MAX));
            job->bitmap->height = static_cast<int>(std::min<JDIMENSION>(job->info.image_height, INT32_MAX));
            job->bitmap->sampleBits = job->info.data_precision;
            return Result::UnsupportedPrecision;
        }
        return job->source.ended ? Result::Truncated : Result::Damaged;
    }
    if (jpeg_read_header(&job->info, TRUE) != JPEG_HEADER_OK) {
        return Result::Damaged;
    }
    // Grey is drawn as RGB; CMYK and YCCK come as inks, four bytes a pixel like RGBA, and are
    // turned into RGBA in place.
    job->cmyk = job->info.jpeg_color_space == JCS_CMYK || job->info.jpeg_color_space == JCS_YCCK;
    job->info.out_color_space = job->cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_calc_output_dimensions(&job->info);
    job->bitmap->width = static_cast<int>(std::min<JDIMENSION>(job->info.output_width, INT32_MAX));
    job->bitmap->height = static_cast<int>(std::min<JDIMENSION>(job->info.output_height, INT32_MAX));
    if (job->info.output_components != 4 ||
        !ImageLimits::fits(job->info.output_width, job->info.output_height, 4, job->maxBytes)) {
        return job->info.output_components != 4 ? Result::Damaged : Result::TooLarge;
    }
    return Result::Decoded;
}

// Inks to colours: red = (255 - cyan) x (255 - black) / 255, and so on; Adobe's files store every
// ink inverted (255 - ink), which the marker they carry tells.
void inksToRGBA(unsigned char* pixels, size_t count, bool inverted)
{
    const unsigned flip = inverted ? 0 : 255;
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        const unsigned k = pixels[3] ^ flip;
        for (int c = 0; c < 3; ++c) {
            const unsigned v = (pixels[c] ^ flip) * k + 128;
            pixels[c] = static_cast<unsigned char>((v + (v >> 8)) >> 8);
        }
        pixels[3] = 255;
    }
}

Result readJPEGImage(JPEGJob* job)
{
    if (setjmp(job->error.jump)) {
        return job->source.ended ? Result::Truncated : Result::Damaged;
    }
    jpeg_start_decompress(&job->info);
    const size_t width = size_t(job->bitmap->width);
    const size_t height = size_t(job->bitmap->height);
    const size_t row = width * 4;
    const bool inverted = job->info.saw_Adobe_marker != 0;
    while (job->info.output_scanline < job->info.output_height) {
        // The image's top row is the texture's last.
        JSAMPROW line = job->bitmap->pixels.data() + (height - 1 - size_t(job->info.output_scanline)) * row;
        if (jpeg_read_scanlines(&job->info, &line, 1) != 1) {
            return Result::Damaged;
        }
        if (job->cmyk) {
            inksToRGBA(line, width, inverted);
        }
    }
    // Where the source had to make up the end marker, the file ended early:
    // - a progressive image is read whole before its first row, so scans were missing;
    // - the arithmetic decoder reads a made-up marker as silently as the real one and fills the rest
    //   of the scan with zeros, so its scan was cut (a file that lacks only its end marker cannot be
    //   told apart and is refused too);
    // - the Huffman decoder reads a little ahead, so a file that lacks only its end marker also runs
    //   out: its data ran short only when it warned that a scan needed more than there was.
    // That warning in a file whose source did not run out tells a marker amid the scan data instead:
    // the data are damaged, not cut.
    const bool ended = job->source.ended;
    if (ended && (jpeg_has_multiple_scans(&job->info) || job->info.arith_code)) {
        return Result::Truncated;
    }
    if (job->error.dataMissing) {
        return ended ? Result::Truncated : Result::Damaged;
    }
    jpeg_finish_decompress(&job->info);
    return Result::Decoded;
}

} // namespace

void LinuxImageDecoder::premultiply(unsigned char* pixels, size_t count)
{
    size_t i = 0;
#if defined(__SSE2__)
    // Four pixels at a time in 16-bit lanes: t = c x a + 128, then t x 257 / 65536 (the high half
    // of the product), which equals (c x a + 127) / 255 for every c and a; alpha is multiplied by
    // 255, which keeps it. Four opaque pixels are left as they are.
    const __m128i zero = _mm_setzero_si128();
    const __m128i colourLanes = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    const __m128i half = _mm_set1_epi16(128);
    const __m128i by257 = _mm_set1_epi16(257);
    const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xFF));
    auto scale = [&](__m128i values) {
        __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(values, 0xFF), 0xFF);
        alpha = _mm_or_si128(_mm_and_si128(alpha, colourLanes), alphaLanes);
        return _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(values, alpha), half), by257);
    };
    for (; i + 4 <= count; i += 4) {
        auto* p = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i four = _mm_loadu_si128(p);
        if ((_mm_movemask_epi8(_mm_cmpeq_epi8(four, opaque)) & 0x8888) == 0x8888) {
            continue;
        }
        const __m128i low = scale(_mm_unpacklo_epi8(four, zero));
        const __m128i high = scale(_mm_unpackhi_epi8(four, zero));
        _mm_storeu_si128(p, _mm_packus_epi16(low, high));
    }
#endif
    for (unsigned char* p = pixels + i * 4; i < count; ++i, p += 4) {
        const unsigned a = p[3];
        for (int c = 0; c < 3; ++c) {
            p[c] = static_cast<unsigned char>(((p[c] * a + 128) * 257) >> 16);
        }
    }
}

LinuxImageDecoder::Result LinuxImageDecoder::decodePNG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes)
{
    bitmap = Bitmap();
    PNGJob job;
    job.maxBytes = maxBytes;
    job.source.stream = stream;
    job.bitmap = &bitmap;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failPNG, quietPNGWarning);
    if (job.png == nullptr) {
        return Result::NotThisKind;
    }
    job.info = png_create_info_struct(job.png);
    Result result = job.info != nullptr ? readPNGHeader(&job) : Result::NotThisKind;
    if (result == Result::Decoded) {
        const size_t row = size_t(bitmap.width) * 4;
        const size_t height = size_t(bitmap.height);
        bitmap.pixels.resize(row * height);
        std::vector<png_bytep> rows(height);
        for (size_t y = 0; y < height; ++y) {
            rows[y] = bitmap.pixels.data() + (height - 1 - y) * row;
        }
        job.rows = &rows;
        result = readPNGImage(&job);
    }
    png_destroy_read_struct(&job.png, job.info != nullptr ? &job.info : nullptr, nullptr);
    if (result != Result::Decoded) {
        bitmap.pixels = std::vector<unsigned char>();
        return result;
    }
    return result;
}

LinuxImageDecoder::Result LinuxImageDecoder::decodeJPEG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes)
{
    bitmap = Bitmap();
    auto job = std::make_unique<JPEGJob>();
    job->maxBytes = maxBytes;
    job->bitmap = &bitmap;
    job->info.err = jpeg_std_error(&job->error.manager);
    job->error.manager.error_exit = failJPEG;
    job->error.manager.output_message = quietJPEGMessage;
    job->error.manager.emit_message = noteJPEGMessage;
    job->error.dataMissing = false;
    jpeg_create_decompress(&job->info);
    job->source.stream = stream;
    job->source.ended = false;
    job->source.manager.init_source = initJPEGSource;
    job->source.manager.fill_input_buffer = fillJPEGBuffer;
    job->source.manager.skip_input_data = skipJPEGData;
    job->source.manager.resync_to_restart = jpeg_resync_to_restart;
    job->source.manager.term_source = termJPEGSource;
    job->source.manager.bytes_in_buffer = 0;
    job->source.manager.next_input_byte = nullptr;
    job->info.src = &job->source.manager;

    Result result = readJPEGHeader(job.get());
    if (result == Result::Decoded) {
        bitmap.pixels.resize(size_t(bitmap.width) * size_t(bitmap.height) * 4);
        result = readJPEGImage(job.get());
    }
    jpeg_destroy_decompress(&job->info);
    if (result != Result::Decoded) {
        bitmap.pixels = std::vector<unsigned char>();
    }
    // JPEG has no alpha: every pixel is opaque and needs no premultiplying.
    return result;
}

} // namespace rezezaz::scene
