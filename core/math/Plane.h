#pragma once

#include "core/math/Vector3.h"

namespace rezezaz {
namespace core {
namespace math {

// Plane of the points p with normal . p = distance. Zero by default.
struct Plane
{
    Vector3 normal;
    float distance;

    constexpr Plane() : normal(), distance(0.0f) {}
    constexpr Plane(const Vector3& normal_, float distance_) : normal(normal_), distance(distance_) {}

    void set(const Vector3& normal_, float distance_)
    {
        normal = normal_;
        distance = distance_;
    }

    constexpr bool operator==(const Plane& p) const { return normal == p.normal && distance == p.distance; }
    constexpr bool operator!=(const Plane& p) const { return !(*this == p); }
};

static_assert(sizeof(Plane) == 16, "Plane is a Vector3 and a float, packed");

} // namespace math
} // namespace core
} // namespace rezezaz
