#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// Four-component 16.16 fixed-point vector (65536 is 1.0), 16-byte aligned. Zero by default.
struct alignas(16) Vector4
{
    int32_t x;
    int32_t y;
    int32_t z;
    int32_t w;

    constexpr Vector4() : x(0), y(0), z(0), w(0) {}
    constexpr Vector4(int32_t x_, int32_t y_, int32_t z_, int32_t w_) : x(x_), y(y_), z(z_), w(w_) {}

    void set(int32_t x_, int32_t y_, int32_t z_, int32_t w_)
    {
        x = x_;
        y = y_;
        z = z_;
        w = w_;
    }

    constexpr bool operator==(const Vector4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
    constexpr bool operator!=(const Vector4& o) const { return !(*this == o); }
};

static_assert(sizeof(Vector4) == 16, "Vector4 is 4 packed 16.16 values");
static_assert(alignof(Vector4) == 16, "Vector4 is 16-byte aligned");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
