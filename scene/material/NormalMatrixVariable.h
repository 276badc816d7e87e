#pragma once

#include "core/math/Matrix4x4.h"
#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// The matrix that carries normals of the item being drawn into view space: the inverse transpose of
// the rotation and scale part of view times model.
class NormalMatrixVariable : public RenderVariable
{
public:
    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;

private:
    // Scratch room, so that update allocates nothing.
    core::math::Matrix4x4 viewModel;
    core::math::Matrix4x4 inverse;
};

} // namespace rezezaz::scene::material
