#include "render/gl/GLFBOPixelBuffer.h"

#include "render/gl/GLFBORenderTarget.h"
#include "render/gl/GLRenderDevice.h"

#include <GL/glew.h>

namespace rezezaz::render {

GLFBOPixelBuffer::GLFBOPixelBuffer(GLFBORenderTarget* target)
    : target_(target), device_(target != nullptr ? target->getDeviceRef() : GLDeviceRef())
{
}

void GLFBOPixelBuffer::destroy()
{
    // Without its device or its context the name may be another context's: it is only forgotten.
    if (handle_ != 0 && device_.inContext()) {
        GLuint handle = handle_;
        glDeleteRenderbuffers(1, &handle);
    }
    handle_ = 0;
    BaseRenderResource::destroy();
}

bool GLFBOPixelBuffer::create(int usage, int access, core::IntrusivePointer<TextureFormat> textureFormat)
{
    if (!textureFormat) {
        return false;
    }
    usage_ = usage;
    access_ = access;
    format_ = textureFormat;
    dataSize_ = textureFormat->zPitch;
    if (handle_ == 0) {
        GLuint handle = 0;
        glGenRenderbuffers(1, &handle);
        handle_ = handle;
    }
    glBindRenderbuffer(GL_RENDERBUFFER, handle_);
    glRenderbufferStorage(GL_RENDERBUFFER, GLRenderDevice::getGLFormat(textureFormat->pixelFormat, true),
                          textureFormat->getWidth(), textureFormat->getHeight());
    return true;
}

int GLFBOPixelBuffer::getSize() const
{
    return format_ ? format_->getWidth() * format_->getHeight() * format_->getDepth() : 0;
}

} // namespace rezezaz::render
