#pragma once

#include "core/IntrusivePointer.h"
#include "core/SharedPointer.h"
#include "render/DepthState.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/RenderCaps.h"
#include "render/SamplerState.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "render/Texture.h"
#include "render/TextureState.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderVariable.h"

#include <initializer_list>

namespace rezezaz::scene {

class MaterialManager;
class ShaderManager;

// The steps the engine's built-in material creators (diffuse, sky box, water) share: making their
// shaders and shader states, the render-state pieces they set alike, and binding a texture to a
// fixed-function pass.
class MaterialSteps
{
public:
    MaterialSteps() = delete;

    // The scopes the creators' variables are refreshed at.
    static constexpr int SCOPE_MATERIAL = 1;
    static constexpr int SCOPE_RENDERABLE = 2;

    // A shader from its "glsl" and "hlsl" sources; empty when the shader manager cannot make it
    // (logged by its thrower), so that no shader path uses it.
    static core::IntrusivePointer<render::Shader> createShader(ShaderManager* shaders, render::Shader::ShaderType type,
                                                               const char* glsl, const char* hlsl);
    // A shader state of the material manager holding the two shaders; empty when it makes none.
    static core::IntrusivePointer<render::ShaderState>
    createShaderState(MaterialManager* materials, const core::IntrusivePointer<render::Shader>& vertexShader,
                      const core::IntrusivePointer<render::Shader>& fragmentShader);
    // Empties each slot that holds something, then destroys what it held.
    template <class T> static void destroyAll(std::initializer_list<core::IntrusivePointer<T>*> slots)
    {
        for (core::IntrusivePointer<T>* slot : slots) {
            if (*slot) {
                core::IntrusivePointer<T> held = *slot;
                *slot = nullptr;
                held->destroy();
            }
        }
    }

    // Vertex and fragment programs (and geometry ones where asked) are there.
    static bool hasShaders(const render::RenderCaps& caps, bool geometry = false);
    // The fixed-function vertex and fragment stages (and geometry where asked) are there.
    static bool hasFixed(const render::RenderCaps& caps, bool geometry = false);

    // Lit, smooth, rescaled normals, white colours, shininess 1, no emission and no alpha test.
    static render::MaterialState defaultMaterialState();
    // Tested less-or-equal, not written.
    static render::DepthState readOnlyDepthState();
    // Solid, with that culling, no depth bias, multisampling or dithering, lines one wide.
    static render::RasterizerState solidRasterizerState(render::RasterizerState::CullType cull);

    // Binds the texture to fragment unit 0 of a fixed-function pass under that location name.
    static void setFixedTexture(material::RenderPass* pass, render::Texture* texture, const char* locationName,
                                const render::SamplerState& samplerState, const render::TextureState& textureState);

    // A new variable of type T, as a pass takes it.
    template <class T> static core::SharedPointer<material::RenderVariable> variable()
    {
        return core::SharedPointer<material::RenderVariable>(new T());
    }
};

} // namespace rezezaz::scene
