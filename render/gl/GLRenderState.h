#pragma once

#include "render/BaseRenderResource.h"
#include "render/RenderState.h"
#include "render/gl/GLDeviceRef.h"

#include <memory>
#include <vector>

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
    const BlendState* blend() const { return blendState.get(); }
    const DepthState* depth() const { return depthState.get(); }
    const RasterizerState* rasterizer() const { return rasterizerState.get(); }
    const FogState* fog() const { return fogState.get(); }
    const GeometryState* geometry() const { return geometryState.get(); }
    const MaterialState* material() const { return materialState.get(); }
    SamplerState* sampler(int index) const
    {
        return index >= 0 && index < static_cast<int>(samplerStates.size()) ? samplerStates[index].get() : nullptr;
    }
    TextureState* texture(int index) const
    {
        return index >= 0 && index < static_cast<int>(textureStates.size()) ? textureStates[index].get() : nullptr;
    }

private:
    GLDeviceRef device;
    std::unique_ptr<BlendState> blendState;
    std::unique_ptr<DepthState> depthState;
    std::unique_ptr<RasterizerState> rasterizerState;
    std::unique_ptr<FogState> fogState;
    std::unique_ptr<GeometryState> geometryState;
    std::unique_ptr<MaterialState> materialState;
    std::vector<std::unique_ptr<SamplerState>> samplerStates;
    std::vector<std::unique_ptr<TextureState>> textureStates;
};

} // namespace rezezaz::render
