#include "content/SkyBoxMaterialCreator.h"

#include "content/MaterialSteps.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/SharedPointer.h"
#include "render/FogState.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/material/MVPMatrixVariable.h"
#include "scene/material/MaterialTrackColorVariable.h"
#include "scene/material/RenderPass.h"
#include "scene/material/TextureMatrixVariable.h"

namespace rezezaz::scene {

namespace {

using namespace material;

constexpr int SCOPE_MATERIAL = MaterialSteps::SCOPE_MATERIAL;
constexpr int SCOPE_RENDERABLE = MaterialSteps::SCOPE_RENDERABLE;
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
    ShaderManager* shaders = engine->getShaderManager();
    skyBoxVertexShader = MaterialSteps::createShader(shaders, VERTEX, SKY_BOX_VERTEX_GLSL, SKY_BOX_VERTEX_HLSL);
    skyBoxFragmentShader =
        MaterialSteps::createShader(shaders, FRAGMENT, SKY_BOX_FRAGMENT_GLSL, SKY_BOX_FRAGMENT_HLSL);
    skyBoxShaderState =
        MaterialSteps::createShaderState(engine->getMaterialManager(), skyBoxVertexShader, skyBoxFragmentShader);
}

void SkyBoxMaterialCreator::destroyShaders()
{
    MaterialSteps::destroyAll<render::Shader>({&skyBoxVertexShader, &skyBoxFragmentShader});
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
            state->setDepthState(MaterialSteps::readOnlyDepthState());

            render::MaterialState material = MaterialSteps::defaultMaterialState();
            material.light = false;
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
    if (skyBoxShaderState && MaterialSteps::hasShaders(caps)) {
        RenderPass* pass = material->addPath("shader")->addPass(renderState, skyBoxShaderState.get());
        pass->addVariable("modelViewProjectionMatrix", MaterialSteps::variable<MVPMatrixVariable>(),
                          SCOPE_RENDERABLE);
        pass->addVariable("textureMatrix",
                          core::SharedPointer<RenderVariable>(new TextureMatrixVariable("tex")),
                          SCOPE_MATERIAL);
        pass->addVariable("materialTrackColor", MaterialSteps::variable<MaterialTrackColorVariable>(),
                          SCOPE_MATERIAL);
        pass->setTexture("tex", texture, "samp", samplerState, textureState);
    }
    if (MaterialSteps::hasFixed(caps)) {
        RenderPass* pass = material->addPath("fixed")->addPass(renderState, nullptr);
        MaterialSteps::setFixedTexture(pass, texture, "tex", samplerState, textureState);
    }
    return true;
}

} // namespace rezezaz::scene
