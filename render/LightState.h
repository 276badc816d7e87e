#pragma once

#include "core/math/Vector3.h"
#include "core/math/Vector4.h"

#include <cstdint>

namespace rezezaz::render {

// One fixed-function light.
struct LightState
{
    enum Type : int32_t
    {
        Type_DIRECTION = 0,
        Type_POINT = 1,
        Type_SPOT = 2,
    };

    int32_t type = Type_DIRECTION;
    core::math::Vector4 specularColor;
    core::math::Vector4 diffuseColor;
    float constantAttenuation = 0.0f;
    float linearAttenuation = 0.0f;
    float quadraticAttenuation = 0.0f;
    // Kept with the record; the render device does not apply it.
    float spotInnerRadius = 0.0f;
    // Full cone angle in radians.
    float spotOuterRadius = 0.0f;
    float spotFalloff = 0.0f;
    // Reach of the light, for the scene engine's bound.
    float radius = 0.0f;
    core::math::Vector3 position;
    core::math::Vector3 direction;
};

} // namespace rezezaz::render
