#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The colour of the current fog.
class FogColorVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
