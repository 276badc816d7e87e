#pragma once

#include "core/mathfixed/AABox.h"
#include "core/mathfixed/Capsule.h"
#include "core/mathfixed/EulerAngle.h"
#include "core/mathfixed/Matrix3x3.h"
#include "core/mathfixed/Matrix4x4.h"
#include "core/mathfixed/Plane.h"
#include "core/mathfixed/Quaternion.h"
#include "core/mathfixed/Segment.h"
#include "core/mathfixed/Sphere.h"
#include "core/mathfixed/Vector2.h"
#include "core/mathfixed/Vector3.h"
#include "core/mathfixed/Vector4.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// The named constants of the fixed-point types, under the same names as their float twins.
class Math
{
public:
    static constexpr int32_t ONE = 65536;

    static constexpr Vector2 ZERO_VECTOR2{0, 0};
    static constexpr Vector2 ONE_VECTOR2{ONE, ONE};
    static constexpr Vector2 X_UNIT_VECTOR2{ONE, 0};
    static constexpr Vector2 NEG_X_UNIT_VECTOR2{-ONE, 0};
    static constexpr Vector2 Y_UNIT_VECTOR2{0, ONE};
    static constexpr Vector2 NEG_Y_UNIT_VECTOR2{0, -ONE};

    static constexpr Vector3 ZERO_VECTOR3{0, 0, 0};
    static constexpr Vector3 ONE_VECTOR3{ONE, ONE, ONE};
    static constexpr Vector3 X_UNIT_VECTOR3{ONE, 0, 0};
    static constexpr Vector3 NEG_X_UNIT_VECTOR3{-ONE, 0, 0};
    static constexpr Vector3 Y_UNIT_VECTOR3{0, ONE, 0};
    static constexpr Vector3 NEG_Y_UNIT_VECTOR3{0, -ONE, 0};
    static constexpr Vector3 Z_UNIT_VECTOR3{0, 0, ONE};
    static constexpr Vector3 NEG_Z_UNIT_VECTOR3{0, 0, -ONE};

    static constexpr Vector4 ZERO_VECTOR4{0, 0, 0, 0};
    static constexpr Vector4 ONE_VECTOR4{ONE, ONE, ONE, ONE};
    static constexpr Vector4 X_UNIT_VECTOR4{ONE, 0, 0, 0};
    static constexpr Vector4 NEG_X_UNIT_VECTOR4{-ONE, 0, 0, 0};
    static constexpr Vector4 Y_UNIT_VECTOR4{0, ONE, 0, 0};
    static constexpr Vector4 NEG_Y_UNIT_VECTOR4{0, -ONE, 0, 0};
    static constexpr Vector4 Z_UNIT_VECTOR4{0, 0, ONE, 0};
    static constexpr Vector4 NEG_Z_UNIT_VECTOR4{0, 0, -ONE, 0};
    static constexpr Vector4 W_UNIT_VECTOR4{0, 0, 0, ONE};
    static constexpr Vector4 NEG_W_UNIT_VECTOR4{0, 0, 0, -ONE};

    static constexpr Matrix3x3 IDENTITY_MATRIX3X3{};
    static constexpr Matrix4x4 IDENTITY_MATRIX4X4{};
    static constexpr Quaternion IDENTITY_QUATERNION{0, 0, 0, ONE};
    static constexpr EulerAngle IDENTITY_EULERANGLE{0, 0, 0, 0};
    static constexpr AABox ZERO_AABOX{};
};

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
