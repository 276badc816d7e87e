#include "scene/material/LightDiffuseVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int LightDiffuseVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void LightDiffuseVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->lightState.diffuseColor);
}

} // namespace rezezaz::scene::material
