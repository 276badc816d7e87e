#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/Texture.h"
#include "scene/ResourceCreator.h"

namespace rezezaz::scene {

class Engine;

// Makes normalisation cube maps: every texel of the six faces holds the unit vector from the cube's
// centre towards it, packed into 8-bit RGB, so that shaders and dot-3 texture stages can normalise an
// interpolated vector by one look-up. The engine makes one while it installs its handlers and keeps
// it for its life; the textures belong to the texture manager.
class NormalizationTextureCreator : public core::Object, public ResourceCreator
{
public:
    explicit NormalizationTextureCreator(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    void destroy() override {}
    // A cube map of size 256 carrying the name (none for an empty name).
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // A cube map of size x size texels per face, managed by the texture manager without a name. Null
    // when the texture manager makes none, for a size below 1, and for one whose 18 x size x size bytes
    // do not fit in 32 bits.
    core::IntrusivePointer<render::Texture> createNormalizationTexture(int size);

private:
    Engine* engine;
};

} // namespace rezezaz::scene
