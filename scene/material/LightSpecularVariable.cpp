#include "scene/material/LightSpecularVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int LightSpecularVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void LightSpecularVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->lightState.specularColor);
}

} // namespace rezezaz::scene::material
