#include "content/PlatformImage.h"

#include "content/linux/LinuxImageDecoder.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "render/TextureFormat.h"

#include <utility>

namespace rezezaz::scene {

namespace {

using Result = LinuxImageDecoder::Result;

[[noreturn]] void refuse(Result result, const char* kind, const LinuxImageDecoder::Bitmap& bitmap)
{
    core::String text("error loading image");
    const core::String size = core::String() + bitmap.width + " x " + bitmap.height + " pixels";
    if (result == Result::Truncated) {
        text += core::String(": ") + kind + " file is truncated" +
                (bitmap.width > 0 ? core::String(": ") + size + " expected" : core::String(" in its header"));
    } else if (result == Result::TooLarge) {
        text += core::String(": ") + kind + " of " + size + " is larger than a texture holds";
    } else if (result == Result::Damaged) {
        text += core::String(": ") + kind + " data are damaged";
    } else if (result == Result::UnsupportedPrecision) {
        text += core::String(": ") + kind + " file has " + bitmap.sampleBits + "-bit samples, which are not supported";
    }
    core::Error::unknown(core::Categories::REZEZAZ_SCENE, true, text);
}

} // namespace

DecodedImage PlatformImage::decode(core::io::Stream* stream, int64_t maxBytes)
{
    if (stream == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_SCENE, true, "Stream is NULL");
    }
    const int start = stream->position();
    LinuxImageDecoder::Bitmap bitmap;
    Result result = LinuxImageDecoder::decodePNG(stream, bitmap, maxBytes);
    const char* kind = "PNG";
    if (result == Result::NotThisKind) {
        // Both decoders read the same bytes: back to where the first one started.
        stream->reset();
        if (start > 0) {
            stream->seek(start);
        }
        result = LinuxImageDecoder::decodeJPEG(stream, bitmap, maxBytes);
        kind = "JPEG";
    }
    if (result != Result::Decoded) {
        refuse(result, kind, bitmap);
    }

    DecodedImage image;
    image.format = new render::TextureFormat(render::TextureFormat::Dimension_2D, render::TextureFormat::Format_RGBA_8,
                                             bitmap.width, bitmap.height, 1, 0);
    // The decoders write the rows bottom first, where the texture wants them: the bitmap becomes
    // the level as it is.
    image.levels.push_back(std::move(bitmap.pixels));
    return image;
}

} // namespace rezezaz::scene
