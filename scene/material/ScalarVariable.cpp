#include "scene/material/ScalarVariable.h"

#include <cstring>

namespace rezezaz::scene::material {

ScalarVariable::ScalarVariable(float value_) : value(value_) {}

int ScalarVariable::getFormat()
{
    return FORMAT_FLOAT1;
}

void ScalarVariable::update(unsigned char* data, SceneParameters*)
{
    std::memcpy(data, &value, sizeof value);
}

} // namespace rezezaz::scene::material
