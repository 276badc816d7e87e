#pragma once

#include "core/io/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rezezaz::scene {

// The platform's image decoders on Linux: libpng and libjpeg-turbo, drawing an image into a bitmap
// of 8-bit red, green, blue and alpha with the colours premultiplied by alpha, first row the top of
// the image. The platform texture streamer is written against it.
class LinuxImageDecoder
{
public:
    struct Bitmap
    {
        int width = 0;
        int height = 0;
        // height rows of width x 4 bytes.
        std::vector<unsigned char> pixels;
    };

    LinuxImageDecoder() = delete;

    // Each reads the stream from its current position and returns false when the bytes are not an
    // image of its kind it can decode (a bad signature, damaged data, a CMYK JPEG, an image larger
    // than maxBytes of pixels or than the readers take); the bitmap is then left empty. A stream
    // that ends early leaves the rest of the image as the decoder fills it.
    static bool decodePNG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes);
    static bool decodeJPEG(core::io::Stream* stream, Bitmap& bitmap, int64_t maxBytes);

    // (c x a + 127) / 255 on the colour channels of count RGBA pixels.
    static void premultiply(unsigned char* pixels, std::size_t count);
};

} // namespace rezezaz::scene
