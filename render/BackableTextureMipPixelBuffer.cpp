#include "render/BackableTextureMipPixelBuffer.h"

#include "render/BackableTexture.h"

namespace rezezaz::render {

BackableTextureMipPixelBuffer::BackableTextureMipPixelBuffer(BackableTexture* texture, int level,
                                                             int cubeSide)
    : texture_(texture), level_(level), cubeSide_(cubeSide)
{
    resetCreate();
}

void BackableTextureMipPixelBuffer::destroy()
{
    resetDestroy();
    texture_ = nullptr;
    BaseRenderResource::destroy();
}

PixelBuffer* BackableTextureMipPixelBuffer::getRootPixelBuffer()
{
    return back_.get();
}

GLTextureMipPixelBuffer* BackableTextureMipPixelBuffer::castToGLTextureMipPixelBuffer()
{
    return nullptr;
}

GLFBOPixelBuffer* BackableTextureMipPixelBuffer::castToGLFBOPixelBuffer()
{
    return nullptr;
}

GLBuffer* BackableTextureMipPixelBuffer::castToGLBuffer()
{
    return nullptr;
}

bool BackableTextureMipPixelBuffer::create(int, int, core::IntrusivePointer<TextureFormat>)
{
    return false;
}

void BackableTextureMipPixelBuffer::resetCreate()
{
    if (texture_ == nullptr) {
        return;
    }
    core::IntrusivePointer<Texture> back = texture_->getBack();
    if (back) {
        setBack(back->getMipPixelBuffer(level_, cubeSide_));
    }
}

void BackableTextureMipPixelBuffer::resetDestroy()
{
    setBack(nullptr);
}

int BackableTextureMipPixelBuffer::getUsage() const
{
    return back_ ? back_->getUsage() : usage_;
}

int BackableTextureMipPixelBuffer::getAccess() const
{
    return back_ ? back_->getAccess() : access_;
}

int BackableTextureMipPixelBuffer::getDataSize() const
{
    if (back_) {
        return back_->getDataSize();
    }
    return format_ ? format_->zPitch : 0;
}

int BackableTextureMipPixelBuffer::getSize() const
{
    if (back_) {
        return back_->getSize();
    }
    return format_ ? format_->getWidth() * format_->getHeight() * format_->getDepth() : 0;
}

core::IntrusivePointer<TextureFormat> BackableTextureMipPixelBuffer::getTextureFormat() const
{
    return back_ ? back_->getTextureFormat() : format_;
}

unsigned char* BackableTextureMipPixelBuffer::lock(int access)
{
    return back_ ? back_->lock(access) : nullptr;
}

bool BackableTextureMipPixelBuffer::unlock()
{
    return back_ ? back_->unlock() : false;
}

bool BackableTextureMipPixelBuffer::update(unsigned char* data, int start, int size)
{
    return back_ ? back_->update(data, start, size) : false;
}

void BackableTextureMipPixelBuffer::setBack(core::IntrusivePointer<PixelBuffer> back)
{
    back_ = back;
    if (back_) {
        usage_ = back_->getUsage();
        access_ = back_->getAccess();
        format_ = back_->getTextureFormat();
    }
}

core::IntrusivePointer<PixelBuffer> BackableTextureMipPixelBuffer::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
