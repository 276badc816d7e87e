#include "render/gl/GLFBORenderTarget.h"

#include "core/Categories.h"
#include "core/DestroyHeld.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/math/Matrix4x4.h"
#include "render/gl/GLFBOPixelBuffer.h"
#include "render/gl/GLRenderDevice.h"
#include "render/gl/GLTexture.h"
#include "render/gl/GLTextureMipPixelBuffer.h"

#include <GL/glew.h>

namespace rezezaz::render {

namespace {

const char* const statusNames[] = {
    "GL_FRAMEBUFFER_COMPLETE",
    "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT",
    "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT",
    "UNKNOWN",
    "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS",
    "GL_FRAMEBUFFER_INCOMPLETE_FORMATS",
    "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER",
    "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER",
    "GL_FRAMEBUFFER_UNSUPPORTED",
};

void bindFramebuffer(unsigned int handle)
{
    glBindFramebuffer(GL_FRAMEBUFFER, handle);
}

} // namespace

bool GLFBORenderTarget::available(GLRenderDevice*)
{
    // The target calls the framebuffer entry points without a suffix: an OpenGL that announces
    // the extension without them has none to offer.
    return (GLEW_EXT_framebuffer_object || GLEW_ARB_framebuffer_object) && glGenFramebuffers != nullptr &&
           glBindFramebuffer != nullptr && glDeleteFramebuffers != nullptr &&
           glFramebufferTexture2D != nullptr && glFramebufferRenderbuffer != nullptr &&
           glCheckFramebufferStatus != nullptr && glGenRenderbuffers != nullptr &&
           glBindRenderbuffer != nullptr && glRenderbufferStorage != nullptr &&
           glDeleteRenderbuffers != nullptr;
}

const char* GLFBORenderTarget::getFBOMessage(unsigned int status)
{
    const unsigned int index = status - GL_FRAMEBUFFER_COMPLETE;
    return index < sizeof(statusNames) / sizeof(statusNames[0]) ? statusNames[index] : "UNKNOWN";
}

unsigned int GLFBORenderTarget::getGLAttachment(int attachment)
{
    switch (attachment) {
    case Attachment_DEPTH:
        return GL_DEPTH_ATTACHMENT;
    case Attachment_COLOR:
        return GL_COLOR_ATTACHMENT0;
    case Attachment_COLOR1:
        return GL_COLOR_ATTACHMENT1;
    case Attachment_COLOR2:
        return GL_COLOR_ATTACHMENT2;
    case Attachment_COLOR3:
        return GL_COLOR_ATTACHMENT3;
    default:
        core::Error::unknown(core::Categories::REZEZAZ_RENDER, true,
                             "GLFBORenderTarget::getGLAttachment: Invalid attachment");
    }
}

GLFBORenderTarget::GLFBORenderTarget(GLRenderDevice* device) : device_(device) {}

void GLFBORenderTarget::destroy()
{
    if (handle_ != 0 && device_ != nullptr && device_->getRenderTarget() != nullptr &&
        device_->getRenderTarget()->getRootRenderTarget() == getRootRenderTarget()) {
        bindFramebuffer(0);
    }
    if (depthBuffer_) {
        // Taken off the lists too, so a later compile does not find it there.
        const int index = buffers_.findIndex(depthBuffer_);
        if (index >= 0) {
            buffers_.erase(buffers_.begin() + index);
            attachments_.erase(attachments_.begin() + index);
        }
        core::destroyHeld(depthBuffer_);
    }
    // Without its device or its context the name may be another context's: it is only forgotten.
    if (handle_ != 0 && device_.inContext()) {
        GLuint handle = handle_;
        glDeleteFramebuffers(1, &handle);
    }
    handle_ = 0;
    GLRenderTarget::destroy();
}

RenderTarget* GLFBORenderTarget::getRootRenderTarget()
{
    return static_cast<GLRenderTarget*>(this);
}

bool GLFBORenderTarget::isPrimary() const
{
    return false;
}

bool GLFBORenderTarget::isValid() const
{
    return handle_ != 0;
}

int GLFBORenderTarget::getWidth() const
{
    return width_;
}

int GLFBORenderTarget::getHeight() const
{
    return height_;
}

AdaptorInfo* GLFBORenderTarget::getAdaptorInfo() const
{
    return adaptorInfo.get();
}

bool GLFBORenderTarget::swap()
{
    return false;
}

bool GLFBORenderTarget::activate()
{
    if (needsCompile_) {
        compile();
    }
    bindFramebuffer(handle_);
    return true;
}

bool GLFBORenderTarget::deactivate()
{
    bindFramebuffer(0);
    for (int i = 0; i < buffers_.size(); ++i) {
        if (attachments_[i] == Attachment_DEPTH || !buffers_[i]) {
            continue;
        }
        PixelBuffer* root = buffers_[i]->getRootPixelBuffer();
        GLTextureMipPixelBuffer* level = root != nullptr ? root->castToGLTextureMipPixelBuffer() : nullptr;
        if (level != nullptr && level->getTexture() != nullptr) {
            level->getTexture()->generateMipLevels();
        }
    }
    return true;
}

bool GLFBORenderTarget::activateAdditionalContext()
{
    return false;
}

void GLFBORenderTarget::deactivateAdditionalContext() {}

PixelBufferRenderTarget* GLFBORenderTarget::getRootPixelBufferRenderTarget()
{
    return this;
}

bool GLFBORenderTarget::create()
{
    width_ = 0;
    height_ = 0;
    needsCompile_ = true;
    if (handle_ == 0) {
        GLuint handle = 0;
        glGenFramebuffers(1, &handle);
        handle_ = handle;
    }
    return true;
}

void GLFBORenderTarget::resetCreate() {}

void GLFBORenderTarget::resetDestroy() {}

bool GLFBORenderTarget::attach(core::IntrusivePointer<PixelBuffer> buffer, Attachment attachment)
{
    PixelBuffer* root = buffer ? buffer->getRootPixelBuffer() : nullptr;
    GLTextureMipPixelBuffer* level = root != nullptr ? root->castToGLTextureMipPixelBuffer() : nullptr;
    GLFBOPixelBuffer* renderbuffer = root != nullptr ? root->castToGLFBOPixelBuffer() : nullptr;
    GLBuffer* bufferObject = root != nullptr ? root->castToGLBuffer() : nullptr;
    if (level != nullptr || renderbuffer != nullptr) {
        // Checked first, so a refused point records nothing and leaves no framebuffer bound.
        getGLAttachment(attachment);
    }
    if (bufferObject != nullptr) {
        core::Error::unimplemented(core::String(), true, "can not bind PixelBuffer to FBO");
    }
    bindFramebuffer(handle_);
    if (level != nullptr) {
        core::IntrusivePointer<TextureFormat> format = level->getTextureFormat();
        if (format) {
            width_ = format->getWidth();
            height_ = format->getHeight();
        }
        glFramebufferTexture2D(GL_FRAMEBUFFER, getGLAttachment(attachment), level->getTarget(),
                               level->getHandle(), level->getLevel());
        if (GLTexture* texture = level->getTexture()) {
            // What is drawn upright samples upright: t becomes 1 - t.
            core::math::Matrix4x4 flip;
            for (float& element : flip.data) {
                element = 0.0f;
            }
            flip.data[0] = 1.0f;
            flip.data[5] = -1.0f;
            flip.data[10] = 1.0f;
            flip.data[13] = 1.0f;
            flip.data[15] = 1.0f;
            texture->setTextureMatrix(flip);
        }
    } else if (renderbuffer != nullptr) {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, getGLAttachment(attachment), GL_RENDERBUFFER,
                                  renderbuffer->getHandle());
    }
    bindFramebuffer(0);
    buffers_.add(buffer);
    attachments_.add(attachment);
    needsCompile_ = true;
    return true;
}

bool GLFBORenderTarget::detach(PixelBuffer* root, int attachment)
{
    GLTextureMipPixelBuffer* level = root != nullptr ? root->castToGLTextureMipPixelBuffer() : nullptr;
    GLFBOPixelBuffer* renderbuffer = root != nullptr ? root->castToGLFBOPixelBuffer() : nullptr;
    if (level == nullptr && renderbuffer == nullptr) {
        return true;
    }
    const unsigned int point = getGLAttachment(attachment);
    bindFramebuffer(handle_);
    if (level != nullptr) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, point, GL_TEXTURE_2D, 0, 0);
    } else {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, point, GL_RENDERBUFFER, 0);
    }
    bindFramebuffer(0);
    return true;
}

bool GLFBORenderTarget::remove(core::IntrusivePointer<PixelBuffer> buffer)
{
    const int index = buffers_.findIndex(buffer);
    if (index < 0) {
        return false;
    }
    detach(buffer ? buffer->getRootPixelBuffer() : nullptr, attachments_[index]);
    buffers_.erase(buffers_.begin() + index);
    attachments_.erase(attachments_.begin() + index);
    needsCompile_ = true;
    return true;
}

bool GLFBORenderTarget::compile()
{
    if (depthBuffer_) {
        remove(depthBuffer_);
        core::destroyHeld(depthBuffer_);
    }
    bool hasColor = false;
    bool hasDepth = false;
    for (int i = 0; i < buffers_.size(); ++i) {
        if (attachments_[i] == Attachment_DEPTH) {
            hasDepth = true;
        } else {
            hasColor = true;
        }
    }
    bindFramebuffer(handle_);
    if (hasColor && !hasDepth) {
        core::IntrusivePointer<GLFBOPixelBuffer> depth(new GLFBOPixelBuffer(this));
        core::IntrusivePointer<TextureFormat> format(new TextureFormat());
        format->dimension = TextureFormat::Dimension_2D;
        format->pixelFormat = TextureFormat::Format_DEPTH_24;
        format->xMax = width_;
        format->yMax = height_;
        format->zMax = 1;
        format->mipMax = 1;
        if (depth->create(2, 0, format)) {
            attach(core::IntrusivePointer<PixelBuffer>(depth.get()), Attachment_DEPTH);
            depthBuffer_ = depth.get();
        }
    } else if (hasDepth && !hasColor && handle_ != 0) {
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
    }
    bindFramebuffer(handle_);
    if (hasColor && handle_ != 0) {
        // The framebuffer's own draw and read buffers, in case a depth-only compile turned them off.
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    }
    const unsigned int status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_RENDER, core::Logger::WARNING,
                                              core::String("FBO Warning:") + status + "=" +
                                                  getFBOMessage(status));
    }
    bindFramebuffer(0);
    needsCompile_ = false;
    return status == GL_FRAMEBUFFER_COMPLETE;
}

} // namespace rezezaz::render
