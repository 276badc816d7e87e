#pragma once

#include "core/Interface.h"
#include "core/IntrusivePointer.h"
#include "core/math/Segment.h"
#include "core/math/Vector3.h"

namespace rezezaz::scene {

class Node;
class PhysicsComponent;
class PhysicsTraceable;
struct PhysicsCollision;

// A scene's physics: makes the physics components, traces through the simulated world and steps
// it in the scene's logic steps, and moves the physics nodes between them in the frame updates.
class PhysicsManager : public core::Interface
{
public:
    virtual core::IntrusivePointer<PhysicsComponent> createPhysicsComponent() = 0;
    virtual void setGravity(const core::math::Vector3& gravity) = 0;
    virtual core::math::Vector3 getGravity() const = 0;
    // The world geometry, not owned; null for none.
    virtual void setTraceable(PhysicsTraceable* traceable) = 0;
    virtual void setTraceableCollisionScope(int scope) = 0;
    virtual int getTraceableCollisionScope() const = 0;
    virtual void traceSegment(PhysicsCollision& result, const core::math::Segment& segment,
                              int collideWithScope, Node* ignore) = 0;
    virtual void traceNode(PhysicsCollision& result, Node* node, const core::math::Segment& segment,
                           int collideWithScope) = 0;
    virtual void testNode(PhysicsCollision& result, Node* node, const core::math::Segment& segment,
                          Node* other) = 0;
    virtual void logicUpdate(int dt, int scope, Node* node) = 0;
    virtual void frameUpdate(int dt, int scope, Node* node) = 0;
    // Whether the scene's updates may pass the manager by for now: its logic and frame updates of the
    // whole scene would change nothing (nothing to simulate). A manager that cannot tell says no.
    virtual bool getIdle() const { return false; }
};

} // namespace rezezaz::scene
