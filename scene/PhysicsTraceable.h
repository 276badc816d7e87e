#pragma once

#include "core/Interface.h"
#include "core/math/Segment.h"
#include "core/math/Vector3.h"

namespace rezezaz::scene {

class Bound;
struct PhysicsCollision;

// Geometry of the application's own that the physics traces against: the world of a physics
// manager, or the shape of one physics component. Counted.
class PhysicsTraceable : public core::Interface
{
public:
    // The extent of the geometry, relative to where it is placed; null when it has none.
    virtual Bound* getPhysicsBound() = 0;
    // Traces a box of the given size (zero: a point) along the segment against the geometry placed
    // at position, and fills result (time 1 when nothing is hit).
    virtual void traceSegment(PhysicsCollision& result, const core::math::Vector3& position,
                              const core::math::Segment& segment, const core::math::Vector3& size) = 0;
};

} // namespace rezezaz::scene
