#include "render/BackablePixelBufferRenderTarget.h"

namespace rezezaz::render {

void BackablePixelBufferRenderTarget::destroy()
{
    destroyBack();
    BaseRenderResource::destroy();
}

RenderTarget* BackablePixelBufferRenderTarget::getRootRenderTarget()
{
    return back_ ? back_->getRootRenderTarget() : nullptr;
}

PixelBufferRenderTarget* BackablePixelBufferRenderTarget::getRootPixelBufferRenderTarget()
{
    return back_ ? back_->getRootPixelBufferRenderTarget() : nullptr;
}

bool BackablePixelBufferRenderTarget::isPrimary() const
{
    return back_ && back_->isPrimary();
}

bool BackablePixelBufferRenderTarget::isValid() const
{
    return back_ && back_->isValid();
}

int BackablePixelBufferRenderTarget::getWidth() const
{
    return back_ ? back_->getWidth() : 0;
}

int BackablePixelBufferRenderTarget::getHeight() const
{
    return back_ ? back_->getHeight() : 0;
}

AdaptorInfo* BackablePixelBufferRenderTarget::getAdaptorInfo() const
{
    return nullptr;
}

bool BackablePixelBufferRenderTarget::create()
{
    return back_ ? back_->create() : true;
}

void BackablePixelBufferRenderTarget::resetCreate()
{
    if (back_) {
        back_->resetCreate();
    }
}

void BackablePixelBufferRenderTarget::resetDestroy()
{
    if (back_) {
        back_->resetDestroy();
    }
}

bool BackablePixelBufferRenderTarget::attach(core::IntrusivePointer<PixelBuffer> buffer,
                                             Attachment attachment)
{
    buffers_.add(buffer);
    attachments_.add(attachment);
    return back_ ? back_->attach(buffer, attachment) : true;
}

bool BackablePixelBufferRenderTarget::remove(core::IntrusivePointer<PixelBuffer> buffer)
{
    const int index = buffers_.findIndex(buffer);
    if (index < 0) {
        return false;
    }
    buffers_.erase(buffers_.begin() + index);
    attachments_.erase(attachments_.begin() + index);
    return back_ ? back_->remove(buffer) : true;
}

void BackablePixelBufferRenderTarget::setBack(core::IntrusivePointer<PixelBufferRenderTarget> back)
{
    if (!replaceBack(back.get())) {
        return;
    }
    back_->create();
    for (int i = 0; i < buffers_.size(); ++i) {
        back_->attach(buffers_[i], static_cast<Attachment>(attachments_[i]));
    }
}

core::IntrusivePointer<PixelBufferRenderTarget> BackablePixelBufferRenderTarget::getBack() const
{
    return back_;
}

} // namespace rezezaz::render
