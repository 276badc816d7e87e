#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "render/gl/GLRenderTarget.h"

namespace rezezaz::render {

class GLRenderDevice;

// What a GL resource holds of the device that made it: the device while it lives and the context the
// resource was made in is there, null once either is gone. Resources may outlive their device (the
// engine releases in no fixed order) and their context (a window target destroyed under a device
// that lives on); such a resource calls nothing of the device and destroys nothing of OpenGL's, since
// its names may by now belong to objects of another context. Used like a plain pointer.
class GLDeviceRef
{
public:
    // Shared by a device and everything it made in one context; the device clears it when it goes or
    // leaves that context, the target marks the context gone when it frees it.
    class Link : public core::Object
    {
    public:
        GLRenderDevice* device = nullptr;
        // The context of the device's target when the link was made; null when it had none.
        core::IntrusivePointer<GLRenderTarget::ContextLife> context;

        GLRenderDevice* live() const { return context && !context->live ? nullptr : device; }
    };

    GLDeviceRef() = default;
    GLDeviceRef(GLRenderDevice* device);

    GLRenderDevice* get() const { return link_ ? link_->live() : nullptr; }
    // The device with the context the resource was made in current on the calling thread (made
    // current when another is), for deleting OpenGL names; null when the device or that context is
    // gone, or the context cannot be made current.
    GLRenderDevice* inContext() const;
    operator GLRenderDevice*() const { return get(); }
    GLRenderDevice* operator->() const { return get(); }

private:
    core::IntrusivePointer<Link> link_;
};

} // namespace rezezaz::render
