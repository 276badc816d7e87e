#include "content/BMPStreamer.h"

#include "content/BMPCodec.h"
#include "render/Texture.h"
#include "render/TextureFormat.h"
#include "scene/ResourceData.h"
#include "scene/TextureManager.h"

#include <vector>

namespace rezezaz::scene {

BMPStreamer::BMPStreamer(TextureManager* textureManager) : textureManager_(textureManager) {}

core::IntrusivePointer<core::Resource> BMPStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                         ResourceData* data, ProgressListener*)
{
    DecodedImage image = BMPCodec::read(stream.get());
    return textureManager_->createTexture(data != nullptr ? data->usage : 0, image.format, image.levels[0].data());
}

bool BMPStreamer::save(core::IntrusivePointer<core::io::Stream> stream, core::IntrusivePointer<core::Resource> resource,
                       ResourceData*, ProgressListener*)
{
    auto* texture = dynamic_cast<render::Texture*>(resource.get());
    if (texture == nullptr || texture->getFormat() == nullptr) {
        return false;
    }
    const render::TextureFormat format(texture->getFormat(), -1);
    if (format.dimension == render::TextureFormat::Dimension_2D &&
        (format.pixelFormat == render::TextureFormat::Format_RGB_8 ||
         format.pixelFormat == render::TextureFormat::Format_RGBA_8) &&
        format.getDataSize() > 0) {
        std::vector<unsigned char> pixels(static_cast<size_t>(format.getDataSize()));
        render::TextureFormat box(&format, -1);
        if (!texture->read(&box, pixels.data())) {
            return false;
        }
        return BMPCodec::write(stream.get(), format, pixels.data());
    }
    // The writer names what is wrong with the texture.
    return BMPCodec::write(stream.get(), format, nullptr);
}

} // namespace rezezaz::scene
