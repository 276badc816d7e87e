#include "scene/material/ModelMatrixVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int ModelMatrixVariable::getFormat()
{
    return FORMAT_MATRIX4X4;
}

void ModelMatrixVariable::update(unsigned char* data, SceneParameters* parameters)
{
    std::memcpy(data, parameters->modelMatrix.data, sizeof parameters->modelMatrix.data);
}

} // namespace rezezaz::scene::material
