#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"

namespace rezezaz::render {

class GLRenderDevice;

// What a GL resource holds of the device that made it: the device while it lives, null once it is
// gone. Resources may outlive their device (the engine releases in no fixed order); a resource whose
// device is gone calls nothing of it and destroys nothing of OpenGL's. Used like a plain pointer.
class GLDeviceRef
{
public:
    // Shared by a device and everything it made; the device clears it when it goes.
    class Link : public core::Object
    {
    public:
        GLRenderDevice* device = nullptr;
    };

    GLDeviceRef() = default;
    GLDeviceRef(GLRenderDevice* device);

    GLRenderDevice* get() const { return link_ ? link_->device : nullptr; }
    operator GLRenderDevice*() const { return get(); }
    GLRenderDevice* operator->() const { return get(); }

private:
    core::IntrusivePointer<Link> link_;
};

} // namespace rezezaz::render
