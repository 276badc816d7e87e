#pragma once

#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class TextureManager;

// Opens a WAD2 or WAD3 file as a texture archive on the engine's texture manager. The engine
// registers it with its archive manager, which owns it.
class WADStreamer : public core::Object, public ResourceStreamer
{
public:
    explicit WADStreamer(TextureManager* textureManager);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The opened WADArchive; the archive's error when the file is refused.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

private:
    TextureManager* textureManager_;
};

} // namespace rezezaz::scene
