#pragma once

#include "core/IntrusivePointer.h"
#include "render/BaseRenderResource.h"
#include "render/PixelBuffer.h"
#include "render/TextureFormat.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLFBORenderTarget;

// A GL renderbuffer attached to a framebuffer-object target, as the depth buffer its target makes
// for itself or as a buffer attached by a caller. Its pixels cannot be reached from the CPU. Frees
// the renderbuffer in destroy.
class GLFBOPixelBuffer : public BaseRenderResource<PixelBuffer>
{
public:
    explicit GLFBOPixelBuffer(GLFBORenderTarget* target);

    // Deletes the renderbuffer, then tells the destroyed-listener.
    void destroy() override;

    PixelBuffer* getRootPixelBuffer() override { return this; }
    GLTextureMipPixelBuffer* castToGLTextureMipPixelBuffer() override { return nullptr; }
    GLFBOPixelBuffer* castToGLFBOPixelBuffer() override { return this; }
    GLBuffer* castToGLBuffer() override { return nullptr; }
    // Makes a renderbuffer of the format's width and height in its pixel format; it stays bound.
    // False without a format.
    bool create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat) override;
    void resetCreate() override {}
    void resetDestroy() override {}
    int getUsage() const override { return usage_; }
    int getAccess() const override { return access_; }
    int getDataSize() const override { return dataSize_; }
    // Texels of the format.
    int getSize() const override;
    core::IntrusivePointer<TextureFormat> getTextureFormat() const override { return format_; }
    unsigned char* lock(int) override { return nullptr; }
    bool unlock() override { return false; }
    bool update(unsigned char*, int, int) override { return false; }

    // The renderbuffer name, 0 before create and after destroy.
    unsigned int getHandle() const { return handle_; }
    GLFBORenderTarget* getTarget() const { return target_; }

private:
    GLFBORenderTarget* target_;
    // The device of the target's context, so that the renderbuffer is deleted only there.
    GLDeviceRef device_;
    uint32_t handle_ = 0;
    int32_t usage_ = 0;
    int32_t access_ = 0;
    core::IntrusivePointer<TextureFormat> format_;
    int32_t dataSize_ = 0;
};

} // namespace rezezaz::render
