#pragma once

#include "core/io/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rezezaz::scene {

// The platform's image decoders on Linux: libpng and libjpeg-turbo, drawing an image into a bitmap
// of 8-bit red, green, blue and alpha with the colours premultiplied by alpha. Rows are written
// straight to their place in a texture, the bottom row of the image first, so that the bitmap's
// pixels can become the texture's level as they are. The platform texture streamer is written
// against it.
class LinuxImageDecoder
{
public:
    struct Bitmap
    {
        int width = 0;
        int height = 0;
        // height rows of width x 4 bytes, the image's bottom row first.
        std::vector<unsigned char> pixels;
        // Bits of each sample, as the header states them.
        int sampleBits = 8;
    };

    enum class Result
    {
        // The bitmap holds the whole image.
        Decoded,
        // The bytes are not an image of this kind that the decoder reads.
        NotThisKind,
        // The image is of this kind, but larger than maxBytes of pixels or than the readers take;
        // nothing was allocated for it.
        TooLarge,
        // The data end before the whole image is decoded.
        Truncated,
        // The data are damaged past the header.
        Damaged,
        // The image is of this kind, but its samples have a precision other than 8 bits (told in
        // the bitmap's sampleBits); nothing was allocated for it.
        UnsupportedPrecision,
    };

    LinuxImageDecoder() = delete;

    // Each reads the stream from its current position. Unless the result is Decoded the bitmap is
    // left empty, but for its width and height when the header was read. JPEGs in CMYK (or YCCK)
    // are converted to RGB; Adobe's files, which store the inks inverted, are told by their marker.
    static Result decodePNG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes);
    static Result decodeJPEG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes);

    // (c x a + 127) / 255 on the colour channels of count RGBA pixels.
    static void premultiply(unsigned char* pixels, std::size_t count);
};

} // namespace rezezaz::scene
