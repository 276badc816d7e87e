#pragma once

#include "content/DecodedImage.h"
#include "core/io/Stream.h"

namespace rezezaz::scene {

// Decodes a PNG, or else a JPEG, through the platform's decoders into one level of RGBA pixels
// (0x108) premultiplied by alpha, bottom row first. The platform texture streamer wraps it.
class PlatformImage
{
public:
    PlatformImage() = delete;

    // Raises Error::nullPointer "Stream is NULL" and Error::unknown "error loading image" (scene
    // category) when the bytes are neither; a PNG or JPEG that is cut off, damaged, or larger than
    // maxBytes of pixels or the largest texture side is refused with that text followed by what is
    // wrong (": PNG file is truncated: W x H pixels expected"), before its pixels are allocated when
    // it is too large.
    static DecodedImage decode(core::io::Stream* stream, int64_t maxBytes = ImageLimits::MAX_BYTES);
};

} // namespace rezezaz::scene
