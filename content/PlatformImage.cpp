#include "content/PlatformImage.h"

#include "content/linux/LinuxImageDecoder.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormat.h"

#include <cstring>

namespace rezezaz::scene {

DecodedImage PlatformImage::decode(core::io::Stream* stream, int64_t maxBytes)
{
    if (stream == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    const int start = stream->position();
    LinuxImageDecoder::Bitmap bitmap;
    bool decoded = LinuxImageDecoder::decodePNG(stream, bitmap, maxBytes);
    if (!decoded) {
        // Both decoders read the same bytes: back to where the first one started.
        stream->reset();
        if (start > 0) {
            stream->seek(start);
        }
        decoded = LinuxImageDecoder::decodeJPEG(stream, bitmap, maxBytes);
    }
    if (!decoded) {
        core::Error::unknown(core::Categories::REZEZAZ_SCENE, true, "error loading image");
    }

    DecodedImage image;
    image.format = new render::TextureFormat(render::TextureFormat::Dimension_2D, render::TextureFormat::Format_RGBA_8,
                                             bitmap.width, bitmap.height, 1, 0);
    image.levels.emplace_back(bitmap.pixels.size());
    // The bitmap's first row is the image's top; the texture's is its bottom.
    const size_t row = size_t(bitmap.width) * 4;
    const size_t height = size_t(bitmap.height);
    for (size_t i = 0; i < height; ++i) {
        std::memcpy(image.levels[0].data() + (height - 1 - i) * row, bitmap.pixels.data() + i * row, row);
    }
    return image;
}

} // namespace rezezaz::scene
