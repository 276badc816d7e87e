#include "render/gl/GLRenderState.h"

namespace rezezaz::render {

namespace {

// The first set makes the record; later ones copy into it, so pointers to it stay good.
template <class Record> void keep(std::unique_ptr<Record>& slot, const Record& state)
{
    if (slot) {
        *slot = state;
    } else {
        slot = std::make_unique<Record>(state);
    }
}

template <class Record> bool give(const std::unique_ptr<Record>& slot, Record& state)
{
    if (!slot) {
        return false;
    }
    state = *slot;
    return true;
}

template <class Record> void keepAt(std::vector<std::unique_ptr<Record>>& slots, int index, const Record& state)
{
    if (index < 0) {
        return;
    }
    if (index >= static_cast<int>(slots.size())) {
        slots.resize(index + 1);
    }
    keep(slots[index], state);
}

template <class Record> bool giveAt(const std::vector<std::unique_ptr<Record>>& slots, int index, Record& state)
{
    if (index < 0 || index >= static_cast<int>(slots.size())) {
        return false;
    }
    return give(slots[index], state);
}

} // namespace

GLRenderState::GLRenderState(GLRenderDevice* device_) : device(device_) {}

GLRenderState::~GLRenderState() = default;

void GLRenderState::destroy()
{
    blendState.reset();
    depthState.reset();
    rasterizerState.reset();
    fogState.reset();
    geometryState.reset();
    materialState.reset();
    samplerStates.clear();
    textureStates.clear();
    BaseRenderResource<RenderState>::destroy();
}

RenderState* GLRenderState::getRootRenderState()
{
    return this;
}

bool GLRenderState::create()
{
    return true;
}

int GLRenderState::getSetStates() const
{
    int set = 0;
    set |= blendState ? State_BLEND : 0;
    set |= depthState ? State_DEPTH : 0;
    set |= rasterizerState ? State_RASTERIZER : 0;
    set |= fogState ? State_FOG : 0;
    set |= geometryState ? State_GEOMETRY : 0;
    set |= materialState ? State_MATERIAL : 0;
    return set;
}

void GLRenderState::setBlendState(const BlendState& state)
{
    keep(blendState, state);
}

bool GLRenderState::getBlendState(BlendState& state) const
{
    return give(blendState, state);
}

void GLRenderState::setDepthState(const DepthState& state)
{
    keep(depthState, state);
}

bool GLRenderState::getDepthState(DepthState& state) const
{
    return give(depthState, state);
}

void GLRenderState::setRasterizerState(const RasterizerState& state)
{
    keep(rasterizerState, state);
}

bool GLRenderState::getRasterizerState(RasterizerState& state) const
{
    return give(rasterizerState, state);
}

void GLRenderState::setFogState(const FogState& state)
{
    keep(fogState, state);
}

bool GLRenderState::getFogState(FogState& state) const
{
    return give(fogState, state);
}

void GLRenderState::setGeometryState(const GeometryState& state)
{
    keep(geometryState, state);
}

bool GLRenderState::getGeometryState(GeometryState& state) const
{
    return give(geometryState, state);
}

void GLRenderState::setMaterialState(const MaterialState& state)
{
    keep(materialState, state);
}

bool GLRenderState::getMaterialState(MaterialState& state) const
{
    return give(materialState, state);
}

int GLRenderState::getNumSamplerStates(Shader::ShaderType) const
{
    return static_cast<int>(samplerStates.size());
}

void GLRenderState::setSamplerState(Shader::ShaderType, int index, const SamplerState& state)
{
    keepAt(samplerStates, index, state);
}

bool GLRenderState::getSamplerState(Shader::ShaderType, int index, SamplerState& state) const
{
    return giveAt(samplerStates, index, state);
}

int GLRenderState::getNumTextureStates(Shader::ShaderType) const
{
    return static_cast<int>(textureStates.size());
}

void GLRenderState::setTextureState(Shader::ShaderType, int index, const TextureState& state)
{
    keepAt(textureStates, index, state);
}

bool GLRenderState::getTextureState(Shader::ShaderType, int index, TextureState& state) const
{
    return giveAt(textureStates, index, state);
}

} // namespace rezezaz::render
