#include "scene/material/AmbientVariable.h"

#include "scene/material/SceneParameters.h"
#include "scene/material/VariableWriting.h"

#include <cstring>

namespace rezezaz::scene::material {

int AmbientVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void AmbientVariable::update(unsigned char* data, SceneParameters* parameters)
{
    writeVector(data, parameters->ambientColor);
}

} // namespace rezezaz::scene::material
