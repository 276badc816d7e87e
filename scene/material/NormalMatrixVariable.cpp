#include "scene/material/NormalMatrixVariable.h"

#include "core/math/Math.h"
#include "scene/material/SceneParameters.h"

#include <cstring>
#include <initializer_list>

namespace rezezaz::scene::material {

int NormalMatrixVariable::getFormat()
{
    return FORMAT_MATRIX4X4;
}

void NormalMatrixVariable::update(unsigned char* data, SceneParameters* parameters)
{
    core::math::Math::mul(viewModel, parameters->viewMatrix, parameters->modelMatrix);
    // Only the upper-left 3x3 part carries normals.
    for (int i : {3, 7, 11, 12, 13, 14}) {
        viewModel.data[i] = 0.0f;
    }
    viewModel.data[15] = 1.0f;
    core::math::Math::invert(inverse, viewModel);
    core::math::Math::transpose(viewModel, inverse);
    std::memcpy(data, viewModel.data, sizeof viewModel.data);
}

} // namespace rezezaz::scene::material
