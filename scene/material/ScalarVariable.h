#pragma once

#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// A constant float.
class ScalarVariable : public RenderVariable
{
public:
    explicit ScalarVariable(float value);

    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;

    float getValue() const { return value; }

private:
    float value;
};

} // namespace rezezaz::scene::material
