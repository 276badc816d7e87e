#pragma once

#include "core/IntrusivePointer.h"
#include "render/PixelBuffer.h"
#include "render/RenderTarget.h"

namespace rezezaz::render {

// An off-screen target that draws into attached pixel buffers.
class PixelBufferRenderTarget : public RenderTarget
{
public:
    enum Attachment : int
    {
        Attachment_DEPTH = 0,
        // The first of four colour points.
        Attachment_COLOR = 1,
        Attachment_COLOR1 = 2,
        Attachment_COLOR2 = 3,
        Attachment_COLOR3 = 4,
    };

    virtual PixelBufferRenderTarget* getRootPixelBufferRenderTarget() = 0;
    virtual bool create() = 0;
    virtual void resetCreate() = 0;
    virtual void resetDestroy() = 0;
    virtual bool attach(core::IntrusivePointer<PixelBuffer> buffer, Attachment attachment) = 0;
    virtual bool remove(core::IntrusivePointer<PixelBuffer> buffer) = 0;
};

} // namespace rezezaz::render
