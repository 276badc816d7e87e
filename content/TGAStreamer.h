#pragma once

#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class TextureManager;

// Reads uncompressed and run-length-encoded true-colour TGA images into 2D BGR or BGRA textures (the
// file work is TGACodec's). It cannot write.
// The engine registers it with its texture manager, which owns it; the streamer keeps a plain
// pointer back to that manager, through which it creates its textures.
class TGAStreamer : public core::Object, public ResourceStreamer
{
public:
    explicit TGAStreamer(TextureManager* textureManager);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The texture, made with the usage the resource data carry (0 without them); the reader's
    // error when the file is refused.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

private:
    TextureManager* textureManager_;
};

} // namespace rezezaz::scene
