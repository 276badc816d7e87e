#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// Two-component 16.16 fixed-point vector (65536 is 1.0). Zero by default.
struct Vector2
{
    int32_t x;
    int32_t y;

    constexpr Vector2() : x(0), y(0) {}
    constexpr Vector2(int32_t x_, int32_t y_) : x(x_), y(y_) {}

    void set(int32_t x_, int32_t y_)
    {
        x = x_;
        y = y_;
    }

    constexpr bool operator==(const Vector2& o) const { return x == o.x && y == o.y; }
    constexpr bool operator!=(const Vector2& o) const { return !(*this == o); }
};

static_assert(sizeof(Vector2) == 8, "Vector2 is 2 packed 16.16 values");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
