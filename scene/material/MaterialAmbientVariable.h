#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The ambient colour of the current material state.
class MaterialAmbientVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
