#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 16.16 fixed-point quaternion, w the scalar part (65536 is 1.0), 16-byte aligned.
// The identity by default.
struct alignas(16) Quaternion
{
    int32_t x;
    int32_t y;
    int32_t z;
    int32_t w;

    constexpr Quaternion() : x(0), y(0), z(0), w(65536) {}
    constexpr Quaternion(int32_t x_, int32_t y_, int32_t z_, int32_t w_) : x(x_), y(y_), z(z_), w(w_) {}

    void set(int32_t x_, int32_t y_, int32_t z_, int32_t w_)
    {
        x = x_;
        y = y_;
        z = z_;
        w = w_;
    }

    constexpr bool operator==(const Quaternion& o) const
    {
        return x == o.x && y == o.y && z == o.z && w == o.w;
    }
    constexpr bool operator!=(const Quaternion& o) const { return !(*this == o); }
};

static_assert(sizeof(Quaternion) == 16, "Quaternion is 4 packed 16.16 values");
static_assert(alignof(Quaternion) == 16, "Quaternion is 16-byte aligned");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
