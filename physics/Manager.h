#pragma once

#include "core/math/AABox.h"
#include "core/math/Segment.h"
#include "core/math/Vector3.h"

namespace rezezaz {
namespace physics {

struct Collision;
class Solid;

// The simulator's user: hooks around updates and single solids' steps, the candidate search, and
// a second world of the user's own that the simulator traces against. dt is milliseconds, fdt the
// same in seconds. Not owned by the simulator or the solids that name it.
class Manager
{
public:
    virtual ~Manager() = default;

    // Fills solids with at most maxSolids solids whose bound meets the box and returns their count,
    // or returns -1 to let the simulator scan its own solids.
    virtual int findSolidsInAABox(const core::math::AABox& box, Solid** solids, int maxSolids) = 0;
    // The user's world; leave the result's time at 1 for no hit.
    virtual void traceSegment(Collision& result, const core::math::Segment& segment, int collideWithScope) = 0;
    virtual void traceSolid(Collision& result, Solid* solid, const core::math::Segment& segment,
                            int collideWithScope) = 0;

    virtual void preUpdate(int dt, float fdt) = 0;
    virtual void postUpdate(int dt, float fdt) = 0;

    // Per-solid hooks, for solids that ask for them.
    virtual void preUpdate(Solid* solid, int dt, float fdt) = 0;
    // After integration, before the sweep.
    virtual void intraUpdate(Solid* solid, int dt, float fdt) = 0;
    // True when the manager has handled the response; it may change the position and the remaining
    // movement.
    virtual bool collisionResponse(Solid* solid, core::math::Vector3& position, core::math::Vector3& remainder,
                                   Collision& collision) = 0;
    virtual void postUpdate(Solid* solid, int dt, float fdt) = 0;
};

} // namespace physics
} // namespace rezezaz
