#include "scene/material/CameraPositionVariable.h"

#include "scene/Camera.h"
#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int CameraPositionVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void CameraPositionVariable::update(unsigned char* data, SceneParameters* parameters)
{
    // Outside a render there is no camera: the origin.
    core::math::Vector3 position;
    if (parameters->camera != nullptr) {
        position = parameters->camera->getPosition();
    }
    const float values[4] = {position.x, position.y, position.z, 1.0f};
    std::memcpy(data, values, sizeof values);
}

} // namespace rezezaz::scene::material
