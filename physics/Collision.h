#pragma once

#include "core/IntrusivePointer.h"
#include "core/math/Vector3.h"
#include "physics/Solid.h"

#include <cstdint>

namespace rezezaz {
namespace physics {

// One hit of a trace or a step, copied by value (copies hold their own references to the solids).
// A fresh or reset record means "nothing hit": time 1, zero vectors, no solids, scope 0.
struct Collision
{
    // Fraction 0 to 1 of the traced segment at the hit; 1 = nothing hit.
    float time = 1.0f;
    // Where the traced origin stands at the hit (for a miss: the segment's end).
    core::math::Vector3 point;
    // Unit normal at the hit, outward from the struck volume.
    core::math::Vector3 normal;
    // The moving solid's velocity relative to the struck one at impact (set by the step).
    core::math::Vector3 velocity;
    core::IntrusivePointer<Solid> hitSolid;
    core::IntrusivePointer<Solid> sourceSolid;
    int32_t scope = 0;

    void reset()
    {
        time = 1.0f;
        point = core::math::Vector3();
        normal = core::math::Vector3();
        velocity = core::math::Vector3();
        hitSolid = nullptr;
        sourceSolid = nullptr;
        scope = 0;
    }
};

} // namespace physics
} // namespace rezezaz
