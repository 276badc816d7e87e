#pragma once

#include "render/BackableVertexFormat.h"
#include "render/RenderDevice.h"
#include "support/CallLog.h"
#include "support/RecordingBuffer.h"
#include "support/RecordingPixelBufferRenderTarget.h"
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
// Drawing does nothing. It lives on the stack of a test, so it carries no count.
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
    void activate() override {}
    bool reset() override { return true; }
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
    rezezaz::render::Shader* createShader() override { return new RecordingShader(log_, next("shader")); }
    rezezaz::render::Query* createQuery() override { return nullptr; }
    rezezaz::render::RenderState* createRenderState() override
    {
        return new RecordingRenderState(log_, next("renderState"));
    }
    rezezaz::render::ShaderState* createShaderState() override
    {
        return new RecordingShaderState(log_, next("shaderState"));
    }

    rezezaz::render::RenderTarget* getPrimaryRenderTarget() override { return nullptr; }
    bool setRenderTarget(rezezaz::render::RenderTarget*) override { return true; }
    rezezaz::render::RenderTarget* getRenderTarget() override { return nullptr; }
    void setViewport(const rezezaz::render::Viewport&) override {}
    void clear(int, const Vector4&) override {}
    void swap() override {}
    void beginScene() override {}
    void endScene() override {}
    void renderPrimitive(rezezaz::render::VertexData*, rezezaz::render::IndexData*) override {}
    bool copyFrameBufferToPixelBuffer(rezezaz::render::PixelBuffer*) override { return false; }
    bool copyPixelBuffer(rezezaz::render::PixelBuffer*, rezezaz::render::PixelBuffer*) override
    {
        return false;
    }
    void setDefaultState() override {}
    bool setRenderState(rezezaz::render::RenderState*) override { return true; }
    bool setShaderState(rezezaz::render::ShaderState*) override { return true; }
    void setBuffer(rezezaz::render::Shader::ShaderType, int, rezezaz::render::VariableBuffer*) override {}
    void setTexture(rezezaz::render::Shader::ShaderType, int, rezezaz::render::Texture*) override {}
    void setMatrix(MatrixType, const Matrix4x4&) override {}
    void setAmbientColor(const Vector4&) override {}
    void setLightState(int, const rezezaz::render::LightState&) override {}
    void setLightEnabled(int, bool) override {}

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

private:
    std::string next(const std::string& kind) { return kind + std::to_string(++counts_[kind]); }

    SharedCallLog log_;
    std::map<std::string, int> counts_;
};

} // namespace support
