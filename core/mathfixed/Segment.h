#pragma once

#include "core/mathfixed/Vector3.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 16.16 fixed-point segment from origin to origin + direction. Zero by default.
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

    constexpr bool operator==(const Segment& o) const
    {
        return origin == o.origin && direction == o.direction;
    }
    constexpr bool operator!=(const Segment& o) const { return !(*this == o); }
};

static_assert(sizeof(Segment) == 24, "Segment has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
