#pragma once

#include "core/math/Vector3.h"
#include "scene/Component.h"
#include "scene/Spacial.h"

namespace rezezaz::scene {

class Bound;
class PhysicsCollisionListener;
class PhysicsTraceable;
struct PhysicsCollision;

// A component that gives its node a rigid body: a place, a velocity and mass, the scopes that
// decide what it strikes and what is stepped, a shape from a bound or a traceable, and listeners
// that hear its collisions. Made by the scene's physics manager.
class PhysicsComponent : public Component, public Spacial
{
public:
    // Listeners are not owned; one added twice hears twice.
    virtual void addCollisionListener(PhysicsCollisionListener* listener) = 0;
    virtual void removeCollisionListener(PhysicsCollisionListener* listener) = 0;
    // A box or sphere bound becomes the body's shape; any other gives it none.
    virtual void setBound(Bound* bound) = 0;
    virtual void setTraceable(PhysicsTraceable* traceable) = 0;
    virtual void setPosition(const core::math::Vector3& position) = 0;
    virtual core::math::Vector3 getPosition() = 0;
    virtual void setVelocity(const core::math::Vector3& velocity) = 0;
    virtual core::math::Vector3 getVelocity() = 0;
    virtual void addForce(const core::math::Vector3& force) = 0;
    virtual void setMass(float mass) = 0;
    virtual float getMass() = 0;
    // The share of the simulator's gravity that pulls the body.
    virtual void setGravity(float coefficient) = 0;
    virtual float getGravity() = 0;
    virtual void setScope(int scope) = 0;
    virtual int getScope() = 0;
    virtual void setCollisionScope(int scope) = 0;
    virtual int getCollisionScope() = 0;
    virtual void setCollideWithScope(int scope) = 0;
    virtual int getCollideWithScope() = 0;
    virtual void collision(const PhysicsCollision& collision) = 0;
};

} // namespace rezezaz::scene
