#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The specular colour of the current material state.
class MaterialSpecularVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
