#include "scene/material/MaterialLightVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int MaterialLightVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void MaterialLightVariable::update(unsigned char* data, SceneParameters* parameters)
{
    const float value = parameters->materialState.light ? 1.0f : 0.0f;
    std::memcpy(data, &value, sizeof value);
}

} // namespace rezezaz::scene::material
