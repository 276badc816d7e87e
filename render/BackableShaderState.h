#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/ShaderState.h"

namespace rezezaz::render {

// The device-independent shader program: one shader per shader type, replayed onto each device
// shader state that backs it. Made by the material manager; owns its back and holds its shaders.
class BackableShaderState : public BaseRenderResource<ShaderState>, protected BackHolder<ShaderState>
{
public:
    BackableShaderState() = default;

    // Destroys and releases the back and lets go of the shaders, then tells the destroyed-listener.
    void destroy() override;

    // The back itself, null without one.
    ShaderState* getRootShaderState() override;
    bool create() override;
    // Keeps shader for type (a negative type is ignored) and passes it on to the back.
    void setShader(Shader::ShaderType type, core::IntrusivePointer<Shader> shader) override;
    // Null for a type never set.
    core::IntrusivePointer<Shader> getShader(Shader::ShaderType type) override;
    // The back's answers; 0 and null without a back.
    int getNumVariableBuffers(Shader::ShaderType type) override;
    core::IntrusivePointer<VariableBufferFormat> getVariableBufferFormat(Shader::ShaderType type,
                                                                         int index) override;

    // Destroys a held back that differs from back, holds back, creates it and gives it every shader
    // slot in type order, empty ones as null.
    virtual void setBack(core::IntrusivePointer<ShaderState> back);
    virtual core::IntrusivePointer<ShaderState> getBack() const;

private:
    core::Collection<core::IntrusivePointer<Shader>> shaders_;
};

} // namespace rezezaz::render
