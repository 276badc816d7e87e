#include "content/SkyBoxMaterialCreator.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Exception.h"
#include "core/SharedPointer.h"
#include "render/DepthState.h"
#include "render/FogState.h"
#include "render/MaterialState.h"
#include "render/RenderCaps.h"
#include "render/SamplerState.h"
#include "render/TextureState.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/ShaderManager.h"
#include "scene/material/MVPMatrixVariable.h"
#include "scene/material/MaterialTrackColorVariable.h"
#include "scene/material/RenderPass.h"
#include "scene/material/TextureMatrixVariable.h"

namespace rezezaz::scene {

namespace {

using namespace material;

constexpr int SCOPE_MATERIAL = 1;
constexpr int SCOPE_RENDERABLE = 2;
constexpr render::Shader::ShaderType VERTEX = render::Shader::ShaderType_VERTEX;
constexpr render::Shader::ShaderType FRAGMENT = render::Shader::ShaderType_FRAGMENT;

const char* const SKY_BOX_VERTEX_GLSL = R"(attribute vec4 POSITION;
attribute vec4 COLOR;
attribute vec2 TEXCOORD0;

uniform mat4 modelViewProjectionMatrix;
uniform mat4 textureMatrix;
uniform float materialTrackColor;

varying vec4 color;
varying vec2 texCoord;

void main()
{
    gl_Position = modelViewProjectionMatrix * POSITION;
    color = COLOR * materialTrackColor + (1.0 - materialTrackColor);
    texCoord = (textureMatrix * vec4(TEXCOORD0, 0.0, 1.0)).xy;
}
)";

const char* const SKY_BOX_VERTEX_HLSL = R"(float4x4 modelViewProjectionMatrix;
float4x4 textureMatrix;
float materialTrackColor;

struct VertexInput
{
    float4 position : POSITION;
    float4 color : COLOR;
    float2 texCoord : TEXCOORD0;
};

struct VertexOutput
{
    float4 position : SV_POSITION;
    float4 color : COLOR;
    float2 texCoord : TEXCOORD0;
};

VertexOutput main(VertexInput input)
{
    VertexOutput output;
    output.position = mul(modelViewProjectionMatrix, input.position);
    output.color = input.color * materialTrackColor + (1.0 - materialTrackColor);
    output.texCoord = mul(textureMatrix, float4(input.texCoord, 0.0, 1.0)).xy;
    return output;
}
)";

const char* const SKY_BOX_FRAGMENT_GLSL = R"(#ifdef GL_ES
precision mediump float;
#endif

varying vec4 color;
varying vec2 texCoord;

uniform sampler2D tex;

void main()
{
    gl_FragColor = color * texture2D(tex, texCoord);
}
)";

const char* const SKY_BOX_FRAGMENT_HLSL = R"(Texture2D tex;
SamplerState samp;

struct VertexOutput
{
    float4 position : SV_POSITION;
    float4 color : COLOR;
    float2 texCoord : TEXCOORD0;
};

float4 main(VertexOutput input) : SV_TARGET
{
    return input.color * tex.Sample(samp, input.texCoord);
}
)";

template <class T> core::SharedPointer<RenderVariable> variable()
{
    return core::SharedPointer<RenderVariable>(new T());
}

} // namespace

SkyBoxMaterialCreator::SkyBoxMaterialCreator(Engine* engine_) : engine(engine_)
{
    createShaders();
}

void SkyBoxMaterialCreator::destroy()
{
    destroyShaders();
}

core::IntrusivePointer<core::Resource> SkyBoxMaterialCreator::create(const core::String&, ResourceData*,
                                                                     ProgressListener*)
{
    core::Error::unimplemented(core::Categories::REZEZAZ_SCENE, true,
                               "SkyBoxMaterialCreator::create unimplemented");
}

void SkyBoxMaterialCreator::createShaders()
{
    destroyShaders();
    skyBoxVertexShader = createShader(VERTEX, SKY_BOX_VERTEX_GLSL, SKY_BOX_VERTEX_HLSL);
    skyBoxFragmentShader = createShader(FRAGMENT, SKY_BOX_FRAGMENT_GLSL, SKY_BOX_FRAGMENT_HLSL);
    skyBoxShaderState = engine->getMaterialManager()->createShaderState();
    if (skyBoxShaderState) {
        skyBoxShaderState->setShader(VERTEX, skyBoxVertexShader);
        skyBoxShaderState->setShader(FRAGMENT, skyBoxFragmentShader);
    }
}

void SkyBoxMaterialCreator::destroyShaders()
{
    for (core::IntrusivePointer<render::Shader>* shader : {&skyBoxVertexShader, &skyBoxFragmentShader}) {
        if (*shader) {
            core::IntrusivePointer<render::Shader> held = *shader;
            *shader = nullptr;
            held->destroy();
        }
    }
}

core::IntrusivePointer<Material> SkyBoxMaterialCreator::createSkyBoxMaterial(render::Texture* texture,
                                                                             bool clamp,
                                                                             render::RenderState* renderState)
{
    MaterialManager* materials = engine->getMaterialManager();
    core::IntrusivePointer<Material> result = materials->createMaterial();

    core::IntrusivePointer<render::RenderState> state = renderState;
    if (!state) {
        state = materials->createRenderState();
        if (state) {
            render::DepthState depth;
            depth.test = render::DepthState::DepthTest_LESS_EQUAL;
            depth.write = false;
            state->setDepthState(depth);

            render::MaterialState material;
            material.light = false;
            material.trackColor = false;
            material.shade = render::MaterialState::ShadeType_GOURAUD;
            material.normalize = render::MaterialState::Normalize_RESCALE;
            material.ambient = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
            material.diffuse = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
            material.specular = core::math::Vector4(1.0f, 1.0f, 1.0f, 1.0f);
            material.shininess = 1.0f;
            material.emissive = core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f);
            material.alphaTest = render::MaterialState::AlphaTest_NONE;
            material.alphaCutoff = 0.5f;
            state->setMaterialState(material);

            render::FogState fog;
            fog.fogType = render::FogState::FogType_NONE;
            fog.density = 0.0f;
            fog.nearDistance = 0.0f;
            fog.farDistance = 1.0f;
            fog.color = core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f);
            state->setFogState(fog);
        }
    }

    createPaths(result.get(), state.get(), texture, clamp);
    result->setSort(Material::Sort_NEVER);
    // Before the default layer 0: the sky is drawn first.
    result->setLayer(-1);
    result->compile();
    materials->manage(result.get(), core::String());
    return result;
}

bool SkyBoxMaterialCreator::createPaths(Material* material, render::RenderState* renderState,
                                        render::Texture* texture, bool clamp)
{
    render::SamplerState samplerState = engine->getMaterialManager()->getDefaultSamplerState();
    if (clamp) {
        samplerState.uAddress = render::SamplerState::AddressType_CLAMP_TO_EDGE;
        samplerState.vAddress = render::SamplerState::AddressType_CLAMP_TO_EDGE;
        samplerState.wAddress = render::SamplerState::AddressType_CLAMP_TO_EDGE;
    }
    if (renderState != nullptr) {
        // A sampler of the render state's own wins over the clamp request.
        renderState->getSamplerState(FRAGMENT, 0, samplerState);
    }
    render::TextureState textureState;
    textureState.calculation = render::TextureState::CalculationType_NORMAL;

    const render::RenderCaps& caps = engine->getRenderCaps();
    if (skyBoxShaderState && caps.hasShader[VERTEX] && caps.hasShader[FRAGMENT]) {
        RenderPass* pass = material->addPath("shader")->addPass(renderState, skyBoxShaderState.get());
        pass->addVariable("modelViewProjectionMatrix", variable<MVPMatrixVariable>(), SCOPE_RENDERABLE);
        pass->addVariable("textureMatrix",
                          core::SharedPointer<RenderVariable>(new TextureMatrixVariable("tex")),
                          SCOPE_MATERIAL);
        pass->addVariable("materialTrackColor", variable<MaterialTrackColorVariable>(), SCOPE_MATERIAL);
        pass->setTexture("tex", texture, "samp", samplerState, textureState);
    }
    if (caps.hasFixed[VERTEX] && caps.hasFixed[FRAGMENT]) {
        RenderPass* pass = material->addPath("fixed")->addPass(renderState, nullptr);
        pass->setTexture(FRAGMENT, 0, texture, samplerState, textureState);
        pass->setTextureLocationName(FRAGMENT, 0, "tex");
    }
    return true;
}

core::IntrusivePointer<render::Shader> SkyBoxMaterialCreator::createShader(render::Shader::ShaderType type,
                                                                           const char* glsl, const char* hlsl)
{
    const core::String profiles[2] = {"glsl", "hlsl"};
    const core::String codes[2] = {glsl, hlsl};
    try {
        return engine->getShaderManager()->createShader(type, profiles, codes, 2);
    } catch (const core::Exception&) {
        // Logged by its thrower; the slot stays empty.
        return nullptr;
    }
}

} // namespace rezezaz::scene
