#include "content/BMPCodec.h"

#include "content/ImageStreams.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormatConversion.h"

#include <algorithm>
#include <cstring>

namespace rezezaz::scene {

namespace {

using core::Categories;
using core::Error;
using core::String;
using render::TextureFormat;
using render::TextureFormatConversion;

constexpr int FILE_HEADER_SIZE = 14;
constexpr int INFO_HEADER_SIZE = 40;
constexpr int HEADERS_SIZE = FILE_HEADER_SIZE + INFO_HEADER_SIZE;
constexpr const char* READER = "BMPStreamer";

int64_t paddedRow(int64_t bytes)
{
    return (bytes + 3) & ~int64_t(3);
}

void putU16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putU32(unsigned char* p, uint32_t v)
{
    putU16(p, v);
    putU16(p + 2, v >> 16);
}

[[noreturn]] void refuseHeaderSize(uint32_t infoSize)
{
    Error::unknown(Categories::REZEZAZ_SCENE, true,
                   String("BMPStreamer: Information header is ") + infoSize + " bytes, not 40");
}

} // namespace

DecodedImage BMPCodec::read(core::io::Stream* stream, int64_t maxBytes)
{
    if (stream == nullptr) {
        Error::nullPointer(Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    unsigned char header[HEADERS_SIZE] = {};
    const int64_t headerGot = ImageStreams::readFully(stream, header, HEADERS_SIZE);
    const uint32_t infoSize = ImageStreams::u32(header + 14);
    // A shorter header (OS/2's 12 or 16 bytes) lays its fields out otherwise: nothing after its
    // size means what the checks below look for, so its size is what is wrong with it.
    if (headerGot >= FILE_HEADER_SIZE + 4 && infoSize < INFO_HEADER_SIZE) {
        refuseHeaderSize(infoSize);
    }
    if (headerGot < HEADERS_SIZE) {
        ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "header", 0, HEADERS_SIZE, headerGot);
    }
    const uint32_t dataOffset = ImageStreams::u32(header + 10);
    const int32_t width = static_cast<int32_t>(ImageStreams::u32(header + 18));
    const int32_t height = static_cast<int32_t>(ImageStreams::u32(header + 22));
    const int planes = ImageStreams::u16(header + 26);
    const int bitCount = ImageStreams::u16(header + 28);
    const uint32_t compression = ImageStreams::u32(header + 30);

    if (planes != 1) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, String("BMPStreamer: Planes are ") + planes + ", not 1");
    }
    if (bitCount != 1 && bitCount != 2 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("BMPStreamer: Format is ") + bitCount + ", not 1, 2, 4, 8, 24, or 32 bit");
    }
    if (compression != 0) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("BMPStreamer: Compression is ") + compression + ", not BI_RGB");
    }
    // The palette is taken from position 54, right after a 40-byte header: longer headers would
    // put header fields in its place.
    if (infoSize != INFO_HEADER_SIZE) {
        refuseHeaderSize(infoSize);
    }
    if (height < 0) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("BMPStreamer: Height is ") + height + ", top-down images are not supported");
    }
    const int pixelSize = bitCount == 32 ? 4 : 3;
    if (!ImageLimits::fits(width, height, pixelSize, maxBytes)) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("BMPStreamer: Size ") + width + " x " + height + " is not supported");
    }

    // Everything the header claims must be in the file before the pixels are allocated; the last
    // row may go without its padding.
    const int64_t paletteBytes = bitCount <= 8 ? 4 * (int64_t(1) << bitCount) : 0;
    const int64_t rowBytes = (int64_t(width) * bitCount + 7) / 8;
    const int64_t pixelBytes = paddedRow(rowBytes) * (height - 1) + rowBytes;
    // Pixels cannot start inside the headers or the palette that the file declares (its colour
    // count, when one is given, else 2^bitCount entries): its own bytes would be read as pixels.
    // Entries the palette lacks past a smaller count are not looked at here, as writers leave
    // them out and put the pixels right after the colours they use.
    const uint32_t colorsUsed = ImageStreams::u32(header + 46);
    const int64_t declaredPalette =
        colorsUsed != 0 ? std::min<int64_t>(paletteBytes, 4 * int64_t(colorsUsed)) : paletteBytes;
    if (int64_t(dataOffset) < HEADERS_SIZE + declaredPalette) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("BMPStreamer: Pixel data offset ") + int64_t(dataOffset) +
                           " lies inside the headers and palette, which end at " +
                           (HEADERS_SIZE + declaredPalette));
    }
    ImageStreams::requireBytes(stream, Categories::REZEZAZ_SCENE, READER, "palette", HEADERS_SIZE, paletteBytes);
    ImageStreams::requireBytes(stream, Categories::REZEZAZ_SCENE, READER, "pixels", dataOffset, pixelBytes);

    DecodedImage image;
    image.format = new TextureFormat(TextureFormat::Dimension_2D,
                                     bitCount == 32 ? TextureFormat::Format_RGBA_8 : TextureFormat::Format_RGB_8,
                                     width, height, 1, 0);
    image.levels.emplace_back(static_cast<size_t>(image.format->getDataSize()));
    unsigned char* out = image.levels[0].data();
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);

    if (bitCount == 32) {
        stream->seek(static_cast<int>(dataOffset > INT32_MAX ? INT32_MAX : dataOffset));
        const int64_t got = ImageStreams::readFully(stream, out, int64_t(w * h * 4));
        if (got < int64_t(w * h * 4)) {
            ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "pixels", dataOffset, pixelBytes, got);
        }
        // The fourth byte is kept as alpha; writers that leave it unused write 0 in every pixel,
        // and such an image is opaque rather than wholly transparent.
        bool anyAlpha = false;
        for (size_t i = 0; i < w * h; ++i) {
            unsigned char* p = out + i * 4;
            const unsigned char blue = p[0];
            p[0] = p[2];
            p[2] = blue;
            anyAlpha = anyAlpha || p[3] != 0;
        }
        if (!anyAlpha) {
            for (size_t i = 0; i < w * h; ++i) {
                out[i * 4 + 3] = 255;
            }
        }
        return image;
    }

    // Rows are read one at a time into a small buffer and converted from there: no second copy
    // of the image is ever held.
    unsigned char palette[4 * 256] = {};
    if (bitCount <= 8) {
        // 2^bitCount entries of blue, green, red, reserved right after the headers.
        const int64_t got = ImageStreams::readFully(stream, palette, paletteBytes);
        if (got < paletteBytes) {
            ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "palette", HEADERS_SIZE, paletteBytes, got);
        }
    }
    const size_t rowLength = static_cast<size_t>(paddedRow((int64_t(w) * bitCount + 7) / 8));
    std::vector<unsigned char> source(rowLength);
    stream->seek(static_cast<int>(dataOffset > INT32_MAX ? INT32_MAX : dataOffset));
    const unsigned mask = static_cast<unsigned>((1 << bitCount) - 1);
    const TextureFormat bgrRow(TextureFormat::Dimension_2D, TextureFormat::Format_BGR_8, width, 1, 1, 0);
    const TextureFormat rgbRow(TextureFormat::Dimension_2D, TextureFormat::Format_RGB_8, width, 1, 1, 0);
    // The palette as red, green, blue, 0 in one word each.
    uint32_t colors[256] = {};
    for (int i = 0; i < 256; ++i) {
        const unsigned char rgb[4] = {palette[i * 4 + 2], palette[i * 4 + 1], palette[i * 4], 0};
        std::memcpy(&colors[i], rgb, 4);
    }
    for (size_t y = 0; y < h; ++y) {
        const int64_t got = ImageStreams::readFully(stream, source.data(), y + 1 < h ? int64_t(rowLength) : rowBytes);
        if (got < rowBytes) {
            ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "pixels", dataOffset, pixelBytes,
                                    int64_t(y * rowLength) + got);
        }
        const unsigned char* s = source.data();
        unsigned char* d = out + y * w * 3;
        if (bitCount == 24) {
            TextureFormatConversion::convert(source.data(), &bgrRow, d, &rgbRow);
        } else if (bitCount == 8) {
            // Four bytes a pixel, the fourth overwritten by the next pixel; the row's last pixel
            // writes its three.
            for (size_t x = 0; x + 1 < w; ++x, d += 3) {
                std::memcpy(d, &colors[s[x]], 4);
            }
            std::memcpy(d, &colors[s[w - 1]], 3);
        } else {
            for (size_t x = 0; x < w; ++x, d += 3) {
                // Most significant bits first.
                const size_t bit = x * static_cast<size_t>(bitCount);
                const unsigned shift = static_cast<unsigned>((8 - (bit + bitCount) % 8) % 8);
                const unsigned index = (s[bit / 8] >> shift) & mask;
                const unsigned char* entry = palette + index * 4;
                d[0] = entry[2];
                d[1] = entry[1];
                d[2] = entry[0];
            }
        }
    }
    return image;
}

bool BMPCodec::write(core::io::Stream* stream, const TextureFormat& format, const unsigned char* pixels)
{
    if (stream == nullptr) {
        Error::nullPointer(Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    if (format.dimension != TextureFormat::Dimension_2D) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "texture isn't 2 dimensional");
    }
    if (format.pixelFormat != TextureFormat::Format_RGB_8 && format.pixelFormat != TextureFormat::Format_RGBA_8) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "texture isn't in RGB/RGBA format");
    }
    const bool rgba = format.pixelFormat == TextureFormat::Format_RGBA_8;
    const int width = format.getWidth();
    const int height = format.getHeight();
    const int pixelSize = rgba ? 4 : 3;
    if (!ImageLimits::fits(width, height, pixelSize) || pixels == nullptr) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("BMPStreamer: Size ") + width + " x " + height + " is not supported");
    }
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    const size_t sourceRow = w * pixelSize;
    const size_t rowLength = rgba ? sourceRow : static_cast<size_t>(paddedRow(int64_t(sourceRow)));

    std::vector<unsigned char> file(HEADERS_SIZE + rowLength * h, 0);
    unsigned char* p = file.data();
    putU16(p + 0, 0x4D42);
    putU32(p + 2, static_cast<uint32_t>(HEADERS_SIZE + h * static_cast<size_t>(paddedRow(int64_t(sourceRow)))));
    putU32(p + 10, HEADERS_SIZE);
    putU32(p + 14, INFO_HEADER_SIZE);
    putU32(p + 18, static_cast<uint32_t>(width));
    putU32(p + 22, static_cast<uint32_t>(height));
    putU16(p + 26, 1);
    putU16(p + 28, rgba ? 32 : 24);

    for (size_t y = 0; y < h; ++y) {
        const unsigned char* s = pixels + y * sourceRow;
        unsigned char* d = file.data() + HEADERS_SIZE + y * rowLength;
        for (size_t x = 0; x < w; ++x, s += pixelSize, d += pixelSize) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            if (rgba) {
                d[3] = s[3];
            }
        }
    }
    // Headers and pixels in one write.
    return stream->write(file.data(), static_cast<int>(file.size())) == static_cast<int>(file.size());
}

} // namespace rezezaz::scene
