#pragma once

#include "content/DecodedImage.h"
#include "core/io/Stream.h"
#include "render/TextureFormat.h"

namespace rezezaz::scene {

// Reads uncompressed Windows BMP images (1, 2, 4, 8, 24 and 32 bits a pixel, 40-byte information
// header, bottom-up rows) into RGB or RGBA pixels, and writes RGB and RGBA pixels as BMP files.
// Rows keep the file's order, so the bottom row of the image is row 0. The BMP streamer wraps it.
class BMPCodec
{
public:
    BMPCodec() = delete;

    // The image as format 0x106 (RGB), or 0x108 (RGBA) for 32-bit files, in one level. Raises
    // Error::nullPointer "Stream is NULL" and Error::unknown for files it refuses, in the scene
    // category; a file that does not hold the header, palette or pixels its header declares is
    // refused as truncated before the pixels are allocated.
    static DecodedImage read(core::io::Stream* stream, int64_t maxBytes = ImageLimits::MAX_BYTES);

    // Writes the 2D RGB or RGBA pixels of format as a 24- or 32-bit file. Raises Error::unknown
    // "texture isn't 2 dimensional" or "texture isn't in RGB/RGBA format"; returns whether every
    // byte was written.
    static bool write(core::io::Stream* stream, const render::TextureFormat& format, const unsigned char* pixels);
};

} // namespace rezezaz::scene
