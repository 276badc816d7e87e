#include "scene/material/FogDensityVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int FogDensityVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void FogDensityVariable::update(unsigned char* data, SceneParameters* parameters)
{
    std::memcpy(data, &parameters->fogState.density, sizeof(float));
}

} // namespace rezezaz::scene::material
