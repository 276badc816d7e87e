#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/RenderState.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "render/Texture.h"
#include "scene/ResourceCreator.h"
#include "scene/material/Material.h"

namespace rezezaz::scene {

class Engine;

// Makes the material of a sky box or sky dome: one texture, optionally clamped at its edges, unlit,
// unfogged, never depth-sorted and in layer -1 so that it is drawn before everything else. It has a
// shader path "shader", drawn by the programs this creator owns, and a fixed-function path "fixed",
// each only where the engine's capabilities allow it. The engine makes one while it installs its
// handlers and keeps it for its life; the materials share the creator's shader state.
class SkyBoxMaterialCreator : public core::Object, public ResourceCreator
{
public:
    explicit SkyBoxMaterialCreator(Engine* engine);

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    // Destroys the shaders; the shader state is kept (with empty shaders) until the creator goes.
    void destroy() override;
    // Sky-box materials are not made by name: raises "SkyBoxMaterialCreator::create unimplemented".
    core::IntrusivePointer<core::Resource> create(const core::String& name, ResourceData* data,
                                                  ProgressListener* listener) override;

    // Destroys the shaders held, makes them anew and replaces the shader state by one holding them.
    void createShaders();
    void destroyShaders();

    // Texture and render state may be null. A given render state is shared by the passes and gets no
    // depth, material or fog settings; without one the material gets its own. Managed by the material
    // manager without a name.
    core::IntrusivePointer<material::Material> createSkyBoxMaterial(render::Texture* texture, bool clamp,
                                                                    render::RenderState* renderState);
    bool createPaths(material::Material* material, render::RenderState* renderState, render::Texture* texture,
                     bool clamp);

    render::Shader* getSkyBoxVertexShader() const { return skyBoxVertexShader.get(); }
    render::Shader* getSkyBoxFragmentShader() const { return skyBoxFragmentShader.get(); }
    render::ShaderState* getSkyBoxShaderState() const { return skyBoxShaderState.get(); }

private:
    Engine* engine;
    core::IntrusivePointer<render::Shader> skyBoxVertexShader;
    core::IntrusivePointer<render::Shader> skyBoxFragmentShader;
    core::IntrusivePointer<render::ShaderState> skyBoxShaderState;
};

} // namespace rezezaz::scene
