#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The direction of the current light, with w 0, carried into view space.
class LightViewPositionVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
