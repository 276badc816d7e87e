#include "content/DDSStreamer.h"

#include "content/DDSCodec.h"
#include "render/Texture.h"
#include "scene/ResourceData.h"
#include "scene/TextureManager.h"

namespace rezezaz::scene {

DDSStreamer::DDSStreamer(TextureManager* textureManager) : textureManager_(textureManager) {}

core::IntrusivePointer<core::Resource> DDSStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                         ResourceData* data, ProgressListener*)
{
    DecodedImage image = DDSCodec::read(stream.get());
    if (!image.format) {
        // A pixel format it does not read: the alert is logged, there is no texture.
        return nullptr;
    }
    std::vector<unsigned char*> levels = image.levelPointers();
    return textureManager_->createTexture(data != nullptr ? data->usage : 0, image.format, levels.data());
}

} // namespace rezezaz::scene
