#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/SharedPointer.h"
#include "physics/Collision.h"
#include "physics/Manager.h"
#include "physics/Simulator.h"
#include "physics/Solid.h"
#include "scene/PhysicsCollision.h"
#include "scene/PhysicsManager.h"
#include "scene/SensorResultsListener.h"

#include <cstdint>
#include <vector>

namespace rezezaz::scene {

class Scene;
class SimulatorPhysicsComponent;

namespace sensor {
class BoundingVolumeSensor;
}

// The scene's physics manager over the physics simulator. It owns the simulator and answers its
// hooks: candidate solids are the shaped solids of the root's physics nodes, found through the
// simulator's own index of its solids, and the world geometry is an optional traceable of the application's, which
// collision records name through a world solid that is never simulated. Each logic step pushes the
// components' outside moves into their solids, steps the simulator and takes the new places up;
// each frame moves the nodes between the last two places. Every scene makes one and owns it; the
// manager names its scene without owning it, as the scene outlives it.
class SimulatorPhysicsManager : public core::Object, public PhysicsManager, public physics::Manager
{
public:
    // Gathers the candidates of one search into the simulator's array, while there is room.
    class SolidSensorResults : public SensorResultsListener
    {
    public:
        void sensingBeginning() override { count = 0; }
        bool resultFound(Node* node, float distance) override;
        void sensingEnding() override {}

        physics::Solid** solids = nullptr;
        int32_t maximum = 0;
        int32_t count = 0;
    };

    explicit SimulatorPhysicsManager(Scene* scene);
    ~SimulatorPhysicsManager() override;

    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    void destroy() override;

    core::IntrusivePointer<PhysicsComponent> createPhysicsComponent() override;
    // Also sets the bounce threshold: an eighth of the gravity's length.
    void setGravity(const core::math::Vector3& gravity) override;
    core::math::Vector3 getGravity() const override;
    void setTraceable(PhysicsTraceable* traceable) override { this->traceable = traceable; }
    PhysicsTraceable* getTraceable() const { return traceable; }
    void setTraceableCollisionScope(int scope) override;
    int getTraceableCollisionScope() const override;
    void traceSegment(PhysicsCollision& result, const core::math::Segment& segment, int collideWithScope,
                      Node* ignore) override;
    void traceNode(PhysicsCollision& result, Node* node, const core::math::Segment& segment,
                   int collideWithScope) override;
    void testNode(PhysicsCollision& result, Node* node, const core::math::Segment& segment,
                  Node* other) override;
    void logicUpdate(int dt, int scope, Node* node) override;
    void frameUpdate(int dt, int scope, Node* node) override;
    bool getIdle() const override;
    // Whether a step has no solid to move or report: the whole of getIdle for an object of this very
    // class, read without a call.
    bool getWithoutSolids() const
    {
        const physics::Simulator* const s = simulator.get();
        return s == nullptr || s->getNumSolids() == 0;
    }

    // The simulator's hooks. The search always answers with a count.
    int findSolidsInAABox(const core::math::AABox& box, physics::Solid** solids, int maxSolids) override;
    // The world geometry, when a traceable is set and the scope meets its collision scope.
    void traceSegment(physics::Collision& collision, const core::math::Segment& segment,
                      int collideWithScope) override;
    void traceSolid(physics::Collision& collision, physics::Solid* solid, const core::math::Segment& segment,
                    int collideWithScope) override;
    void preUpdate(int, float) override {}
    void postUpdate(int, float) override {}
    void preUpdate(physics::Solid*, int, float) override {}
    void intraUpdate(physics::Solid*, int, float) override {}
    bool collisionResponse(physics::Solid*, core::math::Vector3&, core::math::Vector3&,
                           physics::Collision&) override
    {
        return false;
    }
    void postUpdate(physics::Solid*, int, float) override {}

    // The simulator's record in the scene's form; the collider becomes the struck solid's node when
    // that solid belongs to a component, else it stays as it was.
    static void set(PhysicsCollision& out, const physics::Collision& in);
    // The scene's record in the simulator's form; null solids leave out's as they were.
    static void set(physics::Collision& out, const PhysicsCollision& in, physics::Solid* collider,
                    physics::Solid* collidee);

    Scene* getScene() const { return scene; }
    physics::Simulator* getSimulator() const { return simulator.get(); }
    physics::Solid* getWorldSolid() const { return worldSolid.get(); }
    sensor::BoundingVolumeSensor* getSensor() const { return sensor.get(); }

private:
    // The component of a node, when it is one of this kind.
    static SimulatorPhysicsComponent* componentOf(Node* node);
    static SimulatorPhysicsComponent* componentOf(physics::Solid* solid);

    Scene* scene;
    core::IntrusivePointer<physics::Simulator> simulator;
    // Whether the object is of this very class, whose hooks are empty (known once first asked).
    mutable bool ownHooksKnown = false;
    mutable bool ownHooks = false;
    PhysicsTraceable* traceable = nullptr;
    core::IntrusivePointer<physics::Solid> worldSolid;
    core::IntrusivePointer<sensor::BoundingVolumeSensor> sensor;
    core::SharedPointer<SolidSensorResults> sensorResults;
    // Room for a search that finds more candidates than the simulator's array holds.
    std::vector<physics::Solid*> overflow;
};

} // namespace rezezaz::scene
