#include "scene/material/FogColorVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int FogColorVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void FogColorVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->fogState.color);
}

} // namespace rezezaz::scene::material
