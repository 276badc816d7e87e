#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "render/PixelBufferRenderTarget.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLDeviceRef.h"

#include <cstdint>

namespace rezezaz::render {

class GLRenderDevice;

// The OpenGL off-screen target: one framebuffer object with texture levels and renderbuffers
// attached at its depth and colour points. Made by the GL device when framebuffer objects exist and
// drawn into through the device's setRenderTarget. It holds what is attached and the depth
// renderbuffer it makes itself when colour is attached without depth; frees the framebuffer in
// destroy.
class GLFBORenderTarget : public GLRenderTarget, public PixelBufferRenderTarget
{
public:
    // True when the device's OpenGL has framebuffer objects.
    static bool available(GLRenderDevice* device);
    // The name of a framebuffer status, "UNKNOWN" for any other value.
    static const char* getFBOMessage(unsigned int status);
    // The GL attachment point of an attachment; raises "GLFBORenderTarget::getGLAttachment: Invalid
    // attachment" outside 0 to 4.
    static unsigned int getGLAttachment(int attachment);

    explicit GLFBORenderTarget(GLRenderDevice* device);

    int32_t retain() override { return GLRenderTarget::retain(); }
    int32_t release() override { return GLRenderTarget::release(); }
    // Unbinds the framebuffer when it is the device's target, destroys the depth buffer it made,
    // deletes the framebuffer and tells the destroyed-listener. What was attached stays held.
    void destroy() override;
    void setDestroyedListener(core::ResourceDestroyedListener* listener) override
    {
        GLRenderTarget::setDestroyedListener(listener);
    }
    void setName(const core::String& name) override { GLRenderTarget::setName(name); }
    const core::String& getName() const override { return GLRenderTarget::getName(); }
    void internal_setUniqueHandle(int handle) override { GLRenderTarget::internal_setUniqueHandle(handle); }
    int getUniqueHandle() const override { return GLRenderTarget::getUniqueHandle(); }

    RenderTarget* getRootRenderTarget() override;
    bool isPrimary() const override;
    // True while the framebuffer exists.
    bool isValid() const override;
    // The size of the last texture level attached.
    int getWidth() const override;
    int getHeight() const override;
    AdaptorInfo* getAdaptorInfo() const override;
    bool swap() override;
    // Compiles when the attachments changed, then binds the framebuffer.
    bool activate() override;
    // Binds the window's framebuffer again and lets attached colour textures rebuild their mips.
    bool deactivate() override;
    bool activateAdditionalContext() override;
    void deactivateAdditionalContext() override;

    PixelBufferRenderTarget* getRootPixelBufferRenderTarget() override;
    // Makes the framebuffer.
    bool create() override;
    void resetCreate() override;
    void resetDestroy() override;
    // A texture level or renderbuffer is attached in GL; a buffer object is refused; anything else
    // is only recorded.
    bool attach(core::IntrusivePointer<PixelBuffer> buffer, Attachment attachment) override;
    // False when buffer is not attached.
    bool remove(core::IntrusivePointer<PixelBuffer> buffer) override;

    // Gives colour without depth a depth renderbuffer of the target's size (replacing the one an
    // earlier compile made), turns the draw and read buffers off for depth alone, and checks the
    // framebuffer: true when complete, else a warning is logged.
    bool compile();

    // The depth renderbuffer the last compile made, or null.
    core::IntrusivePointer<PixelBuffer> getDepthBuffer() const { return depthBuffer_; }
    unsigned int getHandle() const { return handle_; }
    GLRenderDevice* getDevice() const { return device_; }
    const GLDeviceRef& getDeviceRef() const { return device_; }

private:
    bool detach(PixelBuffer* root, int attachment);

    GLDeviceRef device_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint32_t handle_ = 0;
    bool needsCompile_ = false;
    core::Collection<core::IntrusivePointer<PixelBuffer>> buffers_;
    core::Collection<int32_t> attachments_;
    core::IntrusivePointer<PixelBuffer> depthBuffer_;
};

} // namespace rezezaz::render
