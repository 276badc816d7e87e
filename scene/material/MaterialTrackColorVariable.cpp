#include "scene/material/MaterialTrackColorVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int MaterialTrackColorVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void MaterialTrackColorVariable::update(unsigned char* data, SceneParameters* parameters)
{
    const float value = parameters->materialState.trackColor ? 1.0f : 0.0f;
    std::memcpy(data, &value, sizeof value);
}

} // namespace rezezaz::scene::material
