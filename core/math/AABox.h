#pragma once

#include "core/math/Vector3.h"

namespace rezezaz {
namespace core {
namespace math {

// Axis-aligned box given by its minimum and maximum corners. Both corners at the origin by default.
struct AABox
{
    Vector3 minimum;
    Vector3 maximum;

    constexpr AABox() : minimum(), maximum() {}
    constexpr AABox(const Vector3& minimum_, const Vector3& maximum_) : minimum(minimum_), maximum(maximum_)
    {}

    void set(const Vector3& minimum_, const Vector3& maximum_)
    {
        minimum = minimum_;
        maximum = maximum_;
    }

    constexpr bool operator==(const AABox& b) const { return minimum == b.minimum && maximum == b.maximum; }
    constexpr bool operator!=(const AABox& b) const { return !(*this == b); }
};

static_assert(sizeof(AABox) == 24, "AABox is two packed Vector3");

} // namespace math
} // namespace core
} // namespace rezezaz
