#pragma once

#include "core/mathfixed/Vector3.h"

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 16.16 fixed-point axis-aligned box: minimum and maximum corners. Zero by default.
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

    constexpr bool operator==(const AABox& o) const { return minimum == o.minimum && maximum == o.maximum; }
    constexpr bool operator!=(const AABox& o) const { return !(*this == o); }
};

static_assert(sizeof(AABox) == 24, "AABox has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
