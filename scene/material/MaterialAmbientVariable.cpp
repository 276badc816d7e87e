#include "scene/material/MaterialAmbientVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int MaterialAmbientVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void MaterialAmbientVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->materialState.ambient);
}

} // namespace rezezaz::scene::material
