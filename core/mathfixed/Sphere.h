#pragma once

#include "core/mathfixed/Vector3.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 16.16 fixed-point sphere: centre (origin) and radius. Zero by default.
struct Sphere
{
    Vector3 origin;
    int32_t radius;

    constexpr Sphere() : origin(), radius(0) {}
    constexpr Sphere(const Vector3& origin_, int32_t radius_) : origin(origin_), radius(radius_) {}

    void set(const Vector3& origin_, int32_t radius_)
    {
        origin = origin_;
        radius = radius_;
    }

    constexpr bool operator==(const Sphere& o) const { return origin == o.origin && radius == o.radius; }
    constexpr bool operator!=(const Sphere& o) const { return !(*this == o); }
};

static_assert(sizeof(Sphere) == 16, "Sphere has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
