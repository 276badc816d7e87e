#pragma once

#include "content/DecodedImage.h"
#include "core/io/Stream.h"

namespace rezezaz::scene {

// Reads uncompressed (type 2) and run-length-encoded (type 10) true-colour Truevision TGA images of
// 24 or 32 bits a pixel. Pixels keep the file's channel order (BGR or BGRA); rows come bottom row
// first whichever corner the file starts from. The TGA streamer wraps it.
class TGACodec
{
public:
    TGACodec() = delete;

    // Raises Error::nullPointer "Stream is NULL" and Error::unknown "Invalid color map type", "Only
    // truecolor currently supported", "Interleaved not currently supported" and "TGAStreamer: Format
    // is N, not 1, 2, 4, 8, 24, or 32 bit" (scene category); "Interleaved" means descriptor bits 6
    // and 7, bit 5 being the origin. A file that does not hold the header or the pixels its header
    // declares is refused as truncated, before the pixels are allocated when the stream tells its
    // length.
    static DecodedImage read(core::io::Stream* stream, int64_t maxBytes = ImageLimits::MAX_BYTES);
};

} // namespace rezezaz::scene
