#include "scene/material/MaterialSpecularVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int MaterialSpecularVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void MaterialSpecularVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->materialState.specular);
}

} // namespace rezezaz::scene::material
