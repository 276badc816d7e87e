#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/ShaderState.h"
#include "support/CallLog.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace support {

// A device shader state that keeps its shaders and logs each change, naming a shader by its
// resource name ("null" for none).
class RecordingShaderState : public rezezaz::render::BaseRenderResource<rezezaz::render::ShaderState>
{
public:
    template <class T> using Pointer = rezezaz::core::IntrusivePointer<T>;
    using ShaderType = rezezaz::render::Shader::ShaderType;

    RecordingShaderState(SharedCallLog log, std::string label)
        : log_(std::move(log)), label_(std::move(label))
    {}

    rezezaz::render::ShaderState* getRootShaderState() override { return this; }
    bool create() override
    {
        record("create()");
        return true;
    }
    void setShader(ShaderType type, Pointer<rezezaz::render::Shader> shader) override
    {
        record("setShader(" + std::to_string(type) + "," + (shader ? shader->getName().c_str() : "null") +
               ")");
        shaders[type] = shader;
    }
    Pointer<rezezaz::render::Shader> getShader(ShaderType type) override
    {
        auto found = shaders.find(type);
        return found == shaders.end() ? nullptr : found->second;
    }
    int getNumVariableBuffers(ShaderType type) override
    {
        auto found = variableFormats.find(type);
        if (found != variableFormats.end()) {
            return static_cast<int>(found->second.size());
        }
        return variableFormat ? 1 : 0;
    }
    Pointer<rezezaz::render::VariableBufferFormat> getVariableBufferFormat(ShaderType type, int index) override
    {
        auto found = variableFormats.find(type);
        if (found != variableFormats.end()) {
            const auto& formats = found->second;
            return index >= 0 && index < static_cast<int>(formats.size()) ? formats[static_cast<size_t>(index)]
                                                                          : nullptr;
        }
        return index == 0 ? variableFormat : nullptr;
    }

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

    std::map<int, Pointer<rezezaz::render::Shader>> shaders;
    // The one variable block of every stage that has no list of its own in variableFormats, if set.
    Pointer<rezezaz::render::VariableBufferFormat> variableFormat;
    // The variable blocks of a stage, in buffer index order (entries may be null).
    std::map<int, std::vector<Pointer<rezezaz::render::VariableBufferFormat>>> variableFormats;

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
};

} // namespace support
