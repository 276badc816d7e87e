#pragma once

#include "core/math/Vector3.h"

namespace rezezaz {
namespace core {
namespace math {

// Line segment from origin to origin + direction; a point on it is origin + t * direction with
// t in [0, 1]. Zero by default.
struct Segment
{
    Vector3 origin;
    Vector3 direction;

    constexpr Segment() : origin(), direction() {}
    constexpr Segment(const Vector3& origin_, const Vector3& direction_)
        : origin(origin_), direction(direction_)
    {}

    void set(const Vector3& origin_, const Vector3& direction_)
    {
        origin = origin_;
        direction = direction_;
    }

    constexpr bool operator==(const Segment& s) const
    {
        return origin == s.origin && direction == s.direction;
    }
    constexpr bool operator!=(const Segment& s) const { return !(*this == s); }
};

static_assert(sizeof(Segment) == 24, "Segment is two packed Vector3");

} // namespace math
} // namespace core
} // namespace rezezaz
