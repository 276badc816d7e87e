#include "render/gl/GLRenderState.h"

namespace rezezaz::render {

GLRenderState::GLRenderState(GLRenderDevice* device_) : device(device_) {}

GLRenderState::~GLRenderState() = default;

void GLRenderState::destroy()
{
    records.clear();
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
    return records.getSetStates();
}

void GLRenderState::setBlendState(const BlendState& state)
{
    records.set(state);
}

bool GLRenderState::getBlendState(BlendState& state) const
{
    return records.get(state);
}

void GLRenderState::setDepthState(const DepthState& state)
{
    records.set(state);
}

bool GLRenderState::getDepthState(DepthState& state) const
{
    return records.get(state);
}

void GLRenderState::setRasterizerState(const RasterizerState& state)
{
    records.set(state);
}

bool GLRenderState::getRasterizerState(RasterizerState& state) const
{
    return records.get(state);
}

void GLRenderState::setFogState(const FogState& state)
{
    records.set(state);
}

bool GLRenderState::getFogState(FogState& state) const
{
    return records.get(state);
}

void GLRenderState::setGeometryState(const GeometryState& state)
{
    records.set(state);
}

bool GLRenderState::getGeometryState(GeometryState& state) const
{
    return records.get(state);
}

void GLRenderState::setMaterialState(const MaterialState& state)
{
    records.set(state);
}

bool GLRenderState::getMaterialState(MaterialState& state) const
{
    return records.get(state);
}

// Every shader type reads and writes the one list.

int GLRenderState::getNumSamplerStates(Shader::ShaderType) const
{
    return records.count<SamplerState>(0);
}

void GLRenderState::setSamplerState(Shader::ShaderType, int index, const SamplerState& state)
{
    records.set(0, index, state);
}

bool GLRenderState::getSamplerState(Shader::ShaderType, int index, SamplerState& state) const
{
    return records.get(0, index, state);
}

int GLRenderState::getNumTextureStates(Shader::ShaderType) const
{
    return records.count<TextureState>(0);
}

void GLRenderState::setTextureState(Shader::ShaderType, int index, const TextureState& state)
{
    records.set(0, index, state);
}

bool GLRenderState::getTextureState(Shader::ShaderType, int index, TextureState& state) const
{
    return records.get(0, index, state);
}

} // namespace rezezaz::render
