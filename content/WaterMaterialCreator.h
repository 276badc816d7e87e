#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/Vector4.h"
#include "render/RenderState.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "render/Texture.h"
#include "scene/ResourceCreator.h"
#include "scene/material/Material.h"

namespace rezezaz::scene {

class Engine;

// Makes water surface materials for horizontal water in a z-up world: a screen-space reflection and
// refraction read from textures the caller renders, perturbed by a wave normal map, mixed by a
// Fresnel term, dulled toward dark blue, lit by one specular highlight and fogged. A shader path and a
// fixed-function path (the wave texture alone), both unnamed, each only where the engine's
// capabilities allow it. The engine makes one while it installs its handlers and keeps it for its
// life; the materials share the creator's shader state.
class WaterMaterialCreator : public core::Object, public ResourceCreator
{
public:
    explicit WaterMaterialCreator(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    // Keeps everything: the shaders live as long as the creator.
    void destroy() override {}
    // A water material without textures, carrying the name.
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Any texture may be null; its slot is bound all the same. The Vector4 is accepted and has no
    // effect. Managed by the material manager without a name.
    core::IntrusivePointer<material::Material> createWaterMaterial(render::Texture* reflectTexture,
                                                                   render::Texture* refractTexture,
                                                                   render::Texture* waveTexture,
                                                                   const core::math::Vector4& unused);
    bool createPaths(material::Material* material, render::RenderState* renderState,
                     render::Texture* reflectTexture, render::Texture* refractTexture,
                     render::Texture* waveTexture);

    render::Shader* getWaterVertexShader() const { return waterVertexShader.get(); }
    render::Shader* getWaterFragmentShader() const { return waterFragmentShader.get(); }
    render::ShaderState* getWaterShaderState() const { return waterShaderState.get(); }

private:
    Engine* engine;
    core::IntrusivePointer<render::Shader> waterVertexShader;
    core::IntrusivePointer<render::Shader> waterFragmentShader;
    core::IntrusivePointer<render::ShaderState> waterShaderState;
};

} // namespace rezezaz::scene
