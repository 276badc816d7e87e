#include "render/BackableRenderState.h"

namespace rezezaz::render {

template <class State>
void BackableRenderState::pass(const State& state, void (RenderState::*setter)(const State&))
{
    records_.set(state);
    if (back_) {
        (back_.get()->*setter)(state);
    }
}

template <class State>
bool BackableRenderState::answer(State& state, bool (RenderState::*getter)(State&) const) const
{
    return back_ ? (back_.get()->*getter)(state) : records_.get(state);
}

template <class State>
void BackableRenderState::pass(Shader::ShaderType type, int index, const State& state,
                               void (RenderState::*setter)(Shader::ShaderType, int, const State&))
{
    if (records_.set(type, index, state) && back_) {
        (back_.get()->*setter)(type, index, state);
    }
}

template <class State>
bool BackableRenderState::answer(Shader::ShaderType type, int index, State& state,
                                 bool (RenderState::*getter)(Shader::ShaderType, int, State&) const) const
{
    return back_ ? (back_.get()->*getter)(type, index, state) : records_.get(type, index, state);
}

void BackableRenderState::destroy()
{
    destroyBack();
    records_.clear();
    BaseRenderResource<RenderState>::destroy();
}

RenderState* BackableRenderState::getRootRenderState()
{
    return back_.get();
}

bool BackableRenderState::create()
{
    return true;
}

int BackableRenderState::getSetStates() const
{
    return back_ ? back_->getSetStates() : records_.getSetStates();
}

void BackableRenderState::setBlendState(const BlendState& state)
{
    pass(state, &RenderState::setBlendState);
}

bool BackableRenderState::getBlendState(BlendState& state) const
{
    return answer(state, &RenderState::getBlendState);
}

void BackableRenderState::setDepthState(const DepthState& state)
{
    pass(state, &RenderState::setDepthState);
}

bool BackableRenderState::getDepthState(DepthState& state) const
{
    return answer(state, &RenderState::getDepthState);
}

void BackableRenderState::setRasterizerState(const RasterizerState& state)
{
    pass(state, &RenderState::setRasterizerState);
}

bool BackableRenderState::getRasterizerState(RasterizerState& state) const
{
    return answer(state, &RenderState::getRasterizerState);
}

void BackableRenderState::setFogState(const FogState& state)
{
    pass(state, &RenderState::setFogState);
}

bool BackableRenderState::getFogState(FogState& state) const
{
    return answer(state, &RenderState::getFogState);
}

void BackableRenderState::setGeometryState(const GeometryState& state)
{
    pass(state, &RenderState::setGeometryState);
}

bool BackableRenderState::getGeometryState(GeometryState& state) const
{
    return answer(state, &RenderState::getGeometryState);
}

void BackableRenderState::setMaterialState(const MaterialState& state)
{
    pass(state, &RenderState::setMaterialState);
}

bool BackableRenderState::getMaterialState(MaterialState& state) const
{
    return answer(state, &RenderState::getMaterialState);
}

void BackableRenderState::setSamplerState(Shader::ShaderType type, int index, const SamplerState& state)
{
    pass(type, index, state, &RenderState::setSamplerState);
}

bool BackableRenderState::getSamplerState(Shader::ShaderType type, int index, SamplerState& state) const
{
    return answer(type, index, state, &RenderState::getSamplerState);
}

int BackableRenderState::getNumSamplerStates(Shader::ShaderType type) const
{
    return back_ ? back_->getNumSamplerStates(type) : records_.count<SamplerState>(type);
}

void BackableRenderState::setTextureState(Shader::ShaderType type, int index, const TextureState& state)
{
    pass(type, index, state, &RenderState::setTextureState);
}

bool BackableRenderState::getTextureState(Shader::ShaderType type, int index, TextureState& state) const
{
    return answer(type, index, state, &RenderState::getTextureState);
}

int BackableRenderState::getNumTextureStates(Shader::ShaderType type) const
{
    return back_ ? back_->getNumTextureStates(type) : records_.count<TextureState>(type);
}

void BackableRenderState::setBack(core::IntrusivePointer<RenderState> back)
{
    if (replaceBack(back.get())) {
        records_.replayOnto(*back_);
    }
}

core::IntrusivePointer<RenderState> BackableRenderState::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
