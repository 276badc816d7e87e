#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// 1 when the current material state tracks the vertex colour, else 0.
class MaterialTrackColorVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;
};

} // namespace rezezaz::scene::material
