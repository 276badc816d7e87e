#pragma once

#include "core/Interface.h"
#include "core/String.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Vector4.h"
#include "render/IndexBuffer.h"
#include "render/LightState.h"
#include "render/PixelBuffer.h"
#include "render/PixelBufferRenderTarget.h"
#include "render/Query.h"
#include "render/RenderCaps.h"
#include "render/RenderState.h"
#include "render/RenderTarget.h"
#include "render/Shader.h"
#include "render/ShaderState.h"
#include "render/Texture.h"
#include "render/VariableBuffer.h"
#include "render/VertexBuffer.h"
#include "render/VertexFormat.h"
#include "render/Viewport.h"

namespace rezezaz::render {

class IndexData;
class VertexData;

// The render device: it makes the device resources, holds the current target and states and draws.
// Made by a back end's factory (new_GLRenderDevice); every resource it is given may also be a
// device-independent wrapper, of which it uses the root.
class RenderDevice : public core::Interface
{
public:
    enum MatrixType : int
    {
        MatrixType_PROJECTION = 0,
        MatrixType_VIEW = 1,
        MatrixType_MODEL = 2,
    };

    // Bits of clear.
    enum ClearFlag : int
    {
        ClearFlag_COLOR = 1,
        ClearFlag_DEPTH = 2,
        ClearFlag_STENCIL = 4,
    };

    // True when the device is usable on target.
    virtual bool create(RenderTarget* target, int options) = 0;
    virtual void destroy() = 0;
    virtual void activate() = 0;
    virtual bool reset() = 0;
    virtual bool activateAdditionalContext() = 0;

    // New uncreated resources, or null.
    virtual Texture* createTexture() = 0;
    virtual PixelBufferRenderTarget* createPixelBufferRenderTarget() = 0;
    virtual PixelBuffer* createPixelBuffer() = 0;
    virtual VertexFormat* createVertexFormat() = 0;
    virtual VertexBuffer* createVertexBuffer() = 0;
    virtual IndexBuffer* createIndexBuffer() = 0;
    virtual VariableBuffer* createVariableBuffer() = 0;
    virtual Shader* createShader() = 0;
    virtual Query* createQuery() = 0;
    virtual RenderState* createRenderState() = 0;
    virtual ShaderState* createShaderState() = 0;

    virtual RenderTarget* getPrimaryRenderTarget() = 0;
    virtual bool setRenderTarget(RenderTarget* target) = 0;
    virtual RenderTarget* getRenderTarget() = 0;
    virtual void setViewport(const Viewport& viewport) = 0;
    virtual void clear(int clearFlags, const core::math::Vector4& color) = 0;
    virtual void swap() = 0;
    virtual void beginScene() = 0;
    virtual void endScene() = 0;
    virtual void renderPrimitive(VertexData* vertexData, IndexData* indexData) = 0;
    virtual bool copyFrameBufferToPixelBuffer(PixelBuffer* buffer) = 0;
    virtual bool copyPixelBuffer(PixelBuffer* dest, PixelBuffer* source) = 0;
    virtual void setDefaultState() = 0;
    virtual bool setRenderState(RenderState* state) = 0;
    virtual bool setShaderState(ShaderState* state) = 0;
    virtual void setBuffer(Shader::ShaderType type, int index, VariableBuffer* buffer) = 0;
    // A null texture unbinds the unit.
    virtual void setTexture(Shader::ShaderType type, int index, Texture* texture) = 0;
    // Any type other than view and model sets the projection.
    virtual void setMatrix(MatrixType type, const core::math::Matrix4x4& matrix) = 0;
    virtual void setAmbientColor(const core::math::Vector4& color) = 0;
    virtual void setLightState(int light, const LightState& state) = 0;
    virtual void setLightEnabled(int light, bool enabled) = 0;
    // The pixel format the device would use for pixelFormat with that texture usage.
    virtual int getClosePixelFormat(int pixelFormat, int usage) = 0;
    virtual bool getShaderProfileSupported(const core::String& profile) = 0;
    virtual void getShadowBiasMatrix(const Texture* texture, core::math::Matrix4x4& result) = 0;
    virtual bool getRenderCaps(RenderCaps& caps) = 0;
};

} // namespace rezezaz::render
