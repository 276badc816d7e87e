#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/Shader.h"

namespace rezezaz::render {

class RenderDevice;

// The device-independent shader: the source of one stage in several shading languages (profiles),
// compiled on whichever device exists, again after each loss of the render context, with the first
// profile the device supports. Made by the shader manager; owns its back.
class BackableShader : public BaseRenderResource<Shader>, protected BackHolder<Shader>
{
public:
    // Compiles back with the first of the count profiles that the device supports and whose code is
    // not empty; a profile whose compile fails or raises the engine's error is passed over. False
    // when none compiles, without a back or without a device.
    static bool convertCreate(core::IntrusivePointer<Shader> back, RenderDevice* device, ShaderType type,
                              const core::String* profiles, const core::String* codes, int count);

    BackableShader() = default;

    // Destroys and releases the back and forgets the code, then tells the destroyed-listener.
    void destroy() override;

    // The back's root, null without a back.
    Shader* getRootShader() override;
    // One profile and its code.
    bool create(ShaderType type, const core::String& profile, const core::String& code) override;
    // count profiles and codes, tried in that order; a negative count or missing arrays are refused.
    virtual bool create(ShaderType type, const core::String* profiles, const core::String* codes, int count);
    ShaderType getShaderType() const override;
    // The profile the back was compiled with; empty without a back.
    const core::String& getProfile() const override;

    // Destroys a held back that differs from back, holds back and compiles the code into it. When no
    // profile compiles the back is let go (not destroyed) and the shader stays without one.
    virtual void setBack(core::IntrusivePointer<Shader> back, RenderDevice* device);
    virtual core::IntrusivePointer<Shader> getBack() const;

private:
    ShaderType type_ = ShaderType_VERTEX;
    core::Collection<core::String> profiles_;
    core::Collection<core::String> codes_;
    core::String noProfile_;
};

} // namespace rezezaz::render
