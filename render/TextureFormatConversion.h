#pragma once

#include "render/TextureFormat.h"

namespace rezezaz::render {

// Copies a box of pixels from one memory block to another, converting between pixel formats on the
// way. Stateless.
class TextureFormatConversion
{
public:
    TextureFormatConversion() = delete;

    // Copies the box that srcFormat describes from src to dst, whose layout dstFormat gives (only its
    // pixel format and pitches are used). Both pointers address the first pixel of the box; a
    // negative row pitch stores the rows bottom-up. Returns true; raises Error::unknown when the
    // pair of formats has no conversion. A box that does not fit within its format's data size
    // (zPitch) on either side is refused with false, and nothing is read or written.
    static bool convert(unsigned char* src, const TextureFormat* srcFormat, unsigned char* dst,
                        const TextureFormat* dstFormat);
    // True when convert handles the pair.
    static bool canConvert(int srcPixelFormat, int dstPixelFormat);
};

} // namespace rezezaz::render
