#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace math {

// Three rotation angles in radians and the order in which they apply. With order XYZ the
// rotation is Rx(angle1) * Ry(angle2) * Rz(angle3); ZXY is Rz * Rx * Ry; ZYX is Rz * Ry * Rx.
// Any other order value is refused by every conversion.
struct EulerAngle
{
    enum Order : int32_t
    {
        ORDER_XYZ = 0,
        ORDER_ZXY = 1,
        ORDER_ZYX = 2
    };

    int32_t order;
    float angle1;
    float angle2;
    float angle3;

    constexpr EulerAngle() : order(ORDER_XYZ), angle1(0.0f), angle2(0.0f), angle3(0.0f) {}
    constexpr EulerAngle(int32_t order_, float angle1_, float angle2_, float angle3_)
        : order(order_), angle1(angle1_), angle2(angle2_), angle3(angle3_)
    {}

    constexpr bool operator==(const EulerAngle& e) const
    {
        return order == e.order && angle1 == e.angle1 && angle2 == e.angle2 && angle3 == e.angle3;
    }
    constexpr bool operator!=(const EulerAngle& e) const { return !(*this == e); }
};

static_assert(sizeof(EulerAngle) == 16, "EulerAngle is the order and three packed floats");

} // namespace math
} // namespace core
} // namespace rezezaz
