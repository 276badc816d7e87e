#include "scene/material/ViewportVariable.h"

#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int ViewportVariable::getFormat()
{
    return FORMAT_FLOAT4;
}

void ViewportVariable::update(unsigned char* data, SceneParameters* parameters)
{
    const render::Viewport& v = parameters->viewport;
    const float values[4] = {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.width),
                             static_cast<float>(v.height)};
    std::memcpy(data, values, sizeof values);
}

} // namespace rezezaz::scene::material
