#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The diffuse colour of the current light.
class LightDiffuseVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
