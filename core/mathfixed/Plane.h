#pragma once

#include "core/mathfixed/Vector3.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 16.16 fixed-point plane of the points p with normal . p = distance. Zero by default.
struct Plane
{
    Vector3 normal;
    int32_t distance;

    constexpr Plane() : normal(), distance(0) {}
    constexpr Plane(const Vector3& normal_, int32_t distance_) : normal(normal_), distance(distance_) {}

    void set(const Vector3& normal_, int32_t distance_)
    {
        normal = normal_;
        distance = distance_;
    }

    constexpr bool operator==(const Plane& o) const { return normal == o.normal && distance == o.distance; }
    constexpr bool operator!=(const Plane& o) const { return !(*this == o); }
};

static_assert(sizeof(Plane) == 16, "Plane has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
