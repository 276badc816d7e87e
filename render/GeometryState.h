#pragma once

#include "core/math/Vector3.h"

#include <cstdint>

namespace rezezaz::render {

// How points are drawn (size, sprites, distance attenuation), plus the matrix flags and alignment
// axis with which the scene engine turns a node towards the camera; the render device reads only the
// point fields.
struct GeometryState
{
    enum MatrixFlag : int32_t
    {
        MatrixFlag_CONSTANT_SIZE = 1,
        MatrixFlag_ASPECT_CORRECT = 2,
        MatrixFlag_FACE_CAMERA = 4,
    };

    bool sprite = false;
    float size = 1.0f;
    bool attenuated = false;
    float constant = 0.0f;
    float linear = 0.0f;
    float quadratic = 0.0f;
    float minSize = 1.0f;
    float maxSize = 1.0f;
    int32_t matrixFlags = 0;
    core::math::Vector3 alignmentAxis;
};

} // namespace rezezaz::render
