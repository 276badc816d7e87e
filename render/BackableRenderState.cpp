#include "render/BackableRenderState.h"

namespace rezezaz::render {

namespace {

template <class State> void store(std::unique_ptr<State>& slot, const State& state)
{
    if (slot) {
        *slot = state;
    } else {
        slot = std::make_unique<State>(state);
    }
}

template <class State> bool load(const std::unique_ptr<State>& slot, State& state)
{
    if (!slot) {
        return false;
    }
    state = *slot;
    return true;
}

bool validSlot(Shader::ShaderType type, int index)
{
    return type >= 0 && type < Shader::NUM_SHADER_TYPES && index >= 0;
}

template <class State> void storeAt(std::vector<std::unique_ptr<State>>& slots, int index, const State& state)
{
    if (index >= static_cast<int>(slots.size())) {
        slots.resize(static_cast<size_t>(index) + 1);
    }
    store(slots[index], state);
}

template <class State> bool loadAt(const std::vector<std::unique_ptr<State>>& slots, int index, State& state)
{
    if (index >= static_cast<int>(slots.size())) {
        return false;
    }
    return load(slots[index], state);
}

} // namespace

void BackableRenderState::destroy()
{
    core::IntrusivePointer<RenderState> back = back_;
    back_ = nullptr;
    if (back) {
        back->destroy();
    }
    blendState_.reset();
    depthState_.reset();
    rasterizerState_.reset();
    fogState_.reset();
    geometryState_.reset();
    materialState_.reset();
    for (int type = 0; type < Shader::NUM_SHADER_TYPES; ++type) {
        samplerStates_[type].clear();
        textureStates_[type].clear();
    }
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
    if (back_) {
        return back_->getSetStates();
    }
    int states = 0;
    if (blendState_) {
        states |= State_BLEND;
    }
    if (depthState_) {
        states |= State_DEPTH;
    }
    if (rasterizerState_) {
        states |= State_RASTERIZER;
    }
    if (fogState_) {
        states |= State_FOG;
    }
    if (geometryState_) {
        states |= State_GEOMETRY;
    }
    if (materialState_) {
        states |= State_MATERIAL;
    }
    return states;
}

void BackableRenderState::setBlendState(const BlendState& state)
{
    store(blendState_, state);
    if (back_) {
        back_->setBlendState(state);
    }
}

bool BackableRenderState::getBlendState(BlendState& state) const
{
    return back_ ? back_->getBlendState(state) : load(blendState_, state);
}

void BackableRenderState::setDepthState(const DepthState& state)
{
    store(depthState_, state);
    if (back_) {
        back_->setDepthState(state);
    }
}

bool BackableRenderState::getDepthState(DepthState& state) const
{
    return back_ ? back_->getDepthState(state) : load(depthState_, state);
}

void BackableRenderState::setRasterizerState(const RasterizerState& state)
{
    store(rasterizerState_, state);
    if (back_) {
        back_->setRasterizerState(state);
    }
}

bool BackableRenderState::getRasterizerState(RasterizerState& state) const
{
    return back_ ? back_->getRasterizerState(state) : load(rasterizerState_, state);
}

void BackableRenderState::setFogState(const FogState& state)
{
    store(fogState_, state);
    if (back_) {
        back_->setFogState(state);
    }
}

bool BackableRenderState::getFogState(FogState& state) const
{
    return back_ ? back_->getFogState(state) : load(fogState_, state);
}

void BackableRenderState::setGeometryState(const GeometryState& state)
{
    store(geometryState_, state);
    if (back_) {
        back_->setGeometryState(state);
    }
}

bool BackableRenderState::getGeometryState(GeometryState& state) const
{
    return back_ ? back_->getGeometryState(state) : load(geometryState_, state);
}

void BackableRenderState::setMaterialState(const MaterialState& state)
{
    store(materialState_, state);
    if (back_) {
        back_->setMaterialState(state);
    }
}

bool BackableRenderState::getMaterialState(MaterialState& state) const
{
    return back_ ? back_->getMaterialState(state) : load(materialState_, state);
}

void BackableRenderState::setSamplerState(Shader::ShaderType type, int index, const SamplerState& state)
{
    if (!validSlot(type, index)) {
        return;
    }
    storeAt(samplerStates_[type], index, state);
    if (back_) {
        back_->setSamplerState(type, index, state);
    }
}

bool BackableRenderState::getSamplerState(Shader::ShaderType type, int index, SamplerState& state) const
{
    if (back_) {
        return back_->getSamplerState(type, index, state);
    }
    return validSlot(type, index) && loadAt(samplerStates_[type], index, state);
}

int BackableRenderState::getNumSamplerStates(Shader::ShaderType type) const
{
    if (back_) {
        return back_->getNumSamplerStates(type);
    }
    return validSlot(type, 0) ? static_cast<int>(samplerStates_[type].size()) : 0;
}

void BackableRenderState::setTextureState(Shader::ShaderType type, int index, const TextureState& state)
{
    if (!validSlot(type, index)) {
        return;
    }
    storeAt(textureStates_[type], index, state);
    if (back_) {
        back_->setTextureState(type, index, state);
    }
}

bool BackableRenderState::getTextureState(Shader::ShaderType type, int index, TextureState& state) const
{
    if (back_) {
        return back_->getTextureState(type, index, state);
    }
    return validSlot(type, index) && loadAt(textureStates_[type], index, state);
}

int BackableRenderState::getNumTextureStates(Shader::ShaderType type) const
{
    if (back_) {
        return back_->getNumTextureStates(type);
    }
    return validSlot(type, 0) ? static_cast<int>(textureStates_[type].size()) : 0;
}

void BackableRenderState::setBack(core::IntrusivePointer<RenderState> back)
{
    if (back_ && back_ != back) {
        back_->destroy();
    }
    back_ = back;
    if (!back_) {
        return;
    }
    if (blendState_) {
        back_->setBlendState(*blendState_);
    }
    if (depthState_) {
        back_->setDepthState(*depthState_);
    }
    if (rasterizerState_) {
        back_->setRasterizerState(*rasterizerState_);
    }
    if (fogState_) {
        back_->setFogState(*fogState_);
    }
    if (geometryState_) {
        back_->setGeometryState(*geometryState_);
    }
    if (materialState_) {
        back_->setMaterialState(*materialState_);
    }
    for (int type = 0; type < Shader::NUM_SHADER_TYPES; ++type) {
        const Slots<SamplerState>& slots = samplerStates_[type];
        for (int index = 0; index < static_cast<int>(slots.size()); ++index) {
            if (slots[index]) {
                back_->setSamplerState(static_cast<Shader::ShaderType>(type), index, *slots[index]);
            }
        }
    }
    for (int type = 0; type < Shader::NUM_SHADER_TYPES; ++type) {
        const Slots<TextureState>& slots = textureStates_[type];
        for (int index = 0; index < static_cast<int>(slots.size()); ++index) {
            if (slots[index]) {
                back_->setTextureState(static_cast<Shader::ShaderType>(type), index, *slots[index]);
            }
        }
    }
}

core::IntrusivePointer<RenderState> BackableRenderState::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
