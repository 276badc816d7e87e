#pragma once

#include "core/math/Vector4.h"

#include <cstdint>

namespace rezezaz::render {

// Fixed-function fog.
struct FogState
{
    enum FogType : int32_t
    {
        FogType_NONE = 0,
        FogType_LINEAR = 1,
        FogType_EXP = 2,
        FogType_EXP2 = 3,
    };

    int32_t fogType = FogType_NONE;
    float density = 0.0f;
    // Where linear fog starts and where it is full.
    float nearDistance = 0.0f;
    float farDistance = 1.0f;
    core::math::Vector4 color;
};

} // namespace rezezaz::render
