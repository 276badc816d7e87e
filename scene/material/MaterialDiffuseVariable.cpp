#include "scene/material/MaterialDiffuseVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int MaterialDiffuseVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void MaterialDiffuseVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->materialState.diffuse);
}

} // namespace rezezaz::scene::material
