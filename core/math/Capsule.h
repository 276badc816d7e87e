#pragma once

#include "core/math/Vector3.h"

namespace rezezaz {
namespace core {
namespace math {

// The segment from origin to origin + direction thickened by radius. Zero by default.
struct Capsule
{
    Vector3 origin;
    Vector3 direction;
    float radius;

    constexpr Capsule() : origin(), direction(), radius(0.0f) {}
    constexpr Capsule(const Vector3& origin_, const Vector3& direction_, float radius_)
        : origin(origin_), direction(direction_), radius(radius_)
    {}

    void set(const Vector3& origin_, const Vector3& direction_, float radius_)
    {
        origin = origin_;
        direction = direction_;
        radius = radius_;
    }

    constexpr bool operator==(const Capsule& c) const
    {
        return origin == c.origin && direction == c.direction && radius == c.radius;
    }
    constexpr bool operator!=(const Capsule& c) const { return !(*this == c); }
};

static_assert(sizeof(Capsule) == 28, "Capsule is two Vector3 and a float, packed");

} // namespace math
} // namespace core
} // namespace rezezaz
