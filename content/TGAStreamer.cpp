#include "content/TGAStreamer.h"

#include "content/TGACodec.h"
#include "render/Texture.h"
#include "scene/ResourceData.h"
#include "scene/TextureManager.h"

namespace rezezaz::scene {

TGAStreamer::TGAStreamer(TextureManager* textureManager) : textureManager_(textureManager) {}

core::IntrusivePointer<core::Resource> TGAStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                         ResourceData* data, ProgressListener*)
{
    DecodedImage image = TGACodec::read(stream.get());
    return textureManager_->createTexture(data != nullptr ? data->usage : 0, image.format, image.levels[0].data());
}

} // namespace rezezaz::scene
