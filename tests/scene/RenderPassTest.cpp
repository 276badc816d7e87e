#include "MaterialFixture.h"

#include "core/SharedPointer.h"
#include "render/VariableBufferFormat.h"
#include "scene/BufferManager.h"
#include "scene/material/RenderPass.h"
#include "scene/material/SceneParameters.h"
#include "support/RecordingBuffer.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingRenderVariable.h"
#include "support/RecordingShaderState.h"
#include "support/RecordingTexture.h"
#include "support/VariableBlock.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::SharedPointer;
using rezezaz::core::String;
using rezezaz::render::SamplerState;
using rezezaz::render::Shader;
using rezezaz::render::TextureState;
using rezezaz::render::VariableBufferFormat;
using rezezaz::scene::material::RenderPass;
using rezezaz::scene::material::RenderVariable;
using rezezaz::scene::material::SceneParameters;
using support::RecordingRenderVariable;
using support::variableBlock;

constexpr Shader::ShaderType VERTEX = Shader::ShaderType_VERTEX;
constexpr Shader::ShaderType FRAGMENT = Shader::ShaderType_FRAGMENT;
constexpr Shader::ShaderType GEOMETRY = Shader::ShaderType_GEOMETRY;

class RenderPassTest : public scenetest::MaterialFixture
{
protected:
    RenderPassTest() { attachDevice(); }

    // A pass on a device render state and on a shader state that reports the given blocks per type.
    IntrusivePointer<RenderPass> passWith(
        std::map<int, std::vector<IntrusivePointer<VariableBufferFormat>>> blocks)
    {
        shaderState = new support::RecordingShaderState(calls, "program");
        shaderState->variableFormats = std::move(blocks);
        return new RenderPass(materials(), renderState.get(), shaderState.get());
    }

    SharedPointer<RenderVariable> add(RenderPass& pass, const std::string& name, int scope, int format = 0x0106,
                                      float value = 1.0f)
    {
        auto* variable = new RecordingRenderVariable(format, value);
        SharedPointer<RenderVariable> shared(variable);
        pass.addVariable(name.c_str(), shared, scope);
        recorded[name] = variable;
        return shared;
    }

    static support::RecordingBuffer* deviceBuffer(const RenderPass& pass, Shader::ShaderType type, int index)
    {
        return dynamic_cast<support::RecordingBuffer*>(pass.getBuffer(type, index)->buffer.get());
    }

    static float floatAt(const support::RecordingBuffer* buffer, int offset)
    {
        float value = 0.0f;
        std::memcpy(&value, buffer->bytes.data() + offset, sizeof value);
        return value;
    }

    IntrusivePointer<support::RecordingRenderState> renderState{new support::RecordingRenderState(calls, "state")};
    IntrusivePointer<support::RecordingShaderState> shaderState;
    std::map<std::string, RecordingRenderVariable*> recorded;
};

TEST_F(RenderPassTest, OwnsTheStatesItMadeUntilAnotherStateReplacesThem)
{
    IntrusivePointer<RenderPass> pass = new RenderPass(materials());
    ASSERT_NE(pass->getRenderState(), nullptr);
    ASSERT_NE(pass->getShaderState(), nullptr);
    EXPECT_TRUE(pass->ownsRenderState());
    EXPECT_TRUE(pass->ownsShaderState());
    calls->take();

    pass->setRenderState(renderState.get());
    EXPECT_EQ(calls->take(), std::vector<std::string>{"renderState1.destroy()"});
    EXPECT_FALSE(pass->ownsRenderState());
    EXPECT_EQ(pass->getRenderState(), renderState.get());

    // A pass made over given states owns neither, and destroying it leaves them alone.
    IntrusivePointer<RenderPass> shared = new RenderPass(materials(), renderState.get(), nullptr);
    EXPECT_FALSE(shared->ownsRenderState());
    shared->destroy();
    EXPECT_EQ(calls->take(), std::vector<std::string>{});
    EXPECT_EQ(shared->getRenderState(), nullptr);
}

TEST_F(RenderPassTest, FindsATextureByItsNameOrSamplerAndNameAtTheLowestTypeAndUnit)
{
    IntrusivePointer<RenderPass> pass = new RenderPass(materials(), renderState.get(), nullptr);
    pass->setTextureLocationName(VERTEX, 1, "normals");
    pass->setTextureLocationName(FRAGMENT, 0, "other");
    pass->setTextureLocationName(FRAGMENT, 2, "s+diffuse");
    pass->setTextureLocationName(FRAGMENT, 3, "diffuse");
    pass->setTextureLocationName(GEOMETRY, 0, "diffuse");

    struct Case
    {
        const char* name;
        const char* sampler;
        bool found;
        int type;
        int index;
    } cases[] = {
        {"diffuse", "s", true, FRAGMENT, 2}, {"diffuse", "", true, FRAGMENT, 3}, {"normals", "s", true, VERTEX, 1},
        {"other", "x", true, FRAGMENT, 0},   {"missing", "s", false, -1, -1},
    };
    for (const Case& c : cases) {
        Shader::ShaderType type = static_cast<Shader::ShaderType>(-1);
        int index = -1;
        EXPECT_EQ(pass->findTexture(type, index, c.name, c.sampler), c.found) << c.name << " " << c.sampler;
        EXPECT_EQ(static_cast<int>(type), c.type) << c.name << " " << c.sampler;
        EXPECT_EQ(index, c.index) << c.name << " " << c.sampler;
    }
}

TEST_F(RenderPassTest, LooksABlockMemberUpOnlyInItsBlock)
{
    IntrusivePointer<RenderPass> pass =
        passWith({{VERTEX,
                   {variableBlock("", {{"block.member", 0x0406, 0}, {"loose", 0x0106, 16}}),
                    variableBlock("block", {{"other", 0x0406, 32}})}}});
    add(*pass, "block.member", 1, 0x0406);
    add(*pass, "block.other", 1, 0x0406);
    add(*pass, "loose", 2);
    pass->compile();

    EXPECT_EQ(pass->getVariable(0).location, -1);
    EXPECT_EQ(pass->getVariable(1).location, 32);
    EXPECT_EQ(pass->getVariable(2).location, 16);
    ASSERT_EQ(pass->getNumBuffers(VERTEX), 2);
    EXPECT_EQ(pass->getBuffer(VERTEX, 0)->variables.size(), 1);
    EXPECT_EQ(pass->getBuffer(VERTEX, 0)->variables[0], 2);
    EXPECT_EQ(pass->getBuffer(VERTEX, 1)->name.c_str(), std::string("block"));
    EXPECT_EQ(pass->getBuffer(VERTEX, 1)->variables.size(), 1);
    EXPECT_EQ(recorded["block.member"]->linkedPasses.size(), 0u);
    EXPECT_EQ(recorded["block.other"]->linkedPasses, std::vector<RenderPass*>{pass.get()});
    EXPECT_EQ(sceneWarnings(), std::vector<std::string>{"RenderVariable not found with name:block.member"});
}

TEST_F(RenderPassTest, LinksFormatsThatDifferOnlyInFlagBitsAndAddsThoseBits)
{
    struct Case
    {
        int shaderFormat;
        int variableFormat;
        bool links;
        int linkedFormat;
        const char* warning;
    } cases[] = {
        {0x0406, 0x0406, true, 0x0406, nullptr},
        {0x0D06, 0x40000D06, true, 0x40000D06, nullptr},
        {0x0D06, 0x00030D06, true, 0x00030D06, nullptr},
        {0x0406, 0x7FFF0406, true, 0x7FFF0406, nullptr},
        {0x0406, static_cast<int>(0x80000406u), false, 0x0406,
         "RenderVariable:v format does not match format:1030!=-2147482618"},
        {static_cast<int>(0x80000D06u), 0x0D06, false, static_cast<int>(0x80000D06u),
         "RenderVariable:v format does not match format:-2147480314!=3334"},
        {0x0406, 0x0106, false, 0x0406, "RenderVariable:v format does not match format:1030!=262"},
    };
    for (const Case& c : cases) {
        logs.entries.clear();
        IntrusivePointer<VariableBufferFormat> block = variableBlock("", {{"v", c.shaderFormat, 0}});
        IntrusivePointer<RenderPass> pass = passWith({{FRAGMENT, {block}}});
        add(*pass, "v", 1, c.variableFormat);
        pass->compile();

        SCOPED_TRACE(testing::Message() << std::hex << c.shaderFormat << " " << c.variableFormat);
        EXPECT_EQ(pass->getVariable(0).location, c.links ? 0 : -1);
        EXPECT_EQ(block->getVariable(0)->format, c.linkedFormat);
        EXPECT_EQ(pass->getBuffer(FRAGMENT, 0)->variables.size(), c.links ? 1 : 0);
        EXPECT_EQ(sceneWarnings(), c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
    }
}

TEST_F(RenderPassTest, RefreshesEachBufferInTheCallForItsHighestScope)
{
    IntrusivePointer<RenderPass> pass =
        passWith({{VERTEX,
                   {variableBlock("", {{"one", 0x0106, 0}}), variableBlock("two", {{"b", 0x0106, 0}}),
                    variableBlock("mixed", {{"c", 0x0106, 0}, {"d", 0x0106, 16}})}}});
    add(*pass, "one", 1, 0x0106, 1.5f);
    add(*pass, "two.b", 2, 0x0106, 2.5f);
    add(*pass, "mixed.c", 1, 0x0106, 3.5f);
    add(*pass, "mixed.d", 2, 0x0106, 4.5f);
    pass->compile();
    EXPECT_EQ(pass->getBuffer(VERTEX, 2)->scope, 3);
    IntrusivePointer<SceneParameters> parameters = new SceneParameters();

    pass->updateVariables(1, parameters.get());
    EXPECT_EQ(recorded["one"]->updates, 1);
    EXPECT_EQ(recorded["two.b"]->updates, 0);
    EXPECT_EQ(recorded["mixed.c"]->updates, 0);
    EXPECT_EQ(recorded["mixed.d"]->updates, 0);

    pass->updateVariables(2, parameters.get());
    EXPECT_EQ(recorded["one"]->updates, 1);
    EXPECT_EQ(recorded["two.b"]->updates, 1);
    EXPECT_EQ(recorded["mixed.c"]->updates, 1);
    EXPECT_EQ(recorded["mixed.d"]->updates, 1);

    EXPECT_EQ(floatAt(deviceBuffer(*pass, VERTEX, 0), 0), 1.5f);
    EXPECT_EQ(floatAt(deviceBuffer(*pass, VERTEX, 1), 0), 2.5f);
    EXPECT_EQ(floatAt(deviceBuffer(*pass, VERTEX, 2), 0), 3.5f);
    EXPECT_EQ(floatAt(deviceBuffer(*pass, VERTEX, 2), 16), 4.5f);
}

TEST_F(RenderPassTest, SkipsABufferWhoseLockGivesNoMemory)
{
    IntrusivePointer<RenderPass> pass = passWith({{VERTEX, {variableBlock("", {{"one", 0x0106, 0}})}}});
    add(*pass, "one", 1);
    pass->compile();
    support::RecordingBuffer* buffer = deviceBuffer(*pass, VERTEX, 0);
    buffer->nullLock = true;
    calls->take();

    IntrusivePointer<SceneParameters> parameters = new SceneParameters();
    pass->updateVariables(1, parameters.get());
    EXPECT_EQ(recorded["one"]->updates, 0);
    EXPECT_EQ(calls->take(), std::vector<std::string>{"variableBuffer1.lock(2)"});
}

TEST_F(RenderPassTest, AFixedFunctionPassOnlyReportsTexturesItCannotPlace)
{
    IntrusivePointer<RenderPass> pass = new RenderPass(materials(), renderState.get(), nullptr);
    add(*pass, "modelViewProjectionMatrix", 2, 0x0D06);
    IntrusivePointer<support::RecordingTexture> texture = new support::RecordingTexture(calls, "image");
    pass->setTexture("tex", texture.get(), "samp", SamplerState(), TextureState());
    calls->take();

    EXPECT_TRUE(pass->compile());
    EXPECT_EQ(pass->getNumBuffers(VERTEX), 0);
    EXPECT_EQ(pass->getVariable(0).location, -1);
    EXPECT_EQ(sceneWarnings(), std::vector<std::string>{"Texture not found with name:tex"});
    EXPECT_EQ(calls->take(), std::vector<std::string>{});
}

TEST_F(RenderPassTest, BindsATextureByNameToTheUnitOfItsSampler)
{
    IntrusivePointer<RenderPass> pass =
        passWith({{FRAGMENT, {variableBlock("", {{"shadow", 0x0009, 0, 0}, {"tex", 0x0009, 4, 1}})}}});
    IntrusivePointer<support::RecordingTexture> texture = new support::RecordingTexture(calls, "image");
    SamplerState sampler;
    sampler.uAddress = SamplerState::AddressType_CLAMP_TO_EDGE;
    TextureState stage;
    stage.matrix.data[12] = 0.5f;
    pass->setTexture("tex", texture.get(), "samp", sampler, stage);
    calls->take();
    pass->compile();

    ASSERT_EQ(pass->getNumTextures(FRAGMENT), 2);
    EXPECT_EQ(pass->getTexture(FRAGMENT, 0)->name.c_str(), std::string("shadow"));
    EXPECT_EQ(pass->getTexture(FRAGMENT, 0)->texture, nullptr);
    EXPECT_EQ(pass->getTexture(FRAGMENT, 1)->texture, texture.get());
    SamplerState kept;
    ASSERT_TRUE(renderState->getSamplerState(FRAGMENT, 1, kept));
    EXPECT_EQ(kept.uAddress, SamplerState::AddressType_CLAMP_TO_EDGE);
    TextureState keptStage;
    ASSERT_TRUE(renderState->getTextureState(FRAGMENT, 1, keptStage));
    EXPECT_EQ(keptStage.matrix.data[12], 0.5f);
    EXPECT_EQ(sceneWarnings(), std::vector<std::string>{});
}

TEST_F(RenderPassTest, ATextureByUnitGrowsTheListAndNeedsARenderStateAndAValidSlot)
{
    IntrusivePointer<support::RecordingTexture> texture = new support::RecordingTexture(calls, "image");
    IntrusivePointer<RenderPass> pass = new RenderPass(materials(), renderState.get(), nullptr);
    EXPECT_TRUE(pass->setTexture(GEOMETRY, 3, texture.get(), SamplerState(), TextureState()));
    ASSERT_EQ(pass->getNumTextures(GEOMETRY), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pass->getTexture(GEOMETRY, i)->texture, nullptr) << i;
    }
    EXPECT_EQ(pass->getTexture(GEOMETRY, 3)->texture, texture.get());
    EXPECT_EQ(pass->getNumTextures(VERTEX), 0);
    SamplerState kept;
    EXPECT_TRUE(renderState->getSamplerState(GEOMETRY, 3, kept));
    EXPECT_FALSE(renderState->getSamplerState(GEOMETRY, 2, kept));

    EXPECT_FALSE(pass->setTexture(static_cast<Shader::ShaderType>(3), 0, texture.get(), SamplerState(),
                                  TextureState()));
    EXPECT_FALSE(pass->setTexture(FRAGMENT, -1, texture.get(), SamplerState(), TextureState()));
    EXPECT_FALSE(pass->setBuffer(static_cast<Shader::ShaderType>(-1), 0, nullptr));
    EXPECT_FALSE(pass->setTextureLocationName(FRAGMENT, -2, "x"));
    EXPECT_FALSE(pass->setBufferLocationName(static_cast<Shader::ShaderType>(5), 0, "x"));
    EXPECT_EQ(pass->getNumTextures(FRAGMENT), 0);

    IntrusivePointer<RenderPass> stateless = new RenderPass(materials(), nullptr, nullptr);
    EXPECT_FALSE(stateless->setTexture(FRAGMENT, 0, texture.get(), SamplerState(), TextureState()));
    EXPECT_EQ(stateless->getNumTextures(FRAGMENT), 0);
}

TEST_F(RenderPassTest, CompilingAgainLinksTheSameVariablesOnce)
{
    IntrusivePointer<RenderPass> pass =
        passWith({{VERTEX, {variableBlock("", {{"a", 0x0106, 0}, {"b", 0x0406, 16}})}},
                  {FRAGMENT, {variableBlock("", {{"c", 0x0106, 0}})}}});
    add(*pass, "a", 1);
    add(*pass, "b", 2, 0x0406);
    add(*pass, "c", 1);
    add(*pass, "missing", 1);

    auto snapshot = [&] {
        std::vector<int> lists;
        for (Shader::ShaderType type : {VERTEX, FRAGMENT}) {
            const RenderPass::BufferData* buffer = pass->getBuffer(type, 0);
            lists.push_back(buffer->scope);
            for (int index : buffer->variables) {
                lists.push_back(index);
            }
            lists.push_back(-9);
        }
        for (int i = 0; i < pass->getNumVariables(); ++i) {
            lists.push_back(pass->getVariable(i).location);
        }
        return lists;
    };
    pass->compile();
    const std::vector<int> first = snapshot();
    EXPECT_EQ(first, (std::vector<int>{3, 0, 1, -9, 1, 2, -9, 0, 16, 0, -1}));
    pass->compile();
    EXPECT_EQ(snapshot(), first);
}

TEST_F(RenderPassTest, DestroysTheBuffersItMadeWhenItRecompilesOrGoesButNotThoseItWasGiven)
{
    const auto& listed = engine->getBufferManager()->getVariableBuffers();
    IntrusivePointer<RenderPass> pass = passWith({{VERTEX, {variableBlock("", {{"a", 0x0106, 0}})}},
                                                  {FRAGMENT, {variableBlock("", {{"c", 0x0106, 0}})}}});
    pass->compile();
    ASSERT_EQ(listed.size(), 2);
    // A recompile replaces them: the buffer manager lists only the new ones.
    pass->compile();
    EXPECT_EQ(listed.size(), 2);

    // A copy shares the source's buffers until its own compile, and destroys only what it made.
    IntrusivePointer<RenderPass> copy = new RenderPass(materials(), pass.get());
    copy->destroy();
    EXPECT_EQ(listed.size(), 2);

    // A buffer given to the pass is the giver's.
    IntrusivePointer<rezezaz::render::VariableBuffer> given = engine->getBufferManager()->createVariableBuffer(
        1, 2, variableBlock("", {{"a", 0x0106, 0}}));
    ASSERT_EQ(listed.size(), 3);
    pass->setBuffer(FRAGMENT, 0, given.get());
    EXPECT_EQ(listed.size(), 2);
    pass->destroy();
    EXPECT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0], given.get());
}

TEST_F(RenderPassTest, ASetShaderWithoutAnyShaderStateToHaveChangesNothing)
{
    // An engine without a device has no shader state to give.
    IntrusivePointer<rezezaz::scene::Engine> bare = new rezezaz::scene::Engine(nullptr, nullptr);
    IntrusivePointer<RenderPass> pass = new RenderPass(bare->getMaterialManager());
    EXPECT_EQ(pass->getShaderState(), nullptr);
    pass->setShader(VERTEX, nullptr);
    EXPECT_EQ(pass->getShaderState(), nullptr);
    EXPECT_TRUE(pass->compile());
}

TEST_F(RenderPassTest, IsDepthSortedWhenItsRenderStateWritesNoDepth)
{
    IntrusivePointer<RenderPass> pass = new RenderPass(materials(), renderState.get(), nullptr);
    EXPECT_FALSE(pass->isDepthSorted());
    rezezaz::render::DepthState depth;
    renderState->setDepthState(depth);
    EXPECT_FALSE(pass->isDepthSorted());
    depth.write = false;
    renderState->setDepthState(depth);
    EXPECT_TRUE(pass->isDepthSorted());
    EXPECT_FALSE(IntrusivePointer<RenderPass>(new RenderPass(materials(), nullptr, nullptr))->isDepthSorted());
}

} // namespace
