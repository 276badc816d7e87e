#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/math/Vector3.h"
#include "physics/CollisionListener.h"
#include "physics/Shape.h"
#include "physics/Solid.h"
#include "physics/Traceable.h"
#include "scene/BaseComponent.h"
#include "scene/Bound.h"
#include "scene/PhysicsComponent.h"
#include "scene/PhysicsTraceable.h"

namespace rezezaz::scene {

class SimulatorPhysicsManager;

// Gives one scene node a rigid body of the physics simulator. The node's place and the solid's are
// handed over around each logic step: a move of the node from outside is pushed into the solid before
// the step, and the solid's new place is taken up after it; between steps the node is shown between
// the last two places. The component's own writes of the node's place are no move, but they carry
// its world bound along, so that the scene's sensing finds the body where it is shown. The body is
// simulated only while its node hangs directly under the scene root. Collisions of the solid go to
// the listeners in the order they were added; an application traceable may serve as its shape.
// Owns its solid, bounds and traceable; holds its manager, which made it.
class SimulatorPhysicsComponent : public BaseComponent,
                                  public PhysicsComponent,
                                  public physics::CollisionListener,
                                  public physics::Traceable
{
public:
    explicit SimulatorPhysicsComponent(SimulatorPhysicsManager* manager);
    ~SimulatorPhysicsComponent() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    void destroy() override;

    const core::Type<Component>* getType() const override;
    Component* componentThis() override { return static_cast<BaseComponent*>(this); }
    const core::String& getName() const override { return BaseComponent::getName(); }
    void parentChanged(Node* parent) override;
    void rootChanged(Node* root) override;
    void logicUpdate(int, int) override {}
    void frameUpdate(int, int) override {}
    bool handleEvent(core::Event*) override { return false; }
    // True while the solid is awake in a simulator.
    bool getActive() override;

    // A listener added while a collision is being told hears from the next collision on; one removed
    // then is not told any more, not even of the collision under way.
    void addCollisionListener(PhysicsCollisionListener* listener) override;
    void removeCollisionListener(PhysicsCollisionListener* listener) override;
    void setBound(Bound* bound) override;
    void setTraceable(PhysicsTraceable* traceable) override;
    void setPosition(const core::math::Vector3& position) override;
    core::math::Vector3 getPosition() override;
    void setVelocity(const core::math::Vector3& velocity) override;
    core::math::Vector3 getVelocity() override;
    void addForce(const core::math::Vector3& force) override;
    void setMass(float mass) override;
    float getMass() override;
    void setGravity(float coefficient) override;
    float getGravity() override;
    // The solid's internal, collision and collide-with scopes at once; reads the collision scope.
    void setScope(int scope) override;
    int getScope() override;
    void setCollisionScope(int scope) override;
    int getCollisionScope() override;
    void setCollideWithScope(int scope) override;
    int getCollideWithScope() override;
    void collision(const PhysicsCollision& collision) override;
    void collision(const physics::Collision& collision) override;

    // The traceable as the solid's shape.
    void getBound(core::math::AABox& box) override;
    void traceSegment(physics::Collision& collision, const core::math::Vector3& position,
                      const core::math::Segment& segment) override;
    void traceSolid(physics::Collision& collision, physics::Solid* other, const core::math::Vector3& position,
                    const core::math::Segment& segment) override;

    Transform* getTransform() override { return nullptr; }
    Bound* getBound() override { return bound.get(); }
    Transform* getWorldTransform() override { return nullptr; }
    Bound* getWorldBound() override { return worldBound.get(); }
    void transformChanged(Transform* transform) override;

    void addShape(physics::Shape* shape);
    void removeShape(physics::Shape* shape);

    // Around each logic step, from the manager.
    void preSimulate();
    void postSimulate();
    // The node shown at the given fraction of the way from the previous place to the latest.
    void lerpPosition(float fraction);
    void updatePosition(const core::math::Vector3& position);

    physics::Solid* getSolid() const { return solid.get(); }
    SimulatorPhysicsManager* getManager() const { return manager.get(); }
    const core::math::Vector3& getOldPosition() const { return oldPosition; }
    const core::math::Vector3& getNewPosition() const { return newPosition; }
    const core::math::Vector3& getCurrentPosition() const { return currentPosition; }
    bool getPositionChanged() const { return positionChanged; }

private:
    // The node's translate written by the component itself; the node hears of it as of any change.
    void showAt(const core::math::Vector3& position);
    void takeSolidBound();
    void removeFromSimulator();

    // One telling of a collision in progress: the next listener to tell and the end of those that were
    // there when it began. A removal shifts both; nested tellings (a listener that makes the solid
    // collide again) are chained.
    struct Telling
    {
        int next;
        int end;
        Telling* outer;
    };

    // Held, so that the simulator the solid lives in stays while the component does.
    core::IntrusivePointer<SimulatorPhysicsManager> manager;
    core::IntrusivePointer<physics::Solid> solid;
    core::Collection<PhysicsCollisionListener*> listeners;
    Telling* telling = nullptr;
    core::math::Vector3 oldPosition;
    core::math::Vector3 newPosition;
    core::math::Vector3 currentPosition;
    bool positionChanged = false;
    core::IntrusivePointer<Bound> bound;
    core::IntrusivePointer<Bound> worldBound;
    core::IntrusivePointer<PhysicsTraceable> traceable;
    core::IntrusivePointer<physics::Shape> traceableShape;
};

} // namespace rezezaz::scene
