#include "content/WaterMaterialCreator.h"

#include "content/MaterialSteps.h"
#include "core/SharedPointer.h"
#include "scene/Engine.h"
#include "scene/MaterialManager.h"
#include "scene/material/CameraPositionVariable.h"
#include "scene/material/FogColorVariable.h"
#include "scene/material/FogDistanceVariable.h"
#include "scene/material/LightPositionVariable.h"
#include "scene/material/LightSpecularVariable.h"
#include "scene/material/MVPMatrixVariable.h"
#include "scene/material/MaterialShininessVariable.h"
#include "scene/material/MaterialSpecularVariable.h"
#include "scene/material/ModelMatrixVariable.h"
#include "scene/material/RenderPass.h"
#include "scene/material/ScalarVariable.h"
#include "scene/material/TextureMatrixVariable.h"

namespace rezezaz::scene {

namespace {

using namespace material;

constexpr int SCOPE_MATERIAL = MaterialSteps::SCOPE_MATERIAL;
constexpr int SCOPE_RENDERABLE = MaterialSteps::SCOPE_RENDERABLE;
constexpr render::Shader::ShaderType VERTEX = render::Shader::ShaderType_VERTEX;
constexpr render::Shader::ShaderType FRAGMENT = render::Shader::ShaderType_FRAGMENT;
constexpr float WAVE_HEIGHT = 0.25f;

const char* const WATER_VERTEX_GLSL = R"(attribute vec4 POSITION;
attribute vec3 NORMAL;
attribute vec2 TEXCOORD0;

uniform mat4 modelViewProjectionMatrix;
uniform mat4 modelMatrix;
uniform mat4 waveMatrix;
uniform vec2 fogDistance;

varying float fog;
varying vec4 reflectPosition;
varying vec4 refractPosition;
varying vec2 bumpPosition;
varying vec4 positionFull;

void main()
{
    vec4 p = modelViewProjectionMatrix * POSITION;
    gl_Position = p;
    positionFull = modelMatrix * POSITION;
    reflectPosition = vec4(0.5 * (p.w - p.x), 0.5 * (p.w - p.y), p.w, 1.0);
    refractPosition = vec4(0.5 * (p.w + p.x), 0.5 * (p.w - p.y), p.w, 1.0);
    bumpPosition = (waveMatrix * vec4(TEXCOORD0, 0.0, 1.0)).xy;
    fog = clamp(1.0 - (p.z - fogDistance.x) / (fogDistance.y - fogDistance.x), 0.0, 1.0);
    // The refraction fades out over the first quarter of the fog range.
    positionFull.w = clamp(1.0 - (p.z - fogDistance.x / 4.0) / (fogDistance.y / 4.0 - fogDistance.x / 4.0), 0.0, 1.0);
}
)";

const char* const WATER_VERTEX_HLSL = R"(float4x4 modelViewProjectionMatrix;
float4x4 modelMatrix;
float4x4 waveMatrix;
float2 fogDistance;

struct VertexInput
{
    float4 position : POSITION;
    float3 normal : NORMAL;
    float2 texCoord : TEXCOORD0;
};

struct VertexOutput
{
    float4 position : SV_POSITION;
    float fog : FOG;
    float4 reflectPosition : TEXCOORD0;
    float4 refractPosition : TEXCOORD1;
    float2 bumpPosition : TEXCOORD2;
    float4 positionFull : TEXCOORD3;
};

VertexOutput main(VertexInput input)
{
    VertexOutput output;
    float4 p = mul(modelViewProjectionMatrix, input.position);
    output.position = p;
    output.positionFull = mul(modelMatrix, input.position);
    output.reflectPosition = float4(0.5 * (p.w - p.x), 0.5 * (p.w - p.y), p.w, 1.0);
    output.refractPosition = float4(0.5 * (p.w + p.x), 0.5 * (p.w - p.y), p.w, 1.0);
    output.bumpPosition = mul(waveMatrix, float4(input.texCoord, 0.0, 1.0)).xy;
    output.fog = saturate(1.0 - (p.z - fogDistance.x) / (fogDistance.y - fogDistance.x));
    output.positionFull.w = saturate(1.0 - (p.z - fogDistance.x / 4.0) / (fogDistance.y / 4.0 - fogDistance.x / 4.0));
    return output;
}
)";

// The two powers take their base as it is (the fifth power by products, so that a negative base
// stays defined) and the highlight's base no lower than 0, as pow leaves a negative base undefined.
const char* const WATER_FRAGMENT_GLSL = R"(#ifdef GL_ES
precision mediump float;
#endif

varying float fog;
varying vec4 reflectPosition;
varying vec4 refractPosition;
varying vec2 bumpPosition;
varying vec4 positionFull;

uniform vec4 fogColor;
uniform vec4 lightPosition;
uniform vec4 lightSpecular;
uniform vec4 cameraPosition;
uniform float waveHeight;
uniform vec4 materialSpecular;
uniform float materialShininess;
uniform sampler2D reflectTex;
uniform sampler2D refractTex;
uniform sampler2D waveTex;
uniform mat4 reflectMatrix;
uniform mat4 refractMatrix;

void main()
{
    vec3 n = vec3(0.0, 0.0, 1.0);
    vec3 bump = (texture2D(waveTex, bumpPosition).xyz - 0.5) * 2.0;
    vec2 perturbation = waveHeight * bump.xy;
    vec3 eye = normalize(cameraPosition.xyz - positionFull.xyz);
    float facing = 1.0 - dot(eye, bump);
    float fresnel = clamp(0.02 + 0.67 * facing * facing * facing * facing * facing, 0.0, 1.0);
    vec2 reflectCoord = reflectPosition.xy / reflectPosition.z + perturbation;
    vec2 refractCoord = refractPosition.xy / refractPosition.z + perturbation;
    reflectCoord = mod((reflectMatrix * vec4(reflectCoord, 0.0, 0.0)).xy, 1.0);
    refractCoord = mod((refractMatrix * vec4(refractCoord, 0.0, 0.0)).xy, 1.0);
    vec4 reflectColor = texture2D(reflectTex, reflectCoord);
    vec4 refractColor = texture2D(refractTex, refractCoord);
    refractColor = mix(reflectColor, refractColor, positionFull.w);
    vec4 color = mix(reflectColor, refractColor, fresnel);
    color = mix(color, vec4(0.1, 0.1, 0.2, 1.0), 0.2);
    vec3 halfVector = normalize(eye - lightPosition.xyz + vec3(4.0 * perturbation.x, 4.0 * perturbation.y, 0.0));
    color = color + lightSpecular * materialSpecular * pow(max(dot(halfVector, n), 0.0), materialShininess);
    color.a = 1.0;
    gl_FragColor = mix(fogColor, color, fog);
}
)";

const char* const WATER_FRAGMENT_HLSL = R"(float4 fogColor;
float4 lightPosition;
float4 lightSpecular;
float4 cameraPosition;
float waveHeight;
float4 materialSpecular;
float materialShininess;
Texture2D reflectTex;
Texture2D refractTex;
Texture2D waveTex;
SamplerState reflectSamp;
SamplerState refractSamp;
SamplerState bumpSamp;

struct VertexOutput
{
    float4 position : SV_POSITION;
    float fog : FOG;
    float4 reflectPosition : TEXCOORD0;
    float4 refractPosition : TEXCOORD1;
    float2 bumpPosition : TEXCOORD2;
    float4 positionFull : TEXCOORD3;
};

float4 main(VertexOutput input) : SV_TARGET
{
    float3 n = float3(0.0, 0.0, 1.0);
    float3 bump = (waveTex.Sample(bumpSamp, input.bumpPosition).xyz - 0.5) * 2.0;
    float2 perturbation = waveHeight * bump.xy;
    float3 eye = normalize(cameraPosition.xyz - input.positionFull.xyz);
    float facing = 1.0 - dot(eye, bump);
    float fresnel = saturate(0.02 + 0.67 * facing * facing * facing * facing * facing);
    float2 reflectCoord = input.reflectPosition.xy / input.reflectPosition.z + perturbation;
    float2 refractCoord = input.refractPosition.xy / input.refractPosition.z + perturbation;
    float4 reflectColor = reflectTex.Sample(reflectSamp, reflectCoord);
    float4 refractColor = refractTex.Sample(refractSamp, refractCoord);
    refractColor = lerp(reflectColor, refractColor, input.positionFull.w);
    float4 color = lerp(reflectColor, refractColor, fresnel);
    color = lerp(color, float4(0.1, 0.1, 0.2, 1.0), 0.2);
    float3 halfVector = normalize(eye - lightPosition.xyz + float3(4.0 * perturbation.x, 4.0 * perturbation.y, 0.0));
    color = color + lightSpecular * materialSpecular * pow(max(dot(halfVector, n), 0.0), materialShininess);
    color.a = 1.0;
    return lerp(fogColor, color, input.fog);
}
)";

template <class T> core::SharedPointer<RenderVariable> variable()
{
    return MaterialSteps::variable<T>();
}

core::SharedPointer<RenderVariable> textureMatrix(const char* texture)
{
    return core::SharedPointer<RenderVariable>(new TextureMatrixVariable(texture));
}

} // namespace

WaterMaterialCreator::WaterMaterialCreator(Engine* engine_) : engine(engine_)
{
    ShaderManager* shaders = engine->getShaderManager();
    waterVertexShader = MaterialSteps::createShader(shaders, VERTEX, WATER_VERTEX_GLSL, WATER_VERTEX_HLSL);
    waterFragmentShader = MaterialSteps::createShader(shaders, FRAGMENT, WATER_FRAGMENT_GLSL, WATER_FRAGMENT_HLSL);
    waterShaderState =
        MaterialSteps::createShaderState(engine->getMaterialManager(), waterVertexShader, waterFragmentShader);
}

core::IntrusivePointer<core::Resource> WaterMaterialCreator::create(const core::String& name, ResourceData*,
                                                                    ProgressListener*)
{
    core::IntrusivePointer<Material> material =
        createWaterMaterial(nullptr, nullptr, nullptr, core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f));
    material->setName(name);
    return material.get();
}

core::IntrusivePointer<Material> WaterMaterialCreator::createWaterMaterial(render::Texture* reflectTexture,
                                                                           render::Texture* refractTexture,
                                                                           render::Texture* waveTexture,
                                                                           const core::math::Vector4&)
{
    MaterialManager* materials = engine->getMaterialManager();
    core::IntrusivePointer<Material> result = materials->createMaterial();

    core::IntrusivePointer<render::RenderState> state = materials->createRenderState();
    if (state) {
        state->setDepthState(MaterialSteps::readOnlyDepthState());
        state->setRasterizerState(MaterialSteps::solidRasterizerState(render::RasterizerState::CullType_NONE));

        render::MaterialState material = MaterialSteps::defaultMaterialState();
        material.ambient = core::math::Vector4(0.0f, 0.0f, 0.0f, 0.0f);
        material.shininess = 128.0f;
        state->setMaterialState(material);
    }

    createPaths(result.get(), state.get(), reflectTexture, refractTexture, waveTexture);
    result->compile();
    return result;
}

bool WaterMaterialCreator::createPaths(Material* material, render::RenderState* renderState,
                                       render::Texture* reflectTexture, render::Texture* refractTexture,
                                       render::Texture* waveTexture)
{
    const render::SamplerState& defaults = engine->getMaterialManager()->getDefaultSamplerState();
    // The screen-space images clamp across, the waves repeat.
    render::SamplerState screenSampler = defaults;
    screenSampler.minFilter = screenSampler.mipFilter = screenSampler.magFilter =
        render::SamplerState::FilterType_LINEAR;
    screenSampler.uAddress = render::SamplerState::AddressType_CLAMP_TO_EDGE;
    screenSampler.vAddress = render::SamplerState::AddressType_CLAMP_TO_EDGE;
    screenSampler.wAddress = render::SamplerState::AddressType_REPEAT;
    render::SamplerState waveSampler = defaults;
    waveSampler.minFilter = waveSampler.mipFilter = waveSampler.magFilter =
        render::SamplerState::FilterType_LINEAR;
    waveSampler.uAddress = waveSampler.vAddress = waveSampler.wAddress =
        render::SamplerState::AddressType_REPEAT;
    const render::TextureState textureState;

    const render::RenderCaps& caps = engine->getRenderCaps();
    if (waterShaderState && MaterialSteps::hasShaders(caps)) {
        RenderPass* pass = material->addPath(core::String())->addPass(renderState, waterShaderState.get());
        pass->addVariable("modelViewProjectionMatrix", variable<MVPMatrixVariable>(), SCOPE_RENDERABLE);
        pass->addVariable("modelMatrix", variable<ModelMatrixVariable>(), SCOPE_RENDERABLE);
        pass->addVariable("fogDistance", variable<FogDistanceVariable>(), SCOPE_MATERIAL);
        pass->addVariable("fogColor", variable<FogColorVariable>(), SCOPE_MATERIAL);
        pass->addVariable("cameraPosition", variable<CameraPositionVariable>(), SCOPE_MATERIAL);
        pass->addVariable("lightPosition", variable<LightPositionVariable>(), SCOPE_RENDERABLE);
        pass->addVariable("lightSpecular", variable<LightSpecularVariable>(), SCOPE_RENDERABLE);
        pass->addVariable("waveHeight", core::SharedPointer<RenderVariable>(new ScalarVariable(WAVE_HEIGHT)),
                          SCOPE_MATERIAL);
        pass->addVariable("materialSpecular", variable<MaterialSpecularVariable>(), SCOPE_RENDERABLE);
        pass->addVariable("materialShininess", variable<MaterialShininessVariable>(), SCOPE_RENDERABLE);
        pass->setTexture("reflectTex", reflectTexture, "reflectSamp", screenSampler, textureState);
        pass->setTexture("refractTex", refractTexture, "refractSamp", screenSampler, textureState);
        pass->setTexture("waveTex", waveTexture, "bumpSamp", waveSampler, textureState);
        pass->addVariable("reflectMatrix", textureMatrix("reflectTex"), SCOPE_MATERIAL);
        pass->addVariable("refractMatrix", textureMatrix("refractTex"), SCOPE_MATERIAL);
        pass->addVariable("waveMatrix", textureMatrix("waveTex"), SCOPE_MATERIAL);
    }
    if (MaterialSteps::hasFixed(caps)) {
        RenderPass* pass = material->addPath(core::String())->addPass(renderState, nullptr);
        MaterialSteps::setFixedTexture(pass, waveTexture, "waveTex", waveSampler, textureState);
    }
    return true;
}

} // namespace rezezaz::scene
