#include "render/gl/GLDeviceRef.h"

#include "render/gl/GLRenderDevice.h"

namespace rezezaz::render {

GLDeviceRef::GLDeviceRef(GLRenderDevice* device) : link_(device != nullptr ? device->getLink() : nullptr) {}

} // namespace rezezaz::render
