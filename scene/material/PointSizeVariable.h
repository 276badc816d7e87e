#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The point size of the current geometry state.
class PointSizeVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
