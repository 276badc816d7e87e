#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// Where the current fog starts and where it is full.
class FogDistanceVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
