#pragma once

#include "core/mathfixed/Vector3.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 16.16 fixed-point capsule: a segment thickened by radius. Zero by default.
struct Capsule
{
    Vector3 origin;
    Vector3 direction;
    int32_t radius;

    constexpr Capsule() : origin(), direction(), radius(0) {}
    constexpr Capsule(const Vector3& origin_, const Vector3& direction_, int32_t radius_)
        : origin(origin_), direction(direction_), radius(radius_)
    {}

    void set(const Vector3& origin_, const Vector3& direction_, int32_t radius_)
    {
        origin = origin_;
        direction = direction_;
        radius = radius_;
    }

    constexpr bool operator==(const Capsule& o) const
    {
        return origin == o.origin && direction == o.direction && radius == o.radius;
    }
    constexpr bool operator!=(const Capsule& o) const { return !(*this == o); }
};

static_assert(sizeof(Capsule) == 28, "Capsule has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
