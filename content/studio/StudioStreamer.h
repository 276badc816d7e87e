#pragma once

#include "content/studio/StudioModel.h"
#include "core/Object.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {
class Engine;
}

namespace rezezaz::scene::studio {

// Reads "IDST" and "IDSQ" studio model files (header layout of version 10) into a StudioModel. Every
// record the file points to is checked against its bytes before it is followed, so a damaged or
// partial file is refused instead of read past its end. The engine registers it with its
// studio-model manager, which owns it.
class StudioStreamer : public core::Object, public ResourceStreamer
{
public:
    // One texture record, 80 bytes as stored.
    struct studiotexture
    {
        char name[64];
        int32_t flags;
        int32_t width;
        int32_t height;
        int32_t index;
    };

    static constexpr int32_t FLAG_FLATSHADE = 1;
    static constexpr int32_t FLAG_CHROME = 2;
    // Set by this reader in the flags of bones that chrome meshes use.
    static constexpr int32_t BONE_CHROME = 8;

    explicit StudioStreamer(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }

    // The StudioModel; the engine's error for a null stream, a foreign file or one whose records lie
    // outside it.
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

    void buildBuffers(StudioModel* model);
    void buildTextures(StudioModel* model);
    void buildMaterials(StudioModel* model);
    // An RGB texture of width × height indices (rows in file order) through a 256-colour palette,
    // named after the record.
    core::IntrusivePointer<render::Texture> createTexture(const studiotexture* texture, const unsigned char* indices,
                                                          const unsigned char* palette);

private:
    Engine* engine_;
};

static_assert(sizeof(StudioStreamer::studiotexture) == 80, "a texture record is read as stored");

} // namespace rezezaz::scene::studio
