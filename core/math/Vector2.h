#pragma once

namespace rezezaz {
namespace core {
namespace math {

// Two-component float vector (texture coordinates, screen positions). Zero by default.
struct Vector2
{
    float x;
    float y;

    constexpr Vector2() : x(0.0f), y(0.0f) {}
    constexpr Vector2(float x_, float y_) : x(x_), y(y_) {}

    void set(float x_, float y_)
    {
        x = x_;
        y = y_;
    }

    constexpr Vector2 operator+(const Vector2& v) const { return Vector2(x + v.x, y + v.y); }
    constexpr Vector2 operator-(const Vector2& v) const { return Vector2(x - v.x, y - v.y); }
    constexpr Vector2 operator-() const { return Vector2(-x, -y); }
    constexpr Vector2 operator*(float f) const { return Vector2(x * f, y * f); }
    constexpr Vector2 operator/(float f) const { return Vector2(x / f, y / f); }

    Vector2& operator+=(const Vector2& v)
    {
        x += v.x;
        y += v.y;
        return *this;
    }
    Vector2& operator-=(const Vector2& v)
    {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    Vector2& operator*=(float f)
    {
        x *= f;
        y *= f;
        return *this;
    }
    Vector2& operator/=(float f)
    {
        x /= f;
        y /= f;
        return *this;
    }

    constexpr bool operator==(const Vector2& v) const { return x == v.x && y == v.y; }
    constexpr bool operator!=(const Vector2& v) const { return !(*this == v); }
};

constexpr Vector2 operator*(float f, const Vector2& v)
{
    return v * f;
}

static_assert(sizeof(Vector2) == 8, "Vector2 is two packed floats");

} // namespace math
} // namespace core
} // namespace rezezaz
