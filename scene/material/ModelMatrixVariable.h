#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The model matrix of the item being drawn.
class ModelMatrixVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
