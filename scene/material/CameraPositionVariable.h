#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The world position of the camera drawing, with w = 1.
class CameraPositionVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
