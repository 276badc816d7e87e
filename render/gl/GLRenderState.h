#pragma once

#include "render/BaseRenderResource.h"
#include "render/RenderState.h"
#include "render/RenderStateRecords.h"
#include "render/gl/GLDeviceRef.h"

namespace rezezaz::render {

class GLRenderDevice;

// The OpenGL device's render state: a container of the state records that GLRenderDevice::setRenderState
// turns into OpenGL calls. Each single state is kept once it is set; sampler and texture states are
// kept per stage, one collection for all shader types. The device keeps pointers into the records
// while this is its state, so the records stay where they are once made.
class GLRenderState : public BaseRenderResource<RenderState>
{
public:
    explicit GLRenderState(GLRenderDevice* device);
    ~GLRenderState() override;

    // Frees every record; the object can be filled again. Then tells the destroyed listener.
    void destroy() override;

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
    int getNumSamplerStates(Shader::ShaderType type) const override;
    void setSamplerState(Shader::ShaderType type, int index, const SamplerState& state) override;
    bool getSamplerState(Shader::ShaderType type, int index, SamplerState& state) const override;
    int getNumTextureStates(Shader::ShaderType type) const override;
    void setTextureState(Shader::ShaderType type, int index, const TextureState& state) override;
    bool getTextureState(Shader::ShaderType type, int index, TextureState& state) const override;

    // The device that made the state.
    GLRenderDevice* getDevice() const { return device; }

    // The records as the device reads them: null where unset.
    const BlendState* blend() const { return records.find<BlendState>(); }
    const DepthState* depth() const { return records.find<DepthState>(); }
    const RasterizerState* rasterizer() const { return records.find<RasterizerState>(); }
    const FogState* fog() const { return records.find<FogState>(); }
    const GeometryState* geometry() const { return records.find<GeometryState>(); }
    const MaterialState* material() const { return records.find<MaterialState>(); }
    SamplerState* sampler(int index) const { return records.find<SamplerState>(0, index); }
    TextureState* texture(int index) const { return records.find<TextureState>(0, index); }

private:
    GLDeviceRef device;
    // One list of stages that every shader type shares.
    RenderStateRecords records{1};
};

} // namespace rezezaz::render
