#pragma once

namespace rezezaz {
namespace physics {

struct Collision;

// Receives the collisions of one solid; the record names that solid as its source. Not owned by
// the solid.
class CollisionListener
{
public:
    virtual ~CollisionListener() = default;

    virtual void collision(const Collision& collision) = 0;
};

} // namespace physics
} // namespace rezezaz
