#include "render/BackableShader.h"

#include "core/Exception.h"
#include "render/RenderDevice.h"

namespace rezezaz::render {

bool BackableShader::convertCreate(core::IntrusivePointer<Shader> back, RenderDevice* device, ShaderType type,
                                   const core::String* profiles, const core::String* codes, int count)
{
    if (!back || device == nullptr || profiles == nullptr || codes == nullptr) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!device->getShaderProfileSupported(profiles[i]) || codes[i].length() == 0) {
            continue;
        }
        try {
            if (back->create(type, profiles[i], codes[i])) {
                return true;
            }
        } catch (const core::Exception&) {
            // The next profile may compile.
        }
    }
    return false;
}

void BackableShader::destroy()
{
    destroyBack();
    profiles_.clear();
    codes_.clear();
    BaseRenderResource::destroy();
}

Shader* BackableShader::getRootShader()
{
    return back_ ? back_->getRootShader() : nullptr;
}

bool BackableShader::create(ShaderType type, const core::String& profile, const core::String& code)
{
    return create(type, &profile, &code, 1);
}

bool BackableShader::create(ShaderType type, const core::String* profiles, const core::String* codes,
                            int count)
{
    if (count < 0 || (count > 0 && (profiles == nullptr || codes == nullptr))) {
        return false;
    }
    type_ = type;
    profiles_.resize(count);
    codes_.resize(count);
    for (int i = 0; i < count; ++i) {
        profiles_[i] = profiles[i];
        codes_[i] = codes[i];
    }
    return true;
}

Shader::ShaderType BackableShader::getShaderType() const
{
    return type_;
}

const core::String& BackableShader::getProfile() const
{
    return back_ ? back_->getProfile() : noProfile_;
}

void BackableShader::setBack(core::IntrusivePointer<Shader> back, RenderDevice* device)
{
    if (!replaceBack(back.get())) {
        return;
    }
    const int count = profiles_.size();
    if (count == 0 || !convertCreate(back_, device, type_, &profiles_[0], &codes_[0], count)) {
        back_ = nullptr;
    }
}

core::IntrusivePointer<Shader> BackableShader::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
