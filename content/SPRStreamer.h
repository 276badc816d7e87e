#pragma once

#include "content/studio/SpriteStreamer.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class Engine;

// Loads a sprite file as a plain texture: the texture of its first frame. The engine registers it
// with its texture manager, which owns it; it reads through a sprite streamer of its own.
class SPRStreamer : public core::Object, public ResourceStreamer
{
public:
    explicit SPRStreamer(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The first frame's texture; null for a sprite without frames, the sprite reader's error for a
    // file it refuses.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

private:
    core::IntrusivePointer<studio::SpriteStreamer> spriteStreamer_;
};

} // namespace rezezaz::scene
