#include "CreatorFixture.h"

#include "content/SkyBoxMaterialCreator.h"
#include "core/Error.h"
#include "render/DepthState.h"
#include "render/FogState.h"
#include "render/MaterialState.h"
#include "render/SamplerState.h"
#include "render/TextureState.h"
#include "scene/MaterialManager.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingTexture.h"

#include <algorithm>
#include <string>

namespace {

using contenttest::Names;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Matrix4x4;
using rezezaz::core::math::Vector4;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using rezezaz::scene::SkyBoxMaterialCreator;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;

constexpr Shader::ShaderType FRAGMENT = Shader::ShaderType_FRAGMENT;
constexpr int CLAMP = SamplerState::AddressType_CLAMP_TO_EDGE;
constexpr int REPEAT = SamplerState::AddressType_REPEAT;

const Names SKY_BOX_VARIABLES = {
    "modelViewProjectionMatrix:MVPMatrixVariable:2",
    "textureMatrix:TextureMatrixVariable:1",
    "materialTrackColor:MaterialTrackColorVariable:1",
};

class SkyBoxMaterialCreatorTest : public contenttest::CreatorFixture
{
protected:
    SkyBoxMaterialCreator* creator() const { return engine->getSkyBoxMaterialCreator(); }

    static void expectAddressing(const SamplerState& sampler, int mode)
    {
        EXPECT_EQ(sampler.uAddress, mode);
        EXPECT_EQ(sampler.vAddress, mode);
        EXPECT_EQ(sampler.wAddress, mode);
    }

    // The vertex shader, then the fragment shader.
    static void expectTwoShadersDestroyed(const Names& calls)
    {
        ASSERT_EQ(calls.size(), 2u);
        for (const std::string& call : calls) {
            EXPECT_EQ(call.rfind("shader", 0), 0u) << call;
            EXPECT_NE(call.find(".destroy()"), std::string::npos) << call;
        }
        EXPECT_NE(calls[0], calls[1]);
    }

    IntrusivePointer<support::RecordingTexture> texture{new support::RecordingTexture(calls, "sky")};
};

TEST_F(SkyBoxMaterialCreatorTest, PathsFollowTheCapabilitiesAndTheSkyIsDrawnFirst)
{
    struct Case
    {
        const char* name;
        bool shaders;
        bool fixed;
        Names paths;
    } cases[] = {
        {"shaders and fixed", true, true, {"shader", "fixed"}},
        {"fixed only", false, true, {"fixed"}},
        {"shaders only", true, false, {"shader"}},
        {"neither", false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine = new rezezaz::scene::Engine(nullptr, nullptr);
        installOnDevice(c.shaders, c.fixed);
        IntrusivePointer<Material> material = creator()->createSkyBoxMaterial(texture.get(), true, nullptr);
        EXPECT_EQ(pathNames(*material), c.paths);
        EXPECT_EQ(material->getSort(), Material::Sort_NEVER);
        EXPECT_EQ(material->getLayer(), -1);
        EXPECT_EQ(material->getBestPath(), material->getNumPaths() > 0 ? material->getPath(0) : nullptr);
        // Managed without a name, also without a path.
        EXPECT_GT(material->getUniqueHandle(), 0);
        EXPECT_EQ(std::string(material->getName().c_str()), "");
    }
}

TEST_F(SkyBoxMaterialCreatorTest, ItsOwnRenderStateIsUnlitUnfoggedAndWritesNoDepth)
{
    installOnDevice(true, true);
    IntrusivePointer<Material> material = creator()->createSkyBoxMaterial(texture.get(), true, nullptr);
    RenderPass* shaded = material->getPath("shader")->getPass(0);
    RenderPass* fixed = material->getPath("fixed")->getPass(0);
    rezezaz::render::RenderState* state = shaded->getRenderState();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(fixed->getRenderState(), state);

    expectReadOnlyDepth(state);
    expectMaterialState(state, false, Vector4(1, 1, 1, 1), 1.0f);

    rezezaz::render::FogState fog;
    ASSERT_TRUE(state->getFogState(fog));
    EXPECT_EQ(fog.fogType, rezezaz::render::FogState::FogType_NONE);
    EXPECT_EQ(fog.density, 0.0f);
    EXPECT_EQ(fog.nearDistance, 0.0f);
    EXPECT_EQ(fog.farDistance, 1.0f);
    EXPECT_EQ(fog.color, Vector4(0, 0, 0, 0));

    rezezaz::render::BlendState blend;
    EXPECT_FALSE(state->getBlendState(blend));
}

TEST_F(SkyBoxMaterialCreatorTest, BothPathsBindTheTextureClampedOrRepeated)
{
    installOnDevice(true, true);
    for (bool clamp : {true, false}) {
        SCOPED_TRACE(clamp ? "clamped" : "repeated");
        IntrusivePointer<Material> material = creator()->createSkyBoxMaterial(texture.get(), clamp, nullptr);
        RenderPass* shaded = material->getPath("shader")->getPass(0);
        EXPECT_EQ(shaded->getShaderState(), creator()->getSkyBoxShaderState());
        EXPECT_EQ(variables(*shaded), SKY_BOX_VARIABLES);
        ASSERT_EQ(shaded->getNumPendingTextures(), 1);
        const RenderPass::TextureData& pending = shaded->getPendingTexture(0);
        EXPECT_EQ(std::string(pending.name.c_str()), "tex");
        EXPECT_EQ(std::string(pending.samplerName.c_str()), "samp");
        EXPECT_EQ(pending.texture, texture.get());
        expectAddressing(pending.samplerState, clamp ? CLAMP : REPEAT);
        // The rest of the manager's default sampler.
        EXPECT_EQ(pending.samplerState.minFilter, SamplerState::FilterType_LINEAR);
        EXPECT_EQ(pending.samplerState.mipBias, 1000);
        EXPECT_TRUE(pending.samplerState.compare);
        EXPECT_EQ(pending.textureState.calculation, TextureState::CalculationType_NORMAL);
        EXPECT_EQ(pending.textureState.matrix, Matrix4x4());

        RenderPass* fixed = material->getPath("fixed")->getPass(0);
        EXPECT_EQ(fixed->getShaderState(), nullptr);
        EXPECT_EQ(fixed->getNumVariables(), 0);
        ASSERT_EQ(fixed->getNumTextures(FRAGMENT), 1);
        const RenderPass::TextureData* stage = fixed->getTexture(FRAGMENT, 0);
        EXPECT_EQ(stage->texture, texture.get());
        EXPECT_EQ(std::string(stage->name.c_str()), "tex");
        expectAddressing(stage->samplerState, clamp ? CLAMP : REPEAT);
        EXPECT_EQ(stage->textureState.calculation, TextureState::CalculationType_NORMAL);
    }

    // Without a texture the slot is there all the same, empty.
    IntrusivePointer<Material> plain = creator()->createSkyBoxMaterial(nullptr, true, nullptr);
    ASSERT_EQ(plain->getPath("shader")->getPass(0)->getNumPendingTextures(), 1);
    EXPECT_EQ(plain->getPath("shader")->getPass(0)->getPendingTexture(0).texture, nullptr);
}

TEST_F(SkyBoxMaterialCreatorTest, AGivenRenderStateGetsNoSettingsAndItsSamplerWins)
{
    installOnDevice(true, false);
    IntrusivePointer<support::RecordingRenderState> given = new support::RecordingRenderState(calls, "given");
    IntrusivePointer<Material> material = creator()->createSkyBoxMaterial(texture.get(), true, given.get());
    RenderPass* pass = material->getPath("shader")->getPass(0);
    EXPECT_EQ(pass->getRenderState(), given.get());
    rezezaz::render::DepthState depth;
    rezezaz::render::MaterialState lighting;
    rezezaz::render::FogState fog;
    EXPECT_FALSE(given->getDepthState(depth));
    EXPECT_FALSE(given->getMaterialState(lighting));
    EXPECT_FALSE(given->getFogState(fog));
    // Without a fragment sampler of its own the clamp request stands.
    expectAddressing(pass->getPendingTexture(0).samplerState, CLAMP);

    SamplerState own;
    own.uAddress = SamplerState::AddressType_MIRRORED_REPEAT;
    own.minFilter = SamplerState::FilterType_NEAREST;
    given->setSamplerState(FRAGMENT, 0, own);
    material = creator()->createSkyBoxMaterial(texture.get(), true, given.get());
    const SamplerState& used = material->getPath("shader")->getPass(0)->getPendingTexture(0).samplerState;
    EXPECT_EQ(used.uAddress, SamplerState::AddressType_MIRRORED_REPEAT);
    EXPECT_EQ(used.vAddress, REPEAT);
    EXPECT_EQ(used.minFilter, SamplerState::FilterType_NEAREST);
}

TEST_F(SkyBoxMaterialCreatorTest, CreateByNameIsRefused)
{
    installOnDevice(true, true);
    int error = 0;
    try {
        creator()->create("sky", nullptr, nullptr);
    } catch (const rezezaz::core::Exception& e) {
        error = e.getError();
        EXPECT_EQ(std::string(e.getDescription()), "SkyBoxMaterialCreator::create unimplemented");
    }
    // The error code of Error::unimplemented, reported to the log as well.
    EXPECT_EQ(error, 4);
    bool logged = false;
    for (const auto& entry : logs.entries.snapshot()) {
        logged =
            logged || (entry.categoryName == "rezezaz.scene" &&
                       entry.text.find("SkyBoxMaterialCreator::create unimplemented") != std::string::npos);
    }
    EXPECT_TRUE(logged);
}

TEST_F(SkyBoxMaterialCreatorTest, ShadersAreMadeAnewAndDestroyKeepsTheShaderState)
{
    installOnDevice(true, true);
    rezezaz::render::Shader* vertex = creator()->getSkyBoxVertexShader();
    rezezaz::render::ShaderState* state = creator()->getSkyBoxShaderState();
    ASSERT_NE(vertex, nullptr);
    ASSERT_NE(creator()->getSkyBoxFragmentShader(), nullptr);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->getShader(Shader::ShaderType_VERTEX).get(), vertex);
    EXPECT_EQ(state->getShader(FRAGMENT).get(), creator()->getSkyBoxFragmentShader());

    calls->take();
    creator()->destroy();
    expectTwoShadersDestroyed(calls->take());
    EXPECT_EQ(creator()->getSkyBoxVertexShader(), nullptr);
    EXPECT_EQ(creator()->getSkyBoxShaderState(), state);

    creator()->createShaders();
    EXPECT_NE(creator()->getSkyBoxVertexShader(), nullptr);
    EXPECT_NE(creator()->getSkyBoxShaderState(), state);
    calls->take();
    // Making them again destroys the ones held first.
    creator()->createShaders();
    Names made = calls->take();
    made.resize(std::min<size_t>(made.size(), 2));
    expectTwoShadersDestroyed(made);
}

TEST_F(SkyBoxMaterialCreatorTest, TheEngineFilesItsMaterialsWithoutAName)
{
    EXPECT_EQ(engine->createSkyBoxMaterial(nullptr, true, nullptr), nullptr);
    EXPECT_EQ(sceneWarnings(),
              (Names{"createSkyBoxMaterial: no SkyBoxMaterialCreator before installHandlers"}));
    installOnDevice(true, true);
    IntrusivePointer<Material> material = engine->createSkyBoxMaterial(texture.get(), false, nullptr);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->getLayer(), -1);
    EXPECT_EQ(engine->getMaterialManager()->get(material->getUniqueHandle()).get(),
              static_cast<rezezaz::core::Resource*>(material.get()));
}

} // namespace
