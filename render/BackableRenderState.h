#pragma once

#include "core/IntrusivePointer.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/RenderState.h"
#include "render/RenderStateRecords.h"

namespace rezezaz::render {

// The device-independent render state that materials hold. It keeps its own copy of every record,
// so it outlives the render context; while a device render state backs it, changes go on to the back
// and questions are answered by the back, and a new back gets every stored record replayed onto it.
// Owns its back.
class BackableRenderState : public BaseRenderResource<RenderState>, protected BackHolder<RenderState>
{
public:
    BackableRenderState() = default;

    // Destroys and releases the back, frees every record, then tells the destroyed-listener.
    void destroy() override;

    // The back, null without one: the device applies the back when it is given this state.
    RenderState* getRootRenderState() override;
    bool create() override;
    int getSetStates() const override;
    void setBlendState(const BlendState& state) override;
    bool getBlendState(BlendState& state) const override;
    void setDepthState(const DepthState& state) override;
    bool getDepthState(DepthState& state) const override;
    void setRasterizerState(const RasterizerState& state) override;
    bool getRasterizerState(RasterizerState& state) const override;
    void setFogState(const FogState& state) override;
    bool getFogState(FogState& state) const override;
    void setGeometryState(const GeometryState& state) override;
    bool getGeometryState(GeometryState& state) const override;
    void setMaterialState(const MaterialState& state) override;
    bool getMaterialState(MaterialState& state) const override;
    // Each shader type has lists of its own. A type outside the three or a negative index is
    // ignored (and answers false or a count of 0).
    void setSamplerState(Shader::ShaderType type, int index, const SamplerState& state) override;
    bool getSamplerState(Shader::ShaderType type, int index, SamplerState& state) const override;
    int getNumSamplerStates(Shader::ShaderType type) const override;
    void setTextureState(Shader::ShaderType type, int index, const TextureState& state) override;
    bool getTextureState(Shader::ShaderType type, int index, TextureState& state) const override;
    int getNumTextureStates(Shader::ShaderType type) const override;

    // Destroys a held back that differs from back, holds back and replays every stored record onto
    // it: the six single states, then the sampler states and the texture states of each shader type.
    virtual void setBack(core::IntrusivePointer<RenderState> back);
    virtual core::IntrusivePointer<RenderState> getBack() const;

private:
    // Keeps a single state and passes it on to the back; answers from the back, else the record.
    template <class State> void pass(const State& state, void (RenderState::*setter)(const State&));
    template <class State> bool answer(State& state, bool (RenderState::*getter)(State&) const) const;
    // The same for a stage of a shader type; what the records refuse does not reach the back.
    template <class State>
    void pass(Shader::ShaderType type, int index, const State& state,
              void (RenderState::*setter)(Shader::ShaderType, int, const State&));
    template <class State>
    bool answer(Shader::ShaderType type, int index, State& state,
                bool (RenderState::*getter)(Shader::ShaderType, int, State&) const) const;

    // One list of stages per shader type.
    RenderStateRecords records_{Shader::NUM_SHADER_TYPES};
};

} // namespace rezezaz::render
