#include "content/OSXTextureStreamer.h"

#include "content/PlatformImage.h"
#include "render/Texture.h"
#include "scene/ResourceData.h"
#include "scene/TextureManager.h"

namespace rezezaz::scene {

OSXTextureStreamer::OSXTextureStreamer(TextureManager* textureManager) : textureManager_(textureManager) {}

core::IntrusivePointer<core::Resource> OSXTextureStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                         ResourceData* data, ProgressListener*)
{
    DecodedImage image = PlatformImage::decode(stream.get());
    return textureManager_->createTexture(data != nullptr ? data->usage : 0, image.format, image.levels[0].data());
}

} // namespace rezezaz::scene
