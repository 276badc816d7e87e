#include "MaterialFixture.h"

#include "content/EngineHandlers.h"
#include "core/Object.h"
#include "render/BackableRenderState.h"
#include "render/BackableShaderState.h"
#include "scene/ArchiveManager.h"
#include "scene/ResourceStreamer.h"
#include "scene/TextureManager.h"
#include "scene/material/Material.h"
#include "scene/material/RenderPass.h"
#include "scene/material/RenderPath.h"
#include "support/MemoryArchive.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingTexture.h"

#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::String;
using rezezaz::render::RenderState;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using rezezaz::scene::material::Material;
using rezezaz::scene::material::RenderPass;
using Calls = std::vector<std::string>;

constexpr Shader::ShaderType FRAGMENT = Shader::ShaderType_FRAGMENT;

// Reads any stream as one recording texture.
class ImageStreamer : public rezezaz::core::Object, public rezezaz::scene::ResourceStreamer
{
public:
    explicit ImageStreamer(support::SharedCallLog calls) : calls(std::move(calls)) {}

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void destroy() override {}
    IntrusivePointer<rezezaz::core::Resource> load(IntrusivePointer<rezezaz::core::io::Stream>,
                                                   rezezaz::scene::ResourceData*,
                                                   rezezaz::scene::ProgressListener*) override
    {
        auto* texture = new support::RecordingTexture(calls, "image");
        return IntrusivePointer<rezezaz::core::Resource>(static_cast<rezezaz::core::BaseResource*>(texture));
    }

    support::SharedCallLog calls;
};

using MaterialManagerTest = scenetest::MaterialFixture;

TEST_F(MaterialManagerTest, MakesStatesOnTheDeviceOrAsWrappersOnABackedEngine)
{
    // Not backed and without a device: nothing to make them with.
    EXPECT_EQ(materials()->createRenderState(), nullptr);
    EXPECT_EQ(materials()->createShaderState(), nullptr);

    attachDevice();
    calls->take();
    IntrusivePointer<RenderState> direct = materials()->createRenderState();
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(direct->getRootRenderState(), direct.get());
    EXPECT_EQ(calls->take(), (Calls{"renderState1.create()"}));

    // A device that refuses a shader state gives none, and raises nothing.
    device.raiseFromCreateShaderState = true;
    EXPECT_EQ(materials()->createShaderState(), nullptr);
}

TEST_F(MaterialManagerTest, WrappersGetTheirDeviceStatesWhenTheContextComes)
{
    engine->setHasBackableShader(true);
    IntrusivePointer<RenderState> state = materials()->createRenderState();
    IntrusivePointer<rezezaz::render::ShaderState> program = materials()->createShaderState();
    ASSERT_NE(dynamic_cast<rezezaz::render::BackableRenderState*>(state.get()), nullptr);
    ASSERT_NE(dynamic_cast<rezezaz::render::BackableShaderState*>(program.get()), nullptr);
    EXPECT_EQ(state->getRootRenderState(), nullptr);

    // A refused shader state leaves its wrapper without a back.
    device.raiseFromCreateShaderState = true;
    attachDevice();
    EXPECT_NE(state->getRootRenderState(), nullptr);
    EXPECT_NE(state->getRootRenderState(), state.get());
    EXPECT_EQ(program->getRootShaderState(), nullptr);

    engine->setRenderDevice(nullptr);
    EXPECT_EQ(state->getRootRenderState(), nullptr);
}

TEST_F(MaterialManagerTest, AStateStaysListedWhileItsHoldersKeepItAndLeavesWithTheLast)
{
    engine->setHasBackableShader(true);
    IntrusivePointer<RenderState> kept = materials()->createRenderState();
    IntrusivePointer<RenderState> shared = materials()->createRenderState();
    IntrusivePointer<rezezaz::render::ShaderState> program = materials()->createShaderState();
    ASSERT_NE(shared, nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(materials()->getNumRenderStates(), 2);
    EXPECT_EQ(materials()->getNumShaderStates(), 1);

    // Two passes share a state that neither owns, as a built-in material's paths do.
    IntrusivePointer<Material> material = materials()->createMaterial();
    material->addPath("")->addPass(shared.get(), program.get());
    material->addPath("fixed")->addPass(shared.get(), nullptr);
    shared = nullptr;
    program = nullptr;
    EXPECT_EQ(materials()->getNumRenderStates(), 2);
    material = nullptr;
    EXPECT_EQ(materials()->getNumRenderStates(), 1);
    EXPECT_EQ(materials()->getNumShaderStates(), 0);

    // The one still held gets its back when the context comes, and a state dropped at once is never listed.
    materials()->createRenderState();
    EXPECT_EQ(materials()->getNumRenderStates(), 1);
    attachDevice();
    EXPECT_NE(kept->getRootRenderState(), nullptr);
    EXPECT_NE(kept->getRootRenderState(), kept.get());

    // A state that outlives its engine is destroyed with it and tells nobody when it goes.
    engine->destroy();
    EXPECT_EQ(materials()->getNumRenderStates(), 0);
    engine->setRenderDevice(nullptr);
    engine = nullptr;
    kept = nullptr;
}

TEST_F(MaterialManagerTest, ModifyRenderStateCopiesOnlyTheStatesTheSourceHasSet)
{
    attachDevice();
    IntrusivePointer<support::RecordingRenderState> source = new support::RecordingRenderState(calls, "source");
    IntrusivePointer<support::RecordingRenderState> target = new support::RecordingRenderState(calls, "target");
    rezezaz::render::DepthState depth;
    depth.write = false;
    source->setDepthState(depth);
    source->setSamplerState(FRAGMENT, 0, SamplerState());
    calls->take();

    materials()->modifyRenderState(target.get(), source.get());
    EXPECT_EQ(calls->take(), (Calls{"target.setDepthState()"}));
    rezezaz::render::DepthState copied;
    ASSERT_TRUE(target->getDepthState(copied));
    EXPECT_FALSE(copied.write);
    EXPECT_EQ(target->getNumSamplerStates(FRAGMENT), 0);

    materials()->modifyRenderState(nullptr, source.get());
    materials()->modifyRenderState(target.get(), nullptr);
    EXPECT_EQ(calls->take(), (Calls{}));
}

TEST_F(MaterialManagerTest, ASharedMaterialCopiesEveryPassOntoTheGivenState)
{
    attachDevice();
    IntrusivePointer<Material> source = materials()->createMaterial();
    source->setName("crank");
    source->setSort(Material::Sort_ALWAYS);
    source->setLayer(7);
    rezezaz::scene::material::RenderPath* path = source->addPath("fixed");
    IntrusivePointer<support::RecordingTexture> texture = new support::RecordingTexture(calls, "image");
    std::vector<IntrusivePointer<support::RecordingRenderState>> states;
    for (int i = 0; i < 2; ++i) {
        states.push_back(new support::RecordingRenderState(calls, "pass" + std::to_string(i)));
        RenderPass* pass = path->addPass(states.back().get(), nullptr);
        SamplerState sampler;
        sampler.uAddress = i;
        TextureState stage;
        stage.texCoordIndex = 10 + i;
        pass->setTexture(FRAGMENT, 0, texture.get(), sampler, stage);
    }
    IntrusivePointer<support::RecordingRenderState> shared = new support::RecordingRenderState(calls, "shared");

    IntrusivePointer<Material> copy = materials()->createSharedMaterial(source, shared.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), source.get());
    EXPECT_EQ(copy->getName().c_str(), std::string("crank"));
    EXPECT_EQ(copy->getSort(), Material::Sort_ALWAYS);
    EXPECT_EQ(copy->getLayer(), 7);
    EXPECT_GT(copy->getUniqueHandle(), 0);
    ASSERT_EQ(copy->getNumPaths(), 1);
    EXPECT_EQ(copy->getPath(0)->getName().c_str(), std::string(""));
    ASSERT_EQ(copy->getPath(0)->getNumPasses(), 2);
    for (int i = 0; i < 2; ++i) {
        RenderPass* pass = copy->getPath(0)->getPass(i);
        EXPECT_NE(pass, path->getPass(i));
        EXPECT_EQ(pass->getRenderState(), shared.get());
        EXPECT_FALSE(pass->ownsRenderState());
        EXPECT_EQ(pass->getTexture(FRAGMENT, 0)->texture, texture.get());
    }
    EXPECT_EQ(copy->getBestPath(), copy->getPath(0));
    // The last pass copied wins each stage.
    SamplerState sampler;
    ASSERT_TRUE(shared->getSamplerState(FRAGMENT, 0, sampler));
    EXPECT_EQ(sampler.uAddress, 1);
    TextureState stage;
    ASSERT_TRUE(shared->getTextureState(FRAGMENT, 0, stage));
    EXPECT_EQ(stage.texCoordIndex, 11);
    // The source keeps its own states.
    EXPECT_EQ(path->getPass(0)->getRenderState(), states[0].get());

    EXPECT_EQ(materials()->createSharedMaterial(nullptr, shared.get()), nullptr);
    EXPECT_EQ(materials()->createSharedMaterial(source, nullptr), nullptr);
}

TEST_F(MaterialManagerTest, ActivationRecompilesEveryMaterial)
{
    IntrusivePointer<support::RecordingRenderState> state = new support::RecordingRenderState(calls, "state");
    IntrusivePointer<Material> material = materials()->createMaterial();
    material->addPath("fixed")->addPass(state.get(), nullptr);
    EXPECT_FALSE(material->compile());

    attachDevice();
    EXPECT_EQ(material->getBestPath(), material->getPath("fixed"));
}

TEST_F(MaterialManagerTest, AMaterialNamedAfterAnImageIsADiffuseMaterialOfIt)
{
    attachDevice();
    installHandlers(*engine);
    IntrusivePointer<support::MemoryArchive> archive = new support::MemoryArchive();
    archive->files["x.bmp"] = "BM";
    engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");
    engine->getTextureManager()->setStreamer(new ImageStreamer(calls), "bmp");

    IntrusivePointer<Material> material = materials()->findMaterial("x.bmp");
    ASSERT_NE(material, nullptr);
    IntrusivePointer<rezezaz::render::Texture> texture = engine->getTextureManager()->findTexture("x.bmp");
    ASSERT_NE(texture, nullptr);
    rezezaz::scene::material::RenderPath* fixed = material->getPath("fixed");
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->getPass(0)->getTexture(FRAGMENT, 0)->texture, texture);
    EXPECT_EQ(materials()->get(String("x.bmp")).get(), static_cast<rezezaz::core::Resource*>(material.get()));
    EXPECT_EQ(materials()->findMaterial("x.bmp"), material);

    // A name that is neither a material nor an image finds nothing.
    EXPECT_EQ(materials()->findMaterial("missing.bmp"), nullptr);
}

} // namespace
