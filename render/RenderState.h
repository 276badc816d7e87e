#pragma once

#include "core/Resource.h"
#include "render/BlendState.h"
#include "render/DepthState.h"
#include "render/FogState.h"
#include "render/GeometryState.h"
#include "render/MaterialState.h"
#include "render/RasterizerState.h"
#include "render/SamplerState.h"
#include "render/Shader.h"
#include "render/TextureState.h"

namespace rezezaz::render {

// A set of fixed-pipeline states set on the device together. Each single state is kept only once it
// is set; a getter of a state never set returns false and leaves its output untouched.
class RenderState : public core::Resource
{
public:
    // Bits of getSetStates.
    enum StateBit : int
    {
        State_BLEND = 1,
        State_DEPTH = 2,
        State_RASTERIZER = 4,
        State_FOG = 8,
        State_GEOMETRY = 16,
        State_MATERIAL = 32,
    };

    virtual RenderState* getRootRenderState() = 0;
    virtual bool create() = 0;
    virtual int getSetStates() const = 0;
    virtual void setBlendState(const BlendState& state) = 0;
    virtual bool getBlendState(BlendState& state) const = 0;
    virtual void setDepthState(const DepthState& state) = 0;
    virtual bool getDepthState(DepthState& state) const = 0;
    virtual void setRasterizerState(const RasterizerState& state) = 0;
    virtual bool getRasterizerState(RasterizerState& state) const = 0;
    virtual void setFogState(const FogState& state) = 0;
    virtual bool getFogState(FogState& state) const = 0;
    virtual void setGeometryState(const GeometryState& state) = 0;
    virtual bool getGeometryState(GeometryState& state) const = 0;
    virtual void setMaterialState(const MaterialState& state) = 0;
    virtual bool getMaterialState(MaterialState& state) const = 0;
    virtual void setSamplerState(Shader::ShaderType type, int index, const SamplerState& state) = 0;
    virtual bool getSamplerState(Shader::ShaderType type, int index, SamplerState& state) const = 0;
    virtual int getNumSamplerStates(Shader::ShaderType type) const = 0;
    virtual void setTextureState(Shader::ShaderType type, int index, const TextureState& state) = 0;
    virtual bool getTextureState(Shader::ShaderType type, int index, TextureState& state) const = 0;
    virtual int getNumTextureStates(Shader::ShaderType type) const = 0;
};

} // namespace rezezaz::render
