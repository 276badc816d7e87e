#include "scene/material/LightViewPositionVariable.h"

#include "core/math/Math.h"
#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int LightViewPositionVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void LightViewPositionVariable::update(unsigned char* data, SceneParameters* parameters)
{
    const core::math::Vector3& d = parameters->lightState.direction;
    core::math::Vector4 result;
    core::math::Math::mul(result, parameters->viewMatrix, core::math::Vector4(d.x, d.y, d.z, 0.0f));
    writeVector(data, result);
}

} // namespace rezezaz::scene::material
