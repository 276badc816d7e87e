#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// Three-component 16.16 fixed-point vector (65536 is 1.0). Zero by default.
struct Vector3
{
    int32_t x;
    int32_t y;
    int32_t z;

    constexpr Vector3() : x(0), y(0), z(0) {}
    constexpr Vector3(int32_t x_, int32_t y_, int32_t z_) : x(x_), y(y_), z(z_) {}

    void set(int32_t x_, int32_t y_, int32_t z_)
    {
        x = x_;
        y = y_;
        z = z_;
    }

    constexpr bool operator==(const Vector3& o) const { return x == o.x && y == o.y && z == o.z; }
    constexpr bool operator!=(const Vector3& o) const { return !(*this == o); }
};

static_assert(sizeof(Vector3) == 12, "Vector3 is 3 packed 16.16 values");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
