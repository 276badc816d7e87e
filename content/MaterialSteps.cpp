#include "content/MaterialSteps.h"

#include "core/Exception.h"
#include "core/String.h"
#include "scene/MaterialManager.h"
#include "scene/ShaderManager.h"

namespace rezezaz::scene {

core::IntrusivePointer<render::Shader> MaterialSteps::createShader(ShaderManager* shaders,
                                                                   render::Shader::ShaderType type, const char* glsl,
                                                                   const char* hlsl)
{
    const core::String profiles[2] = {"glsl", "hlsl"};
    const core::String codes[2] = {glsl, hlsl};
    try {
        return shaders->createShader(type, profiles, codes, 2);
    } catch (const core::Exception&) {
        // Logged by its thrower; the shader's slot stays empty and no shader path uses it.
        return nullptr;
    }
}

core::IntrusivePointer<render::ShaderState>
MaterialSteps::createShaderState(MaterialManager* materials, const core::IntrusivePointer<render::Shader>& vertexShader,
                                 const core::IntrusivePointer<render::Shader>& fragmentShader)
{
    core::IntrusivePointer<render::ShaderState> state = materials->createShaderState();
    if (state) {
        state->setShader(render::Shader::ShaderType_VERTEX, vertexShader);
        state->setShader(render::Shader::ShaderType_FRAGMENT, fragmentShader);
    }
    return state;
}

bool MaterialSteps::hasShaders(const render::RenderCaps& caps, bool geometry)
{
    return caps.hasShader[render::Shader::ShaderType_VERTEX] && caps.hasShader[render::Shader::ShaderType_FRAGMENT] &&
           (!geometry || caps.hasShader[render::Shader::ShaderType_GEOMETRY]);
}

bool MaterialSteps::hasFixed(const render::RenderCaps& caps, bool geometry)
{
    return caps.hasFixed[render::Shader::ShaderType_VERTEX] && caps.hasFixed[render::Shader::ShaderType_FRAGMENT] &&
           (!geometry || caps.hasFixed[render::Shader::ShaderType_GEOMETRY]);
}

render::MaterialState MaterialSteps::defaultMaterialState()
{
    render::MaterialState state;
    state.light = true;
    state.trackColor = false;
    state.shade = render::MaterialState::ShadeType_GOURAUD;
    state.normalize = render::MaterialState::Normalize_RESCALE;
    state.ambient = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    state.diffuse = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    state.specular = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    state.shininess = 1.0f;
    state.emissive = core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f);
    state.alphaTest = render::MaterialState::AlphaTest_NONE;
    state.alphaCutoff = 0.5f;
    return state;
}

render::DepthState MaterialSteps::readOnlyDepthState()
{
    render::DepthState depth;
    depth.test = render::DepthState::DepthTest_LESS_EQUAL;
    depth.write = false;
    return depth;
}

render::RasterizerState MaterialSteps::solidRasterizerState(render::RasterizerState::CullType cull)
{
    render::RasterizerState rasterizer;
    rasterizer.cull = cull;
    rasterizer.fill = render::RasterizerState::FillType_SOLID;
    rasterizer.depthBiasConstant = 0.0f;
    rasterizer.depthBiasSlope = 0.0f;
    rasterizer.multisample = false;
    rasterizer.dither = false;
    rasterizer.lineSize = 1.0f;
    return rasterizer;
}

void MaterialSteps::setFixedTexture(material::RenderPass* pass, render::Texture* texture, const char* locationName,
                                    const render::SamplerState& samplerState,
                                    const render::TextureState& textureState)
{
    pass->setTexture(render::Shader::ShaderType_FRAGMENT, 0, texture, samplerState, textureState);
    pass->setTextureLocationName(render::Shader::ShaderType_FRAGMENT, 0, locationName);
}

} // namespace rezezaz::scene
