#include "scene/material/FogDistanceVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int FogDistanceVariable::getFormat()
{
    return FORMAT_FLOAT2;
}

void FogDistanceVariable::update(unsigned char* data, SceneParameters* parameters)
{
    const float values[2] = {parameters->fogState.nearDistance, parameters->fogState.farDistance};
    std::memcpy(data, values, sizeof values);
}

} // namespace rezezaz::scene::material
