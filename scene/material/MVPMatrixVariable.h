#pragma once

#include "core/math/Matrix4x4.h"
#include "scene/material/RenderVariable.h"

namespace rezezaz::scene::material {

// Projection times view times model matrix of the item being drawn.
class MVPMatrixVariable : public RenderVariable
{
public:
    static constexpr int FORMAT = 0x40000D06;

    int getFormat() override;
    void update(unsigned char* data, SceneParameters* parameters) override;

private:
    // Scratch room, so that update allocates nothing.
    core::math::Matrix4x4 product;
    core::math::Matrix4x4 projectionView;
};

} // namespace rezezaz::scene::material
