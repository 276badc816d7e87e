#pragma once

#include "render/BackableBuffer.h"
#include "render/BackablePixelBufferRenderTarget.h"
#include "render/BackableRenderState.h"
#include "render/BackableShader.h"
#include "render/BackableShaderState.h"
#include "render/BackableTexture.h"
#include "render/BackableVertexFormat.h"
#include "render/RenderDevice.h"
#include "support/RecordingRenderTarget.h"

#include <array>
#include <cstdint>

namespace support {

// A render device that only counts its context and draw-path calls, by kind, without building any
// text, so that timing the code that drives it measures that code and not a log. Its resources are
// the in-memory backable ones; its primary target has the size a test or benchmark sets. It lives on
// the stack of its user, so it carries no count of references.
class CountingRenderDevice : public rezezaz::render::RenderDevice
{
public:
    enum Call : int
    {
        Call_SET_RENDER_TARGET,
        Call_SET_VIEWPORT,
        Call_CLEAR,
        Call_RENDER_PRIMITIVE,
        Call_SET_RENDER_STATE,
        Call_SET_SHADER_STATE,
        Call_SET_BUFFER,
        Call_SET_TEXTURE,
        Call_SET_MATRIX,
        Call_SET_AMBIENT_COLOR,
        Call_SET_LIGHT_STATE,
        Call_SET_LIGHT_ENABLED,
        Call_OTHER,
        Call_COUNT,
    };

    using Matrix4x4 = rezezaz::core::math::Matrix4x4;
    using Vector4 = rezezaz::core::math::Vector4;

    int32_t retain() override { return 1; }
    int32_t release() override { return 1; }

    bool create(rezezaz::render::RenderTarget*, int) override { return true; }
    void destroy() override {}
    void activate() override { count(Call_OTHER); }
    bool reset() override
    {
        count(Call_OTHER);
        return true;
    }
    bool activateAdditionalContext() override { return false; }

    rezezaz::render::Texture* createTexture() override { return new rezezaz::render::BackableTexture(); }
    rezezaz::render::PixelBufferRenderTarget* createPixelBufferRenderTarget() override
    {
        return new rezezaz::render::BackablePixelBufferRenderTarget();
    }
    rezezaz::render::PixelBuffer* createPixelBuffer() override { return new rezezaz::render::BackableBuffer(); }
    rezezaz::render::VertexFormat* createVertexFormat() override
    {
        return new rezezaz::render::BackableVertexFormat();
    }
    rezezaz::render::VertexBuffer* createVertexBuffer() override { return new rezezaz::render::BackableBuffer(); }
    rezezaz::render::IndexBuffer* createIndexBuffer() override { return new rezezaz::render::BackableBuffer(); }
    rezezaz::render::VariableBuffer* createVariableBuffer() override
    {
        return new rezezaz::render::BackableBuffer();
    }
    rezezaz::render::Shader* createShader() override { return new rezezaz::render::BackableShader(); }
    rezezaz::render::Query* createQuery() override { return nullptr; }
    rezezaz::render::RenderState* createRenderState() override { return new rezezaz::render::BackableRenderState(); }
    rezezaz::render::ShaderState* createShaderState() override
    {
        return new rezezaz::render::BackableShaderState();
    }

    rezezaz::render::RenderTarget* getPrimaryRenderTarget() override { return &primaryTarget; }
    bool setRenderTarget(rezezaz::render::RenderTarget* target) override
    {
        count(Call_SET_RENDER_TARGET);
        target_ = target;
        return true;
    }
    rezezaz::render::RenderTarget* getRenderTarget() override { return target_; }
    void setViewport(const rezezaz::render::Viewport&) override { count(Call_SET_VIEWPORT); }
    void clear(int, const Vector4&) override { count(Call_CLEAR); }
    void swap() override { count(Call_OTHER); }
    void beginScene() override { count(Call_OTHER); }
    void endScene() override { count(Call_OTHER); }
    void renderPrimitive(rezezaz::render::VertexData*, rezezaz::render::IndexData*) override
    {
        count(Call_RENDER_PRIMITIVE);
    }
    bool copyFrameBufferToPixelBuffer(rezezaz::render::PixelBuffer*) override { return false; }
    bool copyPixelBuffer(rezezaz::render::PixelBuffer*, rezezaz::render::PixelBuffer*) override { return false; }
    void setDefaultState() override { count(Call_OTHER); }
    bool setRenderState(rezezaz::render::RenderState*) override
    {
        count(Call_SET_RENDER_STATE);
        return true;
    }
    bool setShaderState(rezezaz::render::ShaderState*) override
    {
        count(Call_SET_SHADER_STATE);
        return true;
    }
    void setBuffer(rezezaz::render::Shader::ShaderType, int, rezezaz::render::VariableBuffer*) override
    {
        count(Call_SET_BUFFER);
    }
    void setTexture(rezezaz::render::Shader::ShaderType, int, rezezaz::render::Texture*) override
    {
        count(Call_SET_TEXTURE);
    }
    void setMatrix(MatrixType, const Matrix4x4&) override { count(Call_SET_MATRIX); }
    void setAmbientColor(const Vector4&) override { count(Call_SET_AMBIENT_COLOR); }
    void setLightState(int, const rezezaz::render::LightState&) override { count(Call_SET_LIGHT_STATE); }
    void setLightEnabled(int, bool) override { count(Call_SET_LIGHT_ENABLED); }

    int getClosePixelFormat(int pixelFormat, int) override { return pixelFormat; }
    bool getShaderProfileSupported(const rezezaz::core::String&) override { return false; }
    void getShadowBiasMatrix(const rezezaz::render::Texture*, Matrix4x4&) override {}
    bool getRenderCaps(rezezaz::render::RenderCaps& result) override
    {
        result = caps;
        return true;
    }

    // Calls of one kind, and of every kind, since construction or the last clearCounts.
    int64_t getCount(Call call) const { return counts_[call]; }
    int64_t getTotal() const
    {
        int64_t total = 0;
        for (int64_t n : counts_) {
            total += n;
        }
        return total;
    }
    void clearCounts() { counts_.fill(0); }

    rezezaz::render::RenderCaps caps;
    RecordingRenderTarget primaryTarget;

private:
    void count(Call call) { ++counts_[call]; }

    std::array<int64_t, Call_COUNT> counts_{};
    rezezaz::render::RenderTarget* target_ = nullptr;
};

} // namespace support
