#pragma once

#include "core/math/Vector3.h"

namespace rezezaz {
namespace core {
namespace math {

// Sphere given by its centre (origin) and radius. Zero by default.
struct Sphere
{
    Vector3 origin;
    float radius;

    constexpr Sphere() : origin(), radius(0.0f) {}
    constexpr Sphere(const Vector3& origin_, float radius_) : origin(origin_), radius(radius_) {}

    void set(const Vector3& origin_, float radius_)
    {
        origin = origin_;
        radius = radius_;
    }

    // Grows this sphere so that it encloses other as well (defined with the geometry functions).
    void merge(const Sphere& other, float epsilon);

    constexpr bool operator==(const Sphere& s) const { return origin == s.origin && radius == s.radius; }
    constexpr bool operator!=(const Sphere& s) const { return !(*this == s); }
};

static_assert(sizeof(Sphere) == 16, "Sphere is a Vector3 and a float, packed");

} // namespace math
} // namespace core
} // namespace rezezaz
