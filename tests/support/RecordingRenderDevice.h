#pragma once

#include "core/Categories.h"
#include "core/Error.h"
#include "render/BackableVertexFormat.h"
#include "render/IndexData.h"
#include "render/RenderDevice.h"
#include "support/CallLog.h"
#include "support/RecordingBuffer.h"
#include "support/RecordingPixelBufferRenderTarget.h"
#include "support/RecordingRenderTarget.h"
#include "support/RecordingRenderState.h"
#include "support/RecordingShader.h"
#include "support/RecordingShaderState.h"
#include "support/RecordingTexture.h"

#include <map>
#include <set>
#include <string>
#include <utility>

namespace support {

// A render device without a context for device-independent code: it answers capability, pixel-format
// and profile questions as a test sets them up, and makes recording resources that share its call
// log, labelled by kind and number ("indexBuffer1", "texture2"); vertex formats are plain in-memory ones.
// Its context and draw-path calls go to the same log as "<label>.<operation>(arguments)" (label "device"
// unless a test names it), resources by
// their names; drawing itself does nothing. Its primary target has the size a test sets. It can be told
// to raise the engine's error from createShader or createShaderState. It lives on the stack of a test,
// so it carries no count.
class RecordingRenderDevice : public rezezaz::render::RenderDevice
{
public:
    using String = rezezaz::core::String;
    using Matrix4x4 = rezezaz::core::math::Matrix4x4;
    using Vector4 = rezezaz::core::math::Vector4;

    explicit RecordingRenderDevice(SharedCallLog log) : log_(std::move(log)) {}

    int32_t retain() override { return 1; }
    int32_t release() override { return 1; }

    bool create(rezezaz::render::RenderTarget*, int) override { return true; }
    void destroy() override {}
    void activate() override { record("activate()"); }
    bool reset() override
    {
        record("reset()");
        return true;
    }
    bool activateAdditionalContext() override { return false; }

    rezezaz::render::Texture* createTexture() override { return new RecordingTexture(log_, next("texture")); }
    rezezaz::render::PixelBufferRenderTarget* createPixelBufferRenderTarget() override
    {
        return new RecordingPixelBufferRenderTarget(log_, next("target"));
    }
    rezezaz::render::PixelBuffer* createPixelBuffer() override
    {
        return new RecordingBuffer(log_, next("pixelBuffer"));
    }
    // A format in memory: it keeps its elements as a device format does.
    rezezaz::render::VertexFormat* createVertexFormat() override
    {
        return new rezezaz::render::BackableVertexFormat();
    }
    rezezaz::render::VertexBuffer* createVertexBuffer() override
    {
        return new RecordingBuffer(log_, next("vertexBuffer"));
    }
    rezezaz::render::IndexBuffer* createIndexBuffer() override
    {
        return new RecordingBuffer(log_, next("indexBuffer"));
    }
    rezezaz::render::VariableBuffer* createVariableBuffer() override
    {
        return new RecordingBuffer(log_, next("variableBuffer"));
    }
    rezezaz::render::Shader* createShader() override
    {
        if (raiseFromCreateShader) {
            rezezaz::core::Error::unknown(rezezaz::core::Categories::REZEZAZ_RENDER, false, "createShader: refused");
        }
        return new RecordingShader(log_, next("shader"));
    }
    rezezaz::render::Query* createQuery() override { return nullptr; }
    rezezaz::render::RenderState* createRenderState() override
    {
        return new RecordingRenderState(log_, next("renderState"));
    }
    rezezaz::render::ShaderState* createShaderState() override
    {
        if (raiseFromCreateShaderState) {
            rezezaz::core::Error::unknown(rezezaz::core::Categories::REZEZAZ_RENDER, false,
                                          "createShaderState: refused");
        }
        return new RecordingShaderState(log_, next("shaderState"));
    }

    rezezaz::render::RenderTarget* getPrimaryRenderTarget() override { return &primaryTarget; }
    bool setRenderTarget(rezezaz::render::RenderTarget* target) override
    {
        record("setRenderTarget(" + name(target) + ")");
        target_ = target;
        return true;
    }
    rezezaz::render::RenderTarget* getRenderTarget() override { return target_; }
    void setViewport(const rezezaz::render::Viewport& viewport) override
    {
        record("setViewport(" + std::to_string(viewport.x) + "," + std::to_string(viewport.y) + "," +
               std::to_string(viewport.width) + "," + std::to_string(viewport.height) + ")");
    }
    void clear(int flags, const Vector4&) override { record("clear(" + std::to_string(flags) + ")"); }
    void swap() override { record("swap()"); }
    void beginScene() override { record("beginScene()"); }
    void endScene() override { record("endScene()"); }
    void renderPrimitive(rezezaz::render::VertexData*, rezezaz::render::IndexData* indexData) override
    {
        record("renderPrimitive(" +
               (indexData == nullptr ? std::string("null")
                                     : std::to_string(indexData->primitive) + "," + std::to_string(indexData->start) +
                                           "," + std::to_string(indexData->count)) +
               ")");
    }
    bool copyFrameBufferToPixelBuffer(rezezaz::render::PixelBuffer*) override { return false; }
    bool copyPixelBuffer(rezezaz::render::PixelBuffer*, rezezaz::render::PixelBuffer*) override
    {
        return false;
    }
    void setDefaultState() override { record("setDefaultState()"); }
    bool setRenderState(rezezaz::render::RenderState* state) override
    {
        record("setRenderState(" + name(state) + ")");
        return true;
    }
    bool setShaderState(rezezaz::render::ShaderState* state) override
    {
        record("setShaderState(" + name(state) + ")");
        return true;
    }
    void setBuffer(rezezaz::render::Shader::ShaderType type, int index,
                   rezezaz::render::VariableBuffer* buffer) override
    {
        record("setBuffer(" + std::to_string(type) + "," + std::to_string(index) + "," + name(buffer) + ")");
    }
    void setTexture(rezezaz::render::Shader::ShaderType type, int index, rezezaz::render::Texture* texture) override
    {
        record("setTexture(" + std::to_string(type) + "," + std::to_string(index) + "," + name(texture) + ")");
    }
    void setMatrix(MatrixType type, const Matrix4x4&) override { record("setMatrix(" + std::to_string(type) + ")"); }
    void setAmbientColor(const Vector4&) override { record("setAmbientColor()"); }
    void setLightState(int light, const rezezaz::render::LightState&) override
    {
        record("setLightState(" + std::to_string(light) + ")");
    }
    void setLightEnabled(int light, bool enabled) override
    {
        record("setLightEnabled(" + std::to_string(light) + "," + (enabled ? "1" : "0") + ")");
    }

    // The pixel format set for pixelFormat in closeFormats, else pixelFormat itself.
    int getClosePixelFormat(int pixelFormat, int) override
    {
        auto found = closeFormats.find(pixelFormat);
        return found == closeFormats.end() ? pixelFormat : found->second;
    }
    bool getShaderProfileSupported(const String& profile) override
    {
        return profiles.count(profile.c_str()) != 0;
    }
    void getShadowBiasMatrix(const rezezaz::render::Texture*, Matrix4x4&) override {}
    bool getRenderCaps(rezezaz::render::RenderCaps& result) override
    {
        result = caps;
        return true;
    }

    rezezaz::render::RenderCaps caps;
    std::map<int, int> closeFormats;
    std::set<std::string> profiles{"glsl"};
    RecordingRenderTarget primaryTarget;
    // The name of the device's own calls in the log.
    std::string label = "device";
    bool raiseFromCreateShader = false;
    bool raiseFromCreateShaderState = false;

private:
    // A resource in the log: its name, "null" without one.
    template <class T> static std::string name(T* resource)
    {
        return resource == nullptr ? "null" : resource->getName().c_str();
    }
    void record(const std::string& call) { log_->add(label + "." + call); }

    std::string next(const std::string& kind) { return kind + std::to_string(++counts_[kind]); }

    SharedCallLog log_;
    std::map<std::string, int> counts_;
    rezezaz::render::RenderTarget* target_ = nullptr;
};

} // namespace support
