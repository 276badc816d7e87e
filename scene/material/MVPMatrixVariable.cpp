#include "scene/material/MVPMatrixVariable.h"

#include "core/math/Math.h"
#include "scene/material/SceneParameters.h"

#include <cstring>

namespace rezezaz::scene::material {

int MVPMatrixVariable::getFormat()
{
    return FORMAT;
}

void MVPMatrixVariable::update(unsigned char* data, SceneParameters* parameters)
{
    core::math::Math::mul(projectionView, parameters->projectionMatrix, parameters->viewMatrix);
    core::math::Math::mul(product, projectionView, parameters->modelMatrix);
    std::memcpy(data, product.data, sizeof product.data);
}

} // namespace rezezaz::scene::material
