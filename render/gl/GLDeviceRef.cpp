#include "render/gl/GLDeviceRef.h"

#include "render/gl/GLRenderDevice.h"

namespace rezezaz::render {

GLDeviceRef::GLDeviceRef(GLRenderDevice* device) : link_(device != nullptr ? device->getLink() : nullptr) {}

GLRenderDevice* GLDeviceRef::inContext() const
{
    GLRenderDevice* device = get();
    return device != nullptr && device->makeContextCurrent() ? device : nullptr;
}

} // namespace rezezaz::render
