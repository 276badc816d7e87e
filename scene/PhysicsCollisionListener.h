#pragma once

namespace rezezaz::scene {

struct PhysicsCollision;

// Hears the collisions of one physics component; not owned by the component.
class PhysicsCollisionListener
{
public:
    virtual ~PhysicsCollisionListener() = default;

    virtual void collision(const PhysicsCollision& collision) = 0;
};

} // namespace rezezaz::scene
