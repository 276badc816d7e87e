#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "render/BackHolder.h"
#include "render/BaseRenderResource.h"
#include "render/PixelBufferRenderTarget.h"

namespace rezezaz::render {

// The device-independent off-screen target: it records which pixel buffers are attached where, so
// that the same set-up is replayed onto each device target that backs it, after every loss of the
// render context too. Every question is answered by the back. Made by the texture manager; owns its
// back and holds its buffers.
class BackablePixelBufferRenderTarget : public BaseRenderResource<PixelBufferRenderTarget>,
                                        protected BackHolder<PixelBufferRenderTarget>
{
public:
    BackablePixelBufferRenderTarget() = default;

    // Destroys and releases the back, then tells the destroyed-listener; the attachments stay
    // recorded until the target goes.
    void destroy() override;

    // The back's answers: null, false or 0 without a back.
    RenderTarget* getRootRenderTarget() override;
    PixelBufferRenderTarget* getRootPixelBufferRenderTarget() override;
    bool isPrimary() const override;
    bool isValid() const override;
    int getWidth() const override;
    int getHeight() const override;
    // Always null.
    AdaptorInfo* getAdaptorInfo() const override;
    // The back's create; true without a back.
    bool create() override;
    void resetCreate() override;
    void resetDestroy() override;
    // Records the attachment (the same buffer may be attached more than once) and passes it on.
    bool attach(core::IntrusivePointer<PixelBuffer> buffer, Attachment attachment) override;
    // Forgets the first attachment of that very buffer and passes the removal on; false, changing
    // nothing, when the buffer is not attached.
    bool remove(core::IntrusivePointer<PixelBuffer> buffer) override;

    // Destroys a held back that differs from back, holds back, creates it and attaches every recorded
    // buffer in the order of attaching.
    virtual void setBack(core::IntrusivePointer<PixelBufferRenderTarget> back);
    virtual core::IntrusivePointer<PixelBufferRenderTarget> getBack() const;

private:
    core::Collection<core::IntrusivePointer<PixelBuffer>> buffers_;
    core::Collection<int32_t> attachments_;
};

} // namespace rezezaz::render
