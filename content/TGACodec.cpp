#include "content/TGACodec.h"

#include "content/ImageStreams.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormat.h"

#include <algorithm>
#include <cstring>

namespace rezezaz::scene {

namespace {

using core::Categories;
using core::Error;
using core::String;
using render::TextureFormat;

constexpr int HEADER_SIZE = 18;
constexpr int DESCRIPTOR_RIGHT_ORIGIN = 0x10;
constexpr int DESCRIPTOR_TOP_ORIGIN = 0x20;
// Bits 6 and 7: rows interleaved two or four ways. Bits 0 to 3 count the alpha bits, bits 4 and 5
// are the origin's corner.
constexpr int DESCRIPTOR_INTERLEAVE = 0xC0;
constexpr const char* READER = "TGAStreamer";

// Decodes run-length packets from source into out until out is full or source ends; runs that
// would pass the end of out are cut there. Returns the bytes of out filled.
size_t decodeRuns(const unsigned char* source, size_t sourceSize, unsigned char* out, size_t outSize, size_t pixelBytes)
{
    size_t in = 0;
    size_t at = 0;
    while (at < outSize && in < sourceSize) {
        const unsigned packet = source[in++];
        const size_t count = (packet & 0x7F) + 1;
        const size_t room = (outSize - at) / pixelBytes;
        const size_t n = std::min(count, room);
        if ((packet & 0x80) != 0) {
            if (sourceSize - in < pixelBytes) {
                break;
            }
            const unsigned char* pixel = source + in;
            in += pixelBytes;
            if (pixelBytes == 3) {
                for (size_t k = 0; k < n; ++k, at += 3) {
                    out[at] = pixel[0];
                    out[at + 1] = pixel[1];
                    out[at + 2] = pixel[2];
                }
            } else {
                uint32_t value;
                std::memcpy(&value, pixel, 4);
                for (size_t k = 0; k < n; ++k, at += 4) {
                    std::memcpy(out + at, &value, 4);
                }
            }
        } else {
            const size_t bytes = std::min(n * pixelBytes, sourceSize - in);
            std::memcpy(out + at, source + in, bytes);
            in += count * pixelBytes;
            at += bytes;
            if (bytes < n * pixelBytes) {
                break;
            }
        }
        if (n < count) {
            break;
        }
    }
    return at;
}

} // namespace

DecodedImage TGACodec::read(core::io::Stream* stream, int64_t maxBytes)
{
    if (stream == nullptr) {
        Error::nullPointer(Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    unsigned char header[HEADER_SIZE] = {};
    const int64_t headerGot = ImageStreams::readFully(stream, header, HEADER_SIZE);
    if (headerGot < HEADER_SIZE) {
        ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "header", 0, HEADER_SIZE, headerGot);
    }
    const int idLength = header[0];
    const int colorMapType = header[1];
    const int imageType = header[2];
    const int colorMapLength = ImageStreams::u16(header + 5);
    const int colorMapEntryBits = header[7];
    const int width = ImageStreams::u16(header + 12);
    const int height = ImageStreams::u16(header + 14);
    const int depth = header[16];
    const int descriptor = header[17];

    if (colorMapType > 1) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "Invalid color map type");
    }
    if (imageType != 2 && imageType != 10) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "Only truecolor currently supported");
    }
    if ((descriptor & DESCRIPTOR_INTERLEAVE) != 0) {
        Error::unknown(Categories::REZEZAZ_SCENE, true, "Interleaved not currently supported");
    }
    // Depths 1 to 8 would be palette or grey pixels, which a true-colour image does not have.
    if (depth != 24 && depth != 32) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("TGAStreamer: Format is ") + depth + ", not 1, 2, 4, 8, 24, or 32 bit");
    }
    const size_t pixelBytes = depth == 32 ? 4 : 3;
    if (!ImageLimits::fits(width, height, int64_t(pixelBytes), maxBytes)) {
        Error::unknown(Categories::REZEZAZ_SCENE, true,
                       String("TGAStreamer: Size ") + width + " x " + height + " is not supported");
    }

    // Pixels follow the ID and the colour map, which true-colour images may carry but do not use.
    const int colorMapBytes = colorMapType == 1 ? colorMapLength * ((colorMapEntryBits + 7) / 8) : 0;
    const int64_t start = HEADER_SIZE + idLength + colorMapBytes;
    const int64_t pixelCount = int64_t(width) * height;
    const int64_t dataBytes = pixelCount * int64_t(pixelBytes);
    // Before the pixels are allocated, the file must hold them, or for run-length data at least one
    // packet per 128 pixels.
    if (imageType == 2) {
        ImageStreams::requireBytes(stream, Categories::REZEZAZ_SCENE, READER, "pixels", start, dataBytes);
    } else {
        ImageStreams::requireBytes(stream, Categories::REZEZAZ_SCENE, READER, "run-length packets", start,
                                   (pixelCount + 127) / 128 * int64_t(1 + pixelBytes));
    }

    DecodedImage image;
    image.format = new TextureFormat(TextureFormat::Dimension_2D,
                                     depth == 32 ? TextureFormat::Format_BGRA_8 : TextureFormat::Format_BGR_8, width,
                                     height, 1, 0);
    const size_t dataSize = static_cast<size_t>(image.format->getDataSize());
    image.levels.emplace_back(dataSize);
    unsigned char* out = image.levels[0].data();

    stream->reset();
    stream->seek(static_cast<int>(start));
    if (imageType == 2) {
        const int64_t got = ImageStreams::readFully(stream, out, int64_t(dataSize));
        if (got < int64_t(dataSize)) {
            ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "pixels", start, dataBytes, got);
        }
    } else {
        // At worst every pixel is a packet of its own.
        const int64_t limit = int64_t(dataSize) + int64_t(dataSize / pixelBytes);
        const std::vector<unsigned char> packets = ImageStreams::readRest(stream, limit);
        const size_t filled = decodeRuns(packets.data(), packets.size(), out, dataSize, pixelBytes);
        if (filled < dataSize) {
            ImageStreams::truncated(Categories::REZEZAZ_SCENE, READER, "decoded pixels", start, dataBytes,
                                    int64_t(filled));
        }
    }

    // Pixels that run right to left: each row turned round, whole pixels at a time.
    if ((descriptor & DESCRIPTOR_RIGHT_ORIGIN) != 0) {
        const size_t row = size_t(width) * pixelBytes;
        for (size_t y = 0; y < size_t(height); ++y) {
            unsigned char* line = out + y * row;
            for (size_t left = 0, right = size_t(width) - 1; left < right; ++left, --right) {
                std::swap_ranges(line + left * pixelBytes, line + (left + 1) * pixelBytes, line + right * pixelBytes);
            }
        }
    }
    if ((descriptor & DESCRIPTOR_TOP_ORIGIN) != 0) {
        const size_t row = size_t(width) * pixelBytes;
        std::vector<unsigned char> swap(row);
        for (size_t top = 0, bottom = size_t(height) - 1; top < bottom; ++top, --bottom) {
            std::memcpy(swap.data(), out + top * row, row);
            std::memcpy(out + top * row, out + bottom * row, row);
            std::memcpy(out + bottom * row, swap.data(), row);
        }
    }
    return image;
}

} // namespace rezezaz::scene
