#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// Three 16.16 fixed-point angles in radians and their order, numbered as in the float EulerAngle.
struct EulerAngle
{
    int32_t order;
    int32_t angle1;
    int32_t angle2;
    int32_t angle3;

    constexpr EulerAngle() : order(0), angle1(0), angle2(0), angle3(0) {}
    constexpr EulerAngle(int32_t order_, int32_t angle1_, int32_t angle2_, int32_t angle3_)
        : order(order_), angle1(angle1_), angle2(angle2_), angle3(angle3_)
    {}

    constexpr bool operator==(const EulerAngle& e) const
    {
        return order == e.order && angle1 == e.angle1 && angle2 == e.angle2 && angle3 == e.angle3;
    }
    constexpr bool operator!=(const EulerAngle& e) const { return !(*this == e); }
};

static_assert(sizeof(EulerAngle) == 16, "EulerAngle has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
