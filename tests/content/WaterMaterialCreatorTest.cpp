#include "CreatorFixture.h"

#include "content/WaterMaterialCreator.h"
#include "render/BlendState.h"
#include "render/DepthState.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/SamplerState.h"
#include "render/TextureState.h"
#include "scene/MaterialManager.h"
#include "scene/material/ScalarVariable.h"
#include "support/RecordingTexture.h"

#include <string>

namespace {

using contenttest::Names;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Vector4;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using rezezaz::scene::WaterMaterialCreator;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;

constexpr Shader::ShaderType FRAGMENT = Shader::ShaderType_FRAGMENT;
constexpr int CLAMP = SamplerState::AddressType_CLAMP_TO_EDGE;
constexpr int REPEAT = SamplerState::AddressType_REPEAT;
constexpr int LINEAR = SamplerState::FilterType_LINEAR;

const Names WATER_VARIABLES = {
    "modelViewProjectionMatrix:MVPMatrixVariable:2",
    "modelMatrix:ModelMatrixVariable:2",
    "fogDistance:FogDistanceVariable:1",
    "fogColor:FogColorVariable:1",
    "cameraPosition:CameraPositionVariable:1",
    "lightPosition:LightPositionVariable:2",
    "lightSpecular:LightSpecularVariable:2",
    "waveHeight:ScalarVariable:1",
    "materialSpecular:MaterialSpecularVariable:2",
    "materialShininess:MaterialShininessVariable:2",
    "reflectMatrix:TextureMatrixVariable:1",
    "refractMatrix:TextureMatrixVariable:1",
    "waveMatrix:TextureMatrixVariable:1",
};

class WaterMaterialCreatorTest : public contenttest::CreatorFixture
{
protected:
    WaterMaterialCreator* creator() const { return engine->getWaterMaterialCreator(); }

    IntrusivePointer<Material> make()
    {
        return creator()->createWaterMaterial(reflect.get(), refract.get(), wave.get(), Vector4(1, 2, 3, 4));
    }

    static void expectSampler(const SamplerState& sampler, int uv)
    {
        EXPECT_EQ(sampler.minFilter, LINEAR);
        EXPECT_EQ(sampler.mipFilter, LINEAR);
        EXPECT_EQ(sampler.magFilter, LINEAR);
        EXPECT_EQ(sampler.uAddress, uv);
        EXPECT_EQ(sampler.vAddress, uv);
        EXPECT_EQ(sampler.wAddress, REPEAT);
        // The rest of the material manager's default.
        EXPECT_EQ(sampler.maxAnisotropy, 0);
        EXPECT_EQ(sampler.mipBias, 1000);
        EXPECT_TRUE(sampler.compare);
    }

    IntrusivePointer<support::RecordingTexture> reflect{new support::RecordingTexture(calls, "reflect")};
    IntrusivePointer<support::RecordingTexture> refract{new support::RecordingTexture(calls, "refract")};
    IntrusivePointer<support::RecordingTexture> wave{new support::RecordingTexture(calls, "wave")};
};

TEST_F(WaterMaterialCreatorTest, TwoUnnamedPathsTheShaderOneFirst)
{
    struct Case
    {
        const char* name;
        bool shaders;
        bool fixed;
        int paths;
        bool shaderFirst;
    } cases[] = {
        {"shaders and fixed", true, true, 2, true},
        {"fixed only", false, true, 1, false},
        {"shaders only", true, false, 1, true},
        {"neither", false, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine = new rezezaz::scene::Engine(nullptr, nullptr);
        installOnDevice(c.shaders, c.fixed);
        IntrusivePointer<Material> material = make();
        EXPECT_EQ(pathNames(*material), Names(c.paths, ""));
        if (c.paths > 0) {
            const RenderPass* first = material->getPath(0)->getPass(0);
            EXPECT_EQ(first->getShaderState() != nullptr, c.shaderFirst);
            EXPECT_EQ(material->getBestPath(), material->getPath(0));
        }
        // Managed without a name; the layer and sort are the defaults.
        EXPECT_GT(material->getUniqueHandle(), 0);
        EXPECT_EQ(material->getLayer(), 0);
        EXPECT_EQ(material->getSort(), Material::Sort_PATH);
    }
}

TEST_F(WaterMaterialCreatorTest, TheShaderPassBindsItsVariablesThreeTexturesAndTheirMatrices)
{
    installOnDevice(true, true);
    IntrusivePointer<Material> material = make();
    RenderPass* shaded = material->getPath(0)->getPass(0);
    EXPECT_EQ(shaded->getShaderState(), creator()->getWaterShaderState());
    EXPECT_EQ(variables(*shaded), WATER_VARIABLES);
    const auto* height =
        dynamic_cast<const rezezaz::scene::material::ScalarVariable*>(shaded->getVariable(7).variable.get());
    ASSERT_NE(height, nullptr);
    EXPECT_EQ(height->getValue(), 0.25f);

    struct Slot
    {
        const char* name;
        const char* sampler;
        rezezaz::render::Texture* texture;
        int uv;
    } slots[] = {
        {"reflectTex", "reflectSamp", reflect.get(), CLAMP},
        {"refractTex", "refractSamp", refract.get(), CLAMP},
        {"waveTex", "bumpSamp", wave.get(), REPEAT},
    };
    ASSERT_EQ(shaded->getNumPendingTextures(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(slots[i].name);
        const RenderPass::TextureData& pending = shaded->getPendingTexture(i);
        EXPECT_EQ(std::string(pending.name.c_str()), slots[i].name);
        EXPECT_EQ(std::string(pending.samplerName.c_str()), slots[i].sampler);
        EXPECT_EQ(pending.texture, slots[i].texture);
        expectSampler(pending.samplerState, slots[i].uv);
        EXPECT_EQ(pending.textureState.calculation, TextureState::CalculationType_UNSPECIFIED);
    }

    // The fixed path shows the waves alone.
    RenderPass* fixed = material->getPath(1)->getPass(0);
    EXPECT_EQ(fixed->getShaderState(), nullptr);
    EXPECT_EQ(fixed->getRenderState(), shaded->getRenderState());
    EXPECT_EQ(fixed->getNumVariables(), 0);
    ASSERT_EQ(fixed->getNumTextures(FRAGMENT), 1);
    EXPECT_EQ(fixed->getTexture(FRAGMENT, 0)->texture, wave.get());
    EXPECT_EQ(std::string(fixed->getTexture(FRAGMENT, 0)->name.c_str()), "waveTex");
    expectSampler(fixed->getTexture(FRAGMENT, 0)->samplerState, REPEAT);
}

TEST_F(WaterMaterialCreatorTest, ItsRenderStateTestsButWritesNoDepthCullsNothingAndIsShiny)
{
    installOnDevice(true, true);
    IntrusivePointer<Material> material = make();
    rezezaz::render::RenderState* state = material->getPath(0)->getPass(0)->getRenderState();
    ASSERT_NE(state, nullptr);

    expectReadOnlyDepth(state);

    rezezaz::render::RasterizerState rasterizer;
    ASSERT_TRUE(state->getRasterizerState(rasterizer));
    EXPECT_EQ(rasterizer.cull, rezezaz::render::RasterizerState::CullType_NONE);
    EXPECT_EQ(rasterizer.fill, rezezaz::render::RasterizerState::FillType_SOLID);
    EXPECT_EQ(rasterizer.depthBiasConstant, 0.0f);
    EXPECT_EQ(rasterizer.depthBiasSlope, 0.0f);
    EXPECT_FALSE(rasterizer.multisample);
    EXPECT_FALSE(rasterizer.dither);
    EXPECT_EQ(rasterizer.lineSize, 1.0f);

    expectMaterialState(state, true, Vector4(0, 0, 0, 0), 128.0f);

    rezezaz::render::BlendState blend;
    EXPECT_FALSE(state->getBlendState(blend));
    rezezaz::render::FogState fog;
    EXPECT_FALSE(state->getFogState(fog));
}

TEST_F(WaterMaterialCreatorTest, CreateNamesAMaterialWithoutTextures)
{
    installOnDevice(true, true);
    IntrusivePointer<rezezaz::core::Resource> resource = creator()->create("lake", nullptr, nullptr);
    auto* material = dynamic_cast<Material*>(resource.get());
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(std::string(material->getName().c_str()), "lake");
    RenderPass* shaded = material->getPath(0)->getPass(0);
    ASSERT_EQ(shaded->getNumPendingTextures(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(shaded->getPendingTexture(i).texture, nullptr);
    }
    EXPECT_EQ(material->getPath(1)->getPass(0)->getTexture(FRAGMENT, 0)->texture, nullptr);

    // destroy keeps the shaders: the next material still has its shader path.
    creator()->destroy();
    EXPECT_NE(creator()->getWaterShaderState(), nullptr);
    EXPECT_NE(creator()->getWaterVertexShader(), nullptr);
    EXPECT_EQ(make()->getPath(0)->getPass(0)->getShaderState(), creator()->getWaterShaderState());
}

TEST_F(WaterMaterialCreatorTest, ShadersTheDeviceRefusesLeaveEmptySlotsInTheSharedState)
{
    device.raiseFromCreateShader = true;
    installOnDevice(true, true);
    EXPECT_EQ(creator()->getWaterVertexShader(), nullptr);
    EXPECT_EQ(creator()->getWaterFragmentShader(), nullptr);
    ASSERT_NE(creator()->getWaterShaderState(), nullptr);
    IntrusivePointer<Material> material = make();
    ASSERT_EQ(material->getNumPaths(), 2);
    EXPECT_EQ(material->getPath(0)->getPass(0)->getShaderState(), creator()->getWaterShaderState());
    EXPECT_EQ(creator()->getWaterShaderState()->getShader(Shader::ShaderType_VERTEX), nullptr);
    EXPECT_EQ(creator()->getWaterShaderState()->getShader(FRAGMENT), nullptr);
}

TEST_F(WaterMaterialCreatorTest, TheEngineFilesItsMaterialsWithoutAName)
{
    EXPECT_EQ(engine->createWaterMaterial(nullptr, nullptr, nullptr, Vector4()), nullptr);
    EXPECT_EQ(sceneWarnings(),
              (Names{"createWaterMaterial: no WaterMaterialCreator before installHandlers"}));
    installOnDevice(true, true);
    IntrusivePointer<Material> material =
        engine->createWaterMaterial(reflect.get(), nullptr, wave.get(), Vector4());
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(std::string(material->getName().c_str()), "");
    EXPECT_EQ(engine->getMaterialManager()->get(material->getUniqueHandle()).get(),
              static_cast<rezezaz::core::Resource*>(material.get()));
}

} // namespace
