#include "render/BackableShaderState.h"

namespace rezezaz::render {

void BackableShaderState::destroy()
{
    destroyBack();
    shaders_.clear();
    BaseRenderResource::destroy();
}

ShaderState* BackableShaderState::getRootShaderState()
{
    return back_.get();
}

bool BackableShaderState::create()
{
    return true;
}

void BackableShaderState::setShader(Shader::ShaderType type, core::IntrusivePointer<Shader> shader)
{
    if (type < 0) {
        return;
    }
    if (type >= shaders_.size()) {
        shaders_.resize(type + 1);
    }
    shaders_[type] = shader;
    if (back_) {
        back_->setShader(type, shader);
    }
}

core::IntrusivePointer<Shader> BackableShaderState::getShader(Shader::ShaderType type)
{
    if (type < 0 || type >= shaders_.size()) {
        return nullptr;
    }
    return shaders_[type];
}

int BackableShaderState::getNumVariableBuffers(Shader::ShaderType type)
{
    return back_ ? back_->getNumVariableBuffers(type) : 0;
}

core::IntrusivePointer<VariableBufferFormat>
BackableShaderState::getVariableBufferFormat(Shader::ShaderType type, int index)
{
    return back_ ? back_->getVariableBufferFormat(type, index) : nullptr;
}

void BackableShaderState::setBack(core::IntrusivePointer<ShaderState> back)
{
    if (!replaceBack(back.get())) {
        return;
    }
    back_->create();
    for (int type = 0; type < shaders_.size(); ++type) {
        back_->setShader(static_cast<Shader::ShaderType>(type), shaders_[type]);
    }
}

core::IntrusivePointer<ShaderState> BackableShaderState::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
