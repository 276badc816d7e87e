#include "scene/material/PointSizeVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int PointSizeVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void PointSizeVariable::update(unsigned char* data, SceneParameters* parameters)
{
    std::memcpy(data, &parameters->geometryState.size, sizeof(float));
}

} // namespace rezezaz::scene::material
