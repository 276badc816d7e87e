#include "content/DiffuseMaterialCreator.h"

#include "content/MaterialSteps.h"
#include "core/SharedPointer.h"
#include "render/BlendState.h"
#include "render/GeometryState.h"
#include "render/TextureFormat.h"
#include "scene/Engine.h"
#include "scene/Font.h"
#include "scene/MaterialManager.h"
#include "scene/ShaderManager.h"
#include "scene/material/AmbientVariable.h"
#include "scene/material/FogColorVariable.h"
#include "scene/material/FogDensityVariable.h"
#include "scene/material/FogDistanceVariable.h"
#include "scene/material/LightDiffuseVariable.h"
#include "scene/material/LightViewPositionVariable.h"
#include "scene/material/MVPMatrixVariable.h"
#include "scene/material/MaterialAmbientVariable.h"
#include "scene/material/MaterialDiffuseVariable.h"
#include "scene/material/MaterialLightVariable.h"
#include "scene/material/MaterialTrackColorVariable.h"
#include "scene/material/NormalMatrixVariable.h"
#include "scene/material/PointSizeVariable.h"
#include "scene/material/RenderPass.h"
#include "scene/material/TextureMatrixVariable.h"
#include "scene/material/TextureSetVariable.h"
#include "scene/material/ViewportVariable.h"

namespace rezezaz::scene {

namespace {

using namespace material;

constexpr int SCOPE_MATERIAL = MaterialSteps::SCOPE_MATERIAL;
constexpr int SCOPE_RENDERABLE = MaterialSteps::SCOPE_RENDERABLE;

const char* const DIFFUSE_VERTEX_GLSL = R"(attribute vec4 POSITION;
attribute vec3 NORMAL;
attribute vec4 COLOR;
attribute vec2 TEXCOORD0;

uniform mat4 modelViewProjectionMatrix;
uniform mat4 normalMatrix;
uniform vec4 materialDiffuseColor;
uniform vec4 materialAmbientColor;
uniform float materialTrackColor;
uniform vec4 lightViewPosition;
uniform vec4 lightColor;
uniform vec4 ambientColor;
uniform float materialLight;
uniform mat4 textureMatrix;
uniform float fogDensity;
uniform vec2 fogDistance;

varying vec4 color;
varying float fog;
varying vec2 texCoord;

void main()
{
    gl_Position = modelViewProjectionMatrix * POSITION;
    vec3 viewNormal = normalize((normalMatrix * vec4(NORMAL, 0.0)).xyz);
    float intensity = clamp(-dot(lightViewPosition.xyz, viewNormal), 0.0, 1.0);
    vec4 localLightColor = intensity * lightColor * materialLight + (1.0 - materialLight);
    color = clamp(localLightColor * materialDiffuseColor + ambientColor * materialAmbientColor, 0.0, 1.0);
    color = COLOR * materialTrackColor + color * (1.0 - materialTrackColor);
    texCoord = (textureMatrix * vec4(TEXCOORD0, 0.0, 1.0)).xy;
    fog = clamp(1.0 - fogDensity * (gl_Position.z - fogDistance.x) / (fogDistance.y - fogDistance.x), 0.0, 1.0);
}
)";

const char* const DIFFUSE_VERTEX_HLSL = R"(float4x4 modelViewProjectionMatrix;
float4x4 normalMatrix;
float4 materialDiffuseColor;
float4 materialAmbientColor;
float materialTrackColor;
float4 lightViewPosition;
float4 lightColor;
float4 ambientColor;
float materialLight;
float4x4 textureMatrix;
float fogDensity;
float2 fogDistance;

struct VertexInput
{
    float4 position : POSITION;
    float3 normal : NORMAL;
    float4 color : COLOR;
    float2 texCoord : TEXCOORD0;
};

struct VertexOutput
{
    float4 position : SV_POSITION;
    float4 color : COLOR;
    float fog : FOG;
    float2 texCoord : TEXCOORD0;
};

VertexOutput main(VertexInput input)
{
    VertexOutput output;
    output.position = mul(modelViewProjectionMatrix, input.position);
    float3 viewNormal = normalize(mul(normalMatrix, float4(input.normal, 0.0)).xyz);
    float intensity = saturate(-dot(lightViewPosition.xyz, viewNormal));
    float4 localLightColor = intensity * lightColor * materialLight + (1.0 - materialLight);
    float4 color = saturate(localLightColor * materialDiffuseColor + ambientColor * materialAmbientColor);
    output.color = input.color * materialTrackColor + color * (1.0 - materialTrackColor);
    output.texCoord = mul(textureMatrix, float4(input.texCoord, 0.0, 1.0)).xy;
    output.fog = saturate(1.0 - fogDensity * (output.position.z - fogDistance.x) / (fogDistance.y - fogDistance.x));
    return output;
}
)";

const char* const DIFFUSE_FRAGMENT_GLSL = R"(#ifdef GL_ES
precision mediump float;
#endif

varying vec4 color;
varying vec2 texCoord;
varying float fog;

uniform float textureSet;
uniform vec4 fogColor;
uniform sampler2D tex;

void main()
{
    vec4 fragmentColor = color * (texture2D(tex, texCoord) + (1.0 - textureSet));
    gl_FragColor = mix(fogColor, fragmentColor, fog);
}
)";

const char* const DIFFUSE_FRAGMENT_HLSL = R"(float textureSet;
float4 fogColor;
Texture2D tex;
SamplerState samp;

struct VertexOutput
{
    float4 position : SV_POSITION;
    float4 color : COLOR;
    float fog : FOG;
    float2 texCoord : TEXCOORD0;
};

float4 main(VertexOutput input) : SV_TARGET
{
    float4 fragmentColor = input.color * (tex.Sample(samp, input.texCoord) + (1.0 - textureSet));
    return lerp(fogColor, fragmentColor, input.fog);
}
)";

// OpenGL makes point sprites without a geometry stage.
const char* const POINT_SPRITE_GEOMETRY_GLSL = "";

const char* const POINT_SPRITE_GEOMETRY_HLSL = R"(float pointSize;
float4 viewport;

struct VertexOutput
{
    float4 position : SV_POSITION;
    float4 color : COLOR;
    float fog : FOG;
    float2 texCoord : TEXCOORD0;
};

[maxvertexcount(4)]
void main(point VertexOutput input[1], inout TriangleStream<VertexOutput> stream)
{
    float aspect = viewport.w / viewport.z;
    float w = aspect * pointSize / 4.0;
    float h = pointSize / 4.0;
    const float2 corners[4] = {float2(-w, -h), float2(w, -h), float2(-w, h), float2(w, h)};
    const float2 texCoords[4] = {float2(0.0, 0.0), float2(1.0, 0.0), float2(0.0, 1.0), float2(1.0, 1.0)};
    for (int i = 0; i < 4; ++i) {
        VertexOutput output;
        output.position = input[0].position + float4(corners[i], 0.0, 0.0);
        output.color = input[0].color;
        output.fog = input[0].fog;
        output.texCoord = texCoords[i];
        stream.Append(output);
    }
    stream.RestartStrip();
}
)";

const char* const POINT_SPRITE_FRAGMENT_GLSL = R"(#version 120
#ifdef GL_ES
precision mediump float;
#endif

varying vec4 color;
varying float fog;

uniform float textureSet;
uniform vec4 fogColor;
uniform sampler2D tex;

void main()
{
    vec4 fragmentColor = color * (texture2D(tex, gl_PointCoord) + (1.0 - textureSet));
    gl_FragColor = mix(fogColor, fragmentColor, fog);
}
)";

template <class T> core::SharedPointer<RenderVariable> variable()
{
    return MaterialSteps::variable<T>();
}

} // namespace

DiffuseMaterialCreator::DiffuseMaterialCreator(Engine* engine_) : engine(engine_)
{
    diffuseVertexShader = createShader(render::Shader::ShaderType_VERTEX, DIFFUSE_VERTEX_GLSL, DIFFUSE_VERTEX_HLSL);
    diffuseFragmentShader =
        createShader(render::Shader::ShaderType_FRAGMENT, DIFFUSE_FRAGMENT_GLSL, DIFFUSE_FRAGMENT_HLSL);
    pointSpriteGeometryShader =
        createShader(render::Shader::ShaderType_GEOMETRY, POINT_SPRITE_GEOMETRY_GLSL, POINT_SPRITE_GEOMETRY_HLSL);
    pointSpriteFragmentShader =
        createShader(render::Shader::ShaderType_FRAGMENT, POINT_SPRITE_FRAGMENT_GLSL, DIFFUSE_FRAGMENT_HLSL);

    MaterialManager* materials = engine->getMaterialManager();
    diffuseShaderState = MaterialSteps::createShaderState(materials, diffuseVertexShader, diffuseFragmentShader);
    pointSpriteShaderState = materials->createShaderState();
    if (pointSpriteShaderState) {
        pointSpriteShaderState->setShader(render::Shader::ShaderType_VERTEX, diffuseVertexShader);
        pointSpriteShaderState->setShader(render::Shader::ShaderType_GEOMETRY, pointSpriteGeometryShader);
        pointSpriteShaderState->setShader(render::Shader::ShaderType_FRAGMENT, pointSpriteFragmentShader);
    }
}

void DiffuseMaterialCreator::destroy()
{
    MaterialSteps::destroyAll<render::Shader>(
        {&diffuseVertexShader, &diffuseFragmentShader, &pointSpriteGeometryShader, &pointSpriteFragmentShader});
    MaterialSteps::destroyAll<render::ShaderState>({&diffuseShaderState, &pointSpriteShaderState});
}

core::IntrusivePointer<core::Resource> DiffuseMaterialCreator::create(const core::String& name, ResourceData*,
                                                                      ProgressListener*)
{
    return engine->getMaterialManager()->find(name, nullptr);
}

core::IntrusivePointer<Material> DiffuseMaterialCreator::createDiffuseMaterial(render::Texture* texture,
                                                                               render::RenderState* renderState)
{
    MaterialManager* materials = engine->getMaterialManager();
    core::IntrusivePointer<Material> result = new Material(materials);

    core::IntrusivePointer<render::RenderState> state = renderState;
    if (!state) {
        state = materials->createRenderState();
        if (state) {
            state->setMaterialState(defaultMaterialState());
        }
    }

    render::SamplerState samplerState = materials->getDefaultSamplerState();
    if (state) {
        state->getSamplerState(render::Shader::ShaderType_FRAGMENT, 0, samplerState);
    }
    render::TextureState textureState;
    textureState.calculation = render::TextureState::CalculationType_NORMAL;

    const render::RenderCaps& caps = engine->getRenderCaps();
    if (diffuseShaderState && MaterialSteps::hasShaders(caps)) {
        RenderPass* pass = result->addPath(core::String())->addPass(state.get(), diffuseShaderState.get());
        addVariables(pass);
        if (texture != nullptr) {
            pass->setTexture("tex", texture, "samp", samplerState, textureState);
        }
    }
    if (MaterialSteps::hasFixed(caps)) {
        RenderPass* pass = result->addPath("fixed")->addPass(state.get(), nullptr);
        if (texture != nullptr) {
            MaterialSteps::setFixedTexture(pass, texture, "tex", samplerState, textureState);
        }
    }
    result->compile();
    return result;
}

core::IntrusivePointer<Material> DiffuseMaterialCreator::createPointSpriteMaterial(render::Texture* texture,
                                                                                   float size, bool attenuate)
{
    MaterialManager* materials = engine->getMaterialManager();
    core::IntrusivePointer<Material> result = new Material(materials);

    core::IntrusivePointer<render::RenderState> state = materials->createRenderState();
    if (state) {
        state->setMaterialState(defaultMaterialState());
        render::GeometryState geometry;
        geometry.sprite = true;
        geometry.size = size;
        geometry.attenuated = attenuate;
        geometry.constant = 1.0f;
        geometry.linear = 1.0f;
        geometry.quadratic = 1.0f;
        geometry.minSize = 1.0f;
        geometry.maxSize = 128.0f;
        state->setGeometryState(geometry);
    }
    const render::SamplerState& samplerState = materials->getDefaultSamplerState();
    const render::TextureState textureState;

    const render::RenderCaps& caps = engine->getRenderCaps();
    if (pointSpriteShaderState && MaterialSteps::hasShaders(caps, true)) {
        RenderPass* pass = result->addPath("shader")->addPass(state.get(), pointSpriteShaderState.get());
        addVariables(pass);
        pass->addVariable("pointSize", variable<PointSizeVariable>(), SCOPE_MATERIAL);
        pass->addVariable("viewport", variable<ViewportVariable>(), SCOPE_MATERIAL);
        if (texture != nullptr) {
            pass->setTexture("tex", texture, "samp", samplerState, textureState);
        }
    }
    if (MaterialSteps::hasFixed(caps, true)) {
        RenderPass* pass = result->addPath("fixed")->addPass(state.get(), nullptr);
        if (texture != nullptr) {
            MaterialSteps::setFixedTexture(pass, texture, "tex", samplerState, textureState);
        }
    }
    result->compile();
    return result;
}

core::IntrusivePointer<Material> DiffuseMaterialCreator::createFontMaterial(Font* font)
{
    if (font == nullptr) {
        return nullptr;
    }
    MaterialManager* materials = engine->getMaterialManager();
    core::IntrusivePointer<Material> result = new Material(materials);
    const core::IntrusivePointer<render::Texture> texture = font->getTexture();

    core::IntrusivePointer<render::RenderState> state = materials->createRenderState();
    if (state) {
        state->setRasterizerState(MaterialSteps::solidRasterizerState(render::RasterizerState::CullType_NONE));
        state->setDepthState(MaterialSteps::readOnlyDepthState());

        render::MaterialState material = defaultMaterialState();
        material.trackColor = true;
        material.shade = render::MaterialState::ShadeType_FLAT;
        state->setMaterialState(material);

        const render::TextureFormat* format = texture ? texture->getFormat() : nullptr;
        render::BlendState blend;
        if (format != nullptr && getAlphaBits(format->pixelFormat) > 0) {
            blend.source = render::BlendState::Operation_SRC_ALPHA;
            blend.dest = render::BlendState::Operation_ONE_MINUS_SRC_ALPHA;
        } else {
            blend.source = render::BlendState::Operation_ONE;
            blend.dest = render::BlendState::Operation_ONE_MINUS_SRC_COLOR;
        }
        blend.colorWrite = render::BlendState::ColorWrite_ALL;
        state->setBlendState(blend);
    }
    const render::SamplerState& samplerState = materials->getDefaultSamplerState();
    const render::TextureState textureState;

    const render::RenderCaps& caps = engine->getRenderCaps();
    if (diffuseShaderState && MaterialSteps::hasShaders(caps)) {
        RenderPass* pass = result->addPath("shader")->addPass(state.get(), diffuseShaderState.get());
        addVariables(pass);
        if (texture) {
            pass->setTexture("tex", texture.get(), "samp", samplerState, textureState);
        }
    }
    if (MaterialSteps::hasFixed(caps)) {
        RenderPass* pass = result->addPath("fixed")->addPass(state.get(), nullptr);
        if (texture) {
            MaterialSteps::setFixedTexture(pass, texture.get(), "tex", samplerState, textureState);
        }
    }
    materials->manage(result.get(), core::String());
    result->compile();
    return result;
}

int DiffuseMaterialCreator::getAlphaBits(int pixelFormat)
{
    using render::TextureFormat;
    switch (pixelFormat) {
    case TextureFormat::Format_A_8:
    case TextureFormat::Format_LA_8:
    case TextureFormat::Format_RGBA_8:
    case TextureFormat::Format_BGRA_8:
        return 8;
    case TextureFormat::Format_A_FLOAT32:
    case TextureFormat::Format_LA_FLOAT32:
    case TextureFormat::Format_RGBA_FLOAT32:
    case TextureFormat::Format_BGRA_FLOAT32:
        return 32;
    case TextureFormat::Format_RGBA_5_5_5_1:
    case TextureFormat::Format_BGRA_5_5_5_1:
        return 1;
    case TextureFormat::Format_RGBA_4_4_4_4:
    case TextureFormat::Format_BGRA_4_4_4_4:
        return 4;
    default:
        return 0;
    }
}

render::MaterialState DiffuseMaterialCreator::defaultMaterialState()
{
    return MaterialSteps::defaultMaterialState();
}

core::IntrusivePointer<render::Shader> DiffuseMaterialCreator::createShader(render::Shader::ShaderType type,
                                                                            const char* glsl, const char* hlsl)
{
    return MaterialSteps::createShader(engine->getShaderManager(), type, glsl, hlsl);
}

void DiffuseMaterialCreator::addVariables(RenderPass* pass)
{
    pass->addVariable("modelViewProjectionMatrix", variable<MVPMatrixVariable>(), SCOPE_RENDERABLE);
    pass->addVariable("normalMatrix", variable<NormalMatrixVariable>(), SCOPE_RENDERABLE);
    pass->addVariable("lightViewPosition", variable<LightViewPositionVariable>(), SCOPE_MATERIAL);
    pass->addVariable("lightColor", variable<LightDiffuseVariable>(), SCOPE_MATERIAL);
    pass->addVariable("ambientColor", variable<AmbientVariable>(), SCOPE_RENDERABLE);
    pass->addVariable("materialLight", variable<MaterialLightVariable>(), SCOPE_MATERIAL);
    pass->addVariable("materialDiffuseColor", variable<MaterialDiffuseVariable>(), SCOPE_MATERIAL);
    pass->addVariable("materialAmbientColor", variable<MaterialAmbientVariable>(), SCOPE_MATERIAL);
    pass->addVariable("materialTrackColor", variable<MaterialTrackColorVariable>(), SCOPE_MATERIAL);
    pass->addVariable("fogDensity", variable<FogDensityVariable>(), SCOPE_MATERIAL);
    pass->addVariable("fogDistance", variable<FogDistanceVariable>(), SCOPE_MATERIAL);
    pass->addVariable("fogColor", variable<FogColorVariable>(), SCOPE_MATERIAL);
    pass->addVariable("textureMatrix", core::SharedPointer<RenderVariable>(new TextureMatrixVariable("tex")),
                      SCOPE_MATERIAL);
    pass->addVariable("textureSet", core::SharedPointer<RenderVariable>(new TextureSetVariable("tex")),
                      SCOPE_MATERIAL);
}

} // namespace rezezaz::scene
