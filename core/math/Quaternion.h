#pragma once

#include "core/math/Vector3.h"

namespace rezezaz {
namespace core {
namespace math {

// Rotation quaternion, x, y, z the vector part and w the scalar part. The identity by
// default; 16-byte aligned like Vector4.
struct alignas(16) Quaternion
{
    float x;
    float y;
    float z;
    float w;

    constexpr Quaternion() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}

    void set(float x_, float y_, float z_, float w_)
    {
        x = x_;
        y = y_;
        z = z_;
        w = w_;
    }

    // Hamilton product: (this * q) applies q first.
    constexpr Quaternion operator*(const Quaternion& q) const
    {
        return Quaternion(w * q.x + x * q.w + y * q.z - z * q.y, w * q.y + y * q.w + z * q.x - x * q.z,
                          w * q.z + z * q.w + x * q.y - y * q.x, w * q.w - x * q.x - y * q.y - z * q.z);
    }

    Quaternion& operator*=(const Quaternion& q)
    {
        *this = *this * q;
        return *this;
    }

    // Rotates v: the vector part of this * (v, 0) * conjugate(this).
    constexpr Vector3 operator*(const Vector3& v) const
    {
        // this * (v, 0)
        const float px = w * v.x + y * v.z - z * v.y;
        const float py = w * v.y + z * v.x - x * v.z;
        const float pz = w * v.z + x * v.y - y * v.x;
        const float pw = -x * v.x - y * v.y - z * v.z;
        // ... * (-x, -y, -z, w)
        return Vector3(-pw * x + px * w - py * z + pz * y, -pw * y + py * w - pz * x + px * z,
                       -pw * z + pz * w - px * y + py * x);
    }

    // Component-wise arithmetic, as interpolation needs it.
    constexpr Quaternion operator+(const Quaternion& q) const
    {
        return Quaternion(x + q.x, y + q.y, z + q.z, w + q.w);
    }
    constexpr Quaternion operator-(const Quaternion& q) const
    {
        return Quaternion(x - q.x, y - q.y, z - q.z, w - q.w);
    }
    constexpr Quaternion operator-() const { return Quaternion(-x, -y, -z, -w); }
    constexpr Quaternion operator*(float f) const { return Quaternion(x * f, y * f, z * f, w * f); }

    constexpr bool operator==(const Quaternion& q) const
    {
        return x == q.x && y == q.y && z == q.z && w == q.w;
    }
    constexpr bool operator!=(const Quaternion& q) const { return !(*this == q); }
};

static_assert(sizeof(Quaternion) == 16, "Quaternion is four packed floats");
static_assert(alignof(Quaternion) == 16, "Quaternion is 16-byte aligned");

} // namespace math
} // namespace core
} // namespace rezezaz
