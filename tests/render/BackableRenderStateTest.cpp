#include "render/BackableRenderState.h"

#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/ResourceDestroyedListener.h"
#include "support/CallLog.h"
#include "support/RecordingRenderState.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rezezaz::render {
namespace {

using core::IntrusivePointer;
using support::CallLog;
using support::RecordingRenderState;
using Calls = std::vector<std::string>;

class DestroyRecorder : public core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(core::Resource* resource) override { told.push_back(resource); }
    std::vector<core::Resource*> told;
};

class BackableRenderStateTest : public ::testing::Test
{
protected:
    IntrusivePointer<RecordingRenderState> newBack(const char* label)
    {
        return IntrusivePointer<RecordingRenderState>(new RecordingRenderState(log, label));
    }

    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    IntrusivePointer<BackableRenderState> state{new BackableRenderState()};
};

TEST_F(BackableRenderStateTest, RecordsSetWithoutBackAreReplayedInOrderOntoEachNewBack)
{
    FogState fog;
    fog.density = 0.25f;
    BlendState blend;
    blend.source = BlendState::Operation_SRC_ALPHA;
    SamplerState linear;
    linear.minFilter = SamplerState::FilterType_LINEAR;
    // Set in an order other than the replay order.
    state->setTextureState(Shader::ShaderType_VERTEX, 1, TextureState());
    state->setSamplerState(Shader::ShaderType_GEOMETRY, 0, SamplerState());
    state->setFogState(fog);
    state->setSamplerState(Shader::ShaderType_FRAGMENT, 1, linear);
    state->setMaterialState(MaterialState());
    state->setBlendState(BlendState());
    state->setGeometryState(GeometryState());
    state->setBlendState(blend);
    state->setRasterizerState(RasterizerState());
    state->setSamplerState(Shader::ShaderType_VERTEX, 0, SamplerState());
    state->setDepthState(DepthState());
    EXPECT_EQ(state->getRootRenderState(), nullptr);
    EXPECT_TRUE(state->create());

    IntrusivePointer<RecordingRenderState> first = newBack("first");
    state->setBack(first);
    const Calls replay = {"first.setBlendState()",      "first.setDepthState()",
                          "first.setRasterizerState()", "first.setFogState()",
                          "first.setGeometryState()",   "first.setMaterialState()",
                          "first.setSamplerState(0,0)",
                          "first.setSamplerState(1,1)", "first.setSamplerState(2,0)",
                          "first.setTextureState(0,1)"};
    EXPECT_EQ(log->take(), replay);
    EXPECT_EQ(state->getRootRenderState(), first.get());
    EXPECT_EQ(first->blend->source, BlendState::Operation_SRC_ALPHA);
    EXPECT_EQ(first->fog->density, 0.25f);
    EXPECT_EQ(first->samplers.at({1, 1}).minFilter, SamplerState::FilterType_LINEAR);

    // The same back again is kept and gets everything once more.
    state->setBack(first);
    Calls again = log->take();
    EXPECT_EQ(again.size(), replay.size());
    EXPECT_EQ(again.front(), "first.setBlendState()");

    // A different back destroys the old one first.
    IntrusivePointer<RecordingRenderState> second = newBack("second");
    state->setBack(second);
    Calls calls = log->take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "first.destroy()");
    EXPECT_EQ(calls.size(), replay.size() + 1);

    // Losing the context destroys the back; the records stay and answer again.
    state->setBack(nullptr);
    EXPECT_EQ(log->take(), Calls{"second.destroy()"});
    EXPECT_EQ(state->getBack(), nullptr);
    BlendState out;
    ASSERT_TRUE(state->getBlendState(out));
    EXPECT_EQ(out.source, BlendState::Operation_SRC_ALPHA);
    EXPECT_EQ(state->getSetStates(), RenderState::State_BLEND | RenderState::State_DEPTH |
                                         RenderState::State_RASTERIZER | RenderState::State_FOG |
                                         RenderState::State_GEOMETRY | RenderState::State_MATERIAL);
    SamplerState sampler;
    ASSERT_TRUE(state->getSamplerState(Shader::ShaderType_FRAGMENT, 1, sampler));
    EXPECT_EQ(sampler.minFilter, SamplerState::FilterType_LINEAR);
    EXPECT_FALSE(state->getSamplerState(Shader::ShaderType_FRAGMENT, 0, sampler));
}

TEST_F(BackableRenderStateTest, ChangesGoOnToTheBackAndTheBackAnswers)
{
    IntrusivePointer<RecordingRenderState> back = newBack("back");
    state->setBack(back);
    DepthState depth;
    depth.write = false;
    state->setDepthState(depth);
    state->setTextureState(Shader::ShaderType_FRAGMENT, 3, TextureState());
    EXPECT_EQ(log->take(), (Calls{"back.setDepthState()", "back.setTextureState(1,3)"}));

    // A state set on the back directly is reported, as the back holds it.
    BlendState blend;
    blend.dest = BlendState::Operation_ONE_MINUS_SRC_ALPHA;
    back->setBlendState(blend);
    BlendState out;
    ASSERT_TRUE(state->getBlendState(out));
    EXPECT_EQ(out.dest, BlendState::Operation_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(state->getSetStates(), RenderState::State_BLEND | RenderState::State_DEPTH);
    back->setSamplerState(Shader::ShaderType_VERTEX, 4, SamplerState());
    EXPECT_EQ(state->getNumSamplerStates(Shader::ShaderType_VERTEX), 5);

    // Without the back only what went through the wrapper is known.
    state->setBack(nullptr);
    EXPECT_FALSE(state->getBlendState(out));
    EXPECT_EQ(state->getSetStates(), RenderState::State_DEPTH);
    EXPECT_EQ(state->getNumSamplerStates(Shader::ShaderType_VERTEX), 0);
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_FRAGMENT), 4);
}

TEST_F(BackableRenderStateTest, EachShaderTypeCountsItsOwnSlots)
{
    state->setTextureState(Shader::ShaderType_FRAGMENT, 2, TextureState());
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_FRAGMENT), 3);
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_VERTEX), 0);
    EXPECT_EQ(state->getNumTextureStates(Shader::ShaderType_GEOMETRY), 0);
    EXPECT_EQ(state->getNumSamplerStates(Shader::ShaderType_FRAGMENT), 0);
    TextureState out;
    EXPECT_FALSE(state->getTextureState(Shader::ShaderType_FRAGMENT, 1, out));
    EXPECT_TRUE(state->getTextureState(Shader::ShaderType_FRAGMENT, 2, out));
    EXPECT_FALSE(state->getTextureState(Shader::ShaderType_FRAGMENT, 3, out));

    // A shader type that does not exist or a negative slot is ignored, not written out of bounds.
    const auto badType = static_cast<Shader::ShaderType>(3);
    state->setTextureState(badType, 0, TextureState());
    state->setSamplerState(Shader::ShaderType_VERTEX, -1, SamplerState());
    EXPECT_EQ(state->getNumTextureStates(badType), 0);
    EXPECT_FALSE(state->getTextureState(badType, 0, out));
    EXPECT_EQ(state->getNumSamplerStates(Shader::ShaderType_VERTEX), 0);
    IntrusivePointer<RecordingRenderState> back = newBack("back");
    state->setBack(back);
    EXPECT_EQ(log->take(), Calls{"back.setTextureState(1,2)"});
}

TEST_F(BackableRenderStateTest, DestroyDestroysTheBackAndForgetsTheRecords)
{
    state->setBlendState(BlendState());
    IntrusivePointer<RecordingRenderState> back = newBack("back");
    state->setBack(back);
    log->take();
    DestroyRecorder recorder;
    state->setDestroyedListener(&recorder);

    state->destroy();
    EXPECT_EQ(log->take(), Calls{"back.destroy()"});
    EXPECT_EQ(state->getBack(), nullptr);
    EXPECT_EQ(state->getSetStates(), 0);
    ASSERT_EQ(recorder.told.size(), 1u);
    EXPECT_EQ(recorder.told[0], state->resourceThis());

    // Releasing the last reference later does not destroy the back a second time.
    state = nullptr;
    EXPECT_TRUE(log->calls.empty());
}

} // namespace
} // namespace rezezaz::render
