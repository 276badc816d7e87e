#pragma once

#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class TextureManager;

// Reads uncompressed BMP images into 2D RGB or RGBA textures and writes 2D RGB and RGBA textures as
// BMP files (the file work is BMPCodec's).
// The engine registers it with its texture manager, which owns it; the streamer keeps a plain
// pointer back to that manager, through which it creates its textures.
class BMPStreamer : public core::Object, public ResourceStreamer
{
public:
    explicit BMPStreamer(TextureManager* textureManager);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The texture, made with the usage the resource data carry (0 without them); the reader's
    // error when the file is refused.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;
    // Writes a 2D RGB or RGBA texture; false for a resource that is not a texture or a stream that
    // takes fewer bytes.
    bool save(core::IntrusivePointer<core::io::Stream> stream, core::IntrusivePointer<core::Resource> resource,
              ResourceData* data, ProgressListener* listener) override;

private:
    TextureManager* textureManager_;
};

} // namespace rezezaz::scene
