#pragma once

#include "core/String.h"
#include "render/BaseRenderResource.h"
#include "render/Shader.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;

// One compiled GLSL shader object of one stage.
class GLSLShader : public BaseRenderResource<Shader>
{
public:
    explicit GLSLShader(GLRenderDevice* device);

    // Deletes the shader object, then tells the listener.
    void destroy() override;
    // Deletes the shader object only.
    bool destroyContext();

    Shader* getRootShader() override { return this; }
    // Compiles code for the stage. False for a stage other than vertex, fragment and geometry; a
    // compile error throws Error::unknown with "glsl compile error:\n" and the info log.
    bool create(ShaderType type, const core::String& profile, const core::String& code) override;
    ShaderType getShaderType() const override { return shaderType; }
    const core::String& getProfile() const override { return profile; }

    unsigned int getHandle() const { return handle; }
    GLRenderDevice* getDevice() const { return device; }

private:
    GLDeviceRef device;
    ShaderType shaderType = ShaderType_VERTEX;
    core::String profile;
    core::String code;
    uint32_t handle = 0;
    uint32_t glShaderKind = 0;
};

} // namespace rezezaz::render
