#pragma once

#include "content/DecodedImage.h"
#include "core/io/Stream.h"

namespace rezezaz::scene {

// Reads DirectDraw Surface files holding DXT1, DXT3 or DXT5 block-compressed 2D textures with their
// mip levels, largest first, each level kept as the file's blocks. The DDS streamer wraps it.
class DDSCodec
{
public:
    DDSCodec() = delete;

    // Raises Error::nullPointer "Stream is NULL" and Error::unknown "bad magic number", "invalid
    // format or caps", "incorrect size" (core category). A file of another pixel format is only
    // logged as an alert ("Other palette", "Other type") and gives an image without format.
    // A file that does not hold the header or every level its header declares is refused as
    // truncated, before any level is allocated when the stream tells its length.
    static DecodedImage read(core::io::Stream* stream, int64_t maxBytes = ImageLimits::MAX_BYTES);
};

} // namespace rezezaz::scene
