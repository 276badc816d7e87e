#pragma once

#include "content/studio/SpriteModel.h"
#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {
class Engine;
}

namespace rezezaz::scene::studio {

// Reads palettised "IDSP" sprite files of version 2 into a SpriteModel: one texture and one diffuse
// material per frame. Every frame, and the palette of 256 colours its indices need, is checked
// against the file before a byte of it is read. The engine registers it with its sprite-model
// manager, which owns it.
class SpriteStreamer : public core::Object, public ResourceStreamer
{
public:
    explicit SpriteStreamer(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The SpriteModel; the engine's error for a null stream, a foreign file or one that claims
    // more than it holds.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

    void buildTextures(SpriteModel* model);
    void buildMaterials(SpriteModel* model);
    // The frame's texture, rows turned bottom first; indices hold width × height bytes.
    core::IntrusivePointer<render::Texture> createTexture(SpriteModel* model, const SpriteModel::spriteframe* frame,
                                                          const unsigned char* indices, const unsigned char* palette);

private:
    Engine* engine_;
};

} // namespace rezezaz::scene::studio
