#pragma once

#include "core/Resource.h"
#include "core/String.h"

namespace rezezaz::render {

// One shader stage compiled from source in a profile the device supports.
class Shader : public core::Resource
{
public:
    // Also the index of per-type arrays.
    enum ShaderType : int
    {
        ShaderType_VERTEX = 0,
        ShaderType_FRAGMENT = 1,
        ShaderType_GEOMETRY = 2,
    };
    static constexpr int NUM_SHADER_TYPES = 3;

    virtual Shader* getRootShader() = 0;
    virtual bool create(ShaderType type, const core::String& profile, const core::String& code) = 0;
    virtual ShaderType getShaderType() const = 0;
    virtual const core::String& getProfile() const = 0;
};

} // namespace rezezaz::render
