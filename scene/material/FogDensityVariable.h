#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The density of the current fog.
class FogDensityVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
