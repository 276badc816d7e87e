#pragma once

namespace rezezaz {
namespace core {
namespace math {

// Three-component float vector: positions, directions, normals. Zero by default.
struct Vector3
{
    float x;
    float y;
    float z;

    constexpr Vector3() : x(0.0f), y(0.0f), z(0.0f) {}
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    void set(float x_, float y_, float z_)
    {
        x = x_;
        y = y_;
        z = z_;
    }

    constexpr Vector3 operator+(const Vector3& v) const { return Vector3(x + v.x, y + v.y, z + v.z); }
    constexpr Vector3 operator-(const Vector3& v) const { return Vector3(x - v.x, y - v.y, z - v.z); }
    constexpr Vector3 operator-() const { return Vector3(-x, -y, -z); }
    constexpr Vector3 operator*(float f) const { return Vector3(x * f, y * f, z * f); }
    constexpr Vector3 operator/(float f) const { return Vector3(x / f, y / f, z / f); }

    Vector3& operator+=(const Vector3& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vector3& operator-=(const Vector3& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    Vector3& operator*=(float f)
    {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    Vector3& operator/=(float f)
    {
        x /= f;
        y /= f;
        z /= f;
        return *this;
    }

    constexpr bool operator==(const Vector3& v) const { return x == v.x && y == v.y && z == v.z; }
    constexpr bool operator!=(const Vector3& v) const { return !(*this == v); }
};

constexpr Vector3 operator*(float f, const Vector3& v)
{
    return v * f;
}

static_assert(sizeof(Vector3) == 12, "Vector3 is three packed floats");

} // namespace math
} // namespace core
} // namespace rezezaz
