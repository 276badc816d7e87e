#pragma once

#include "core/Categories.h"
#include "core/Error.h"
#include "core/String.h"
#include "render/BaseRenderResource.h"
#include "render/Shader.h"
#include "support/CallLog.h"

#include <string>
#include <utility>

namespace support {

// A device shader that logs each compile. Code equal to refusedCode fails to compile; code equal to
// raisingCode raises the engine's error.
class RecordingShader : public rezezaz::render::BaseRenderResource<rezezaz::render::Shader>
{
public:
    RecordingShader(SharedCallLog log, std::string label) : log_(std::move(log)), label_(std::move(label)) {}

    rezezaz::render::Shader* getRootShader() override { return this; }
    bool create(ShaderType type, const rezezaz::core::String& profile,
                const rezezaz::core::String& code) override
    {
        record("create(" + std::to_string(type) + "," + profile.c_str() + "," + code.c_str() + ")");
        if (code.equals(raisingCode.c_str())) {
            rezezaz::core::Error::unknown(rezezaz::core::Categories::REZEZAZ_RENDER, false,
                                          "create: no compiler");
        }
        if (code.equals(refusedCode.c_str())) {
            return false;
        }
        type_ = type;
        profile_ = profile;
        return true;
    }
    ShaderType getShaderType() const override { return type_; }
    const rezezaz::core::String& getProfile() const override { return profile_; }

    void fullyReleased() override
    {
        finalRelease_ = true;
        BaseRenderResource::fullyReleased();
    }

    void destroy() override
    {
        record("destroy()");
        BaseRenderResource::destroy();
    }

    std::string refusedCode = "refused";
    std::string raisingCode = "raising";

private:
    void record(const std::string& call)
    {
        if (!finalRelease_) {
            log_->add(label_ + "." + call);
        }
    }

    SharedCallLog log_;
    std::string label_;
    // The destroy that the last release runs is not logged: only calls that someone made are.
    bool finalRelease_ = false;
    ShaderType type_ = ShaderType_VERTEX;
    rezezaz::core::String profile_;
};

} // namespace support
