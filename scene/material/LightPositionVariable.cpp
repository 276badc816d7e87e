#include "scene/material/LightPositionVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int LightPositionVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void LightPositionVariable::update(unsigned char* data, SceneParameters* parameters)
{
    const core::math::Vector3& d = parameters->lightState.direction;
    writeVector(data, core::math::Vector4(d.x, d.y, d.z, 0.0f));
}

} // namespace rezezaz::scene::material
