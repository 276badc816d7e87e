#include "scene/material/MaterialShininessVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int MaterialShininessVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void MaterialShininessVariable::update(unsigned char* data, SceneParameters* parameters)
{
    std::memcpy(data, &parameters->materialState.shininess, sizeof(float));
}

} // namespace rezezaz::scene::material
