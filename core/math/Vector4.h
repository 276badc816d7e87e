#pragma once

namespace rezezaz {
namespace core {
namespace math {

// Four-component float vector (homogeneous points, colours). 16-byte aligned so that the
// SSE kernels can load it as one value and stored records keep their layout. Zero by default.
struct alignas(16) Vector4
{
    float x;
    float y;
    float z;
    float w;

    constexpr Vector4() : x(0.0f), y(0.0f), z(0.0f), w(0.0f) {}
    constexpr Vector4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    void set(float x_, float y_, float z_, float w_)
    {
        x = x_;
        y = y_;
        z = z_;
        w = w_;
    }

    constexpr Vector4 operator+(const Vector4& v) const
    {
        return Vector4(x + v.x, y + v.y, z + v.z, w + v.w);
    }
    constexpr Vector4 operator-(const Vector4& v) const
    {
        return Vector4(x - v.x, y - v.y, z - v.z, w - v.w);
    }
    constexpr Vector4 operator-() const { return Vector4(-x, -y, -z, -w); }
    constexpr Vector4 operator*(float f) const { return Vector4(x * f, y * f, z * f, w * f); }
    constexpr Vector4 operator/(float f) const { return Vector4(x / f, y / f, z / f, w / f); }

    Vector4& operator+=(const Vector4& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        w += v.w;
        return *this;
    }
    Vector4& operator-=(const Vector4& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        w -= v.w;
        return *this;
    }
    Vector4& operator*=(float f)
    {
        x *= f;
        y *= f;
        z *= f;
        w *= f;
        return *this;
    }
    Vector4& operator/=(float f)
    {
        x /= f;
        y /= f;
        z /= f;
        w /= f;
        return *this;
    }

    constexpr bool operator==(const Vector4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    constexpr bool operator!=(const Vector4& v) const { return !(*this == v); }
};

constexpr Vector4 operator*(float f, const Vector4& v)
{
    return v * f;
}

static_assert(sizeof(Vector4) == 16, "Vector4 is four packed floats");
static_assert(alignof(Vector4) == 16, "Vector4 is 16-byte aligned");

} // namespace math
} // namespace core
} // namespace rezezaz
