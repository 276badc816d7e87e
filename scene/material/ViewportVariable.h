#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The viewport's x, y, width and height, as floats.
class ViewportVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
