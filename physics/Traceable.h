#pragma once

#include "core/math/AABox.h"
#include "core/math/Segment.h"
#include "core/math/Vector3.h"

namespace rezezaz {
namespace physics {

struct Collision;
class Solid;

// A collision volume whose bound and sweeps the user computes (a shape of type Type_TRACEABLE).
// position is where the owning solid stands; the bound is relative to it. Both traces leave the
// result's time at 1 when nothing is hit. Not owned by the shape that names it.
class Traceable
{
public:
    virtual ~Traceable() = default;

    virtual void getBound(core::math::AABox& result) = 0;
    // The segment against this volume placed at position.
    virtual void traceSegment(Collision& result, const core::math::Vector3& position,
                              const core::math::Segment& segment) = 0;
    // The given solid's shapes moved along the segment against this volume placed at position.
    virtual void traceSolid(Collision& result, Solid* solid, const core::math::Vector3& position,
                            const core::math::Segment& segment) = 0;
};

} // namespace physics
} // namespace rezezaz
