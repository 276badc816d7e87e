#pragma once

#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "render/Shader.h"
#include "render/VariableBufferFormat.h"

namespace rezezaz::render {

// The shaders drawn together (a program) and the variable blocks they read.
class ShaderState : public core::Resource
{
public:
    virtual ShaderState* getRootShaderState() = 0;
    virtual bool create() = 0;
    // A null shader empties the stage.
    virtual void setShader(Shader::ShaderType type, core::IntrusivePointer<Shader> shader) = 0;
    virtual core::IntrusivePointer<Shader> getShader(Shader::ShaderType type) = 0;
    virtual int getNumVariableBuffers(Shader::ShaderType type) = 0;
    virtual core::IntrusivePointer<VariableBufferFormat> getVariableBufferFormat(Shader::ShaderType type,
                                                                                 int index) = 0;
};

} // namespace rezezaz::render
