#include "scene/SimulatorPhysicsManager.h"

#include "core/math/Math.h"
#include "scene/Node.h"
#include "scene/PhysicsTraceable.h"
#include "scene/Scene.h"
#include "scene/SimulatorPhysicsComponent.h"
#include "scene/sensor/BoundingVolumeSensor.h"

#include <typeinfo>

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::math::AABox;
using core::math::Math;
using core::math::Segment;
using core::math::Vector3;

SimulatorPhysicsManager::SimulatorPhysicsManager(Scene* scene)
    : scene(scene), simulator(new physics::Simulator())
{
    simulator->setManager(this);
    simulator->setEpsilon(scene != nullptr ? scene->getEpsilon() : simulator->getEpsilon());
    worldSolid = new physics::Solid();
    worldSolid->setGravityCoefficient(0.0f);
    worldSolid->setInfiniteMass();
    sensor = new sensor::BoundingVolumeSensor(scene);
    sensorResults = core::SharedPointer<SolidSensorResults>(new SolidSensorResults());
    // The simulator's own gravity, so that the bounce threshold follows it from the start.
    setGravity(getGravity());
}

SimulatorPhysicsManager::~SimulatorPhysicsManager() = default;

void SimulatorPhysicsManager::destroy()
{
    sensorResults = core::SharedPointer<SolidSensorResults>();
    sensor = nullptr;
    worldSolid = nullptr;
    if (simulator) {
        simulator->setManager(nullptr);
        simulator = nullptr;
    }
    scene = nullptr;
}

IntrusivePointer<PhysicsComponent> SimulatorPhysicsManager::createPhysicsComponent()
{
    IntrusivePointer<SimulatorPhysicsComponent> component(new SimulatorPhysicsComponent(this));
    return IntrusivePointer<PhysicsComponent>(static_cast<PhysicsComponent*>(component.get()));
}

void SimulatorPhysicsManager::setGravity(const Vector3& gravity)
{
    simulator->setGravity(gravity);
    simulator->setMicroCollisionThreshold(Math::length(gravity) / 8.0f);
}

Vector3 SimulatorPhysicsManager::getGravity() const
{
    return simulator->getGravity();
}

void SimulatorPhysicsManager::setTraceableCollisionScope(int scope)
{
    worldSolid->setCollisionScope(scope);
}

int SimulatorPhysicsManager::getTraceableCollisionScope() const
{
    return worldSolid->getCollisionScope();
}

SimulatorPhysicsComponent* SimulatorPhysicsManager::componentOf(Node* node)
{
    return node != nullptr ? dynamic_cast<SimulatorPhysicsComponent*>(node->getPhysics()) : nullptr;
}

SimulatorPhysicsComponent* SimulatorPhysicsManager::componentOf(physics::Solid* solid)
{
    return solid != nullptr ? static_cast<SimulatorPhysicsComponent*>(solid->getUserData()) : nullptr;
}

void SimulatorPhysicsManager::set(PhysicsCollision& out, const physics::Collision& in)
{
    out.time = in.time;
    out.point = in.point;
    out.normal = in.normal;
    out.velocity = in.velocity;
    out.scope = in.scope;
    if (SimulatorPhysicsComponent* component = componentOf(in.hitSolid.get())) {
        out.collider = component->getParent();
    }
}

void SimulatorPhysicsManager::set(physics::Collision& out, const PhysicsCollision& in,
                                  physics::Solid* collider, physics::Solid* collidee)
{
    out.time = in.time;
    out.point = in.point;
    out.normal = in.normal;
    out.velocity = in.velocity;
    out.scope = in.scope;
    if (collider != nullptr) {
        out.hitSolid = collider;
    }
    if (collidee != nullptr) {
        out.sourceSolid = collidee;
    }
}

void SimulatorPhysicsManager::traceSegment(PhysicsCollision& result, const Segment& segment,
                                           int collideWithScope, Node* ignore)
{
    result.reset();
    SimulatorPhysicsComponent* ignored = componentOf(ignore);
    physics::Collision collision;
    simulator->traceSegment(collision, segment, collideWithScope,
                            ignored != nullptr ? ignored->getSolid() : nullptr);
    set(result, collision);
}

void SimulatorPhysicsManager::traceNode(PhysicsCollision& result, Node* node, const Segment& segment,
                                        int collideWithScope)
{
    result.reset();
    SimulatorPhysicsComponent* component = componentOf(node);
    if (component == nullptr) {
        return;
    }
    physics::Collision collision;
    simulator->traceSolid(collision, component->getSolid(), segment, collideWithScope);
    set(result, collision);
}

void SimulatorPhysicsManager::testNode(PhysicsCollision& result, Node* node, const Segment& segment,
                                       Node* other)
{
    result.reset();
    SimulatorPhysicsComponent* moving = componentOf(node);
    SimulatorPhysicsComponent* fixed = componentOf(other);
    if (moving == nullptr || fixed == nullptr) {
        return;
    }
    physics::Collision collision;
    simulator->testSolid(collision, moving->getSolid(), segment, fixed->getSolid());
    set(result, collision);
}

void SimulatorPhysicsManager::logicUpdate(int dt, int scope, Node* node)
{
    if (SimulatorPhysicsComponent* component = componentOf(node)) {
        const IntrusivePointer<SimulatorPhysicsComponent> hold(component);
        component->preSimulate();
        simulator->update(dt, scope, component->getSolid());
        component->postSimulate();
        return;
    }
    if (getIdle()) {
        return;
    }
    const IntrusivePointer<SimulatorPhysicsManager> hold(this);
    // From the last solid to the first; what a component does may take solids out of the list.
    for (int i = simulator->getNumSolids() - 1; i >= 0; --i) {
        if (i < simulator->getNumSolids()) {
            if (const IntrusivePointer<SimulatorPhysicsComponent> component{
                    componentOf(simulator->getSolid(i))}) {
                component->preSimulate();
            }
        }
    }
    simulator->update(dt, scope, nullptr);
    for (int i = simulator->getNumSolids() - 1; i >= 0; --i) {
        if (i < simulator->getNumSolids()) {
            if (const IntrusivePointer<SimulatorPhysicsComponent> component{
                    componentOf(simulator->getSolid(i))}) {
                component->postSimulate();
            }
        }
    }
}

bool SimulatorPhysicsManager::getIdle() const
{
    // Without solids (or once destroyed) a step moves nothing and reports nothing, and the hooks of
    // this class are empty; a class of its own may do more in them.
    if (!getWithoutSolids()) {
        return false;
    }
    if (!ownHooksKnown) {
        ownHooks = typeid(*this) == typeid(SimulatorPhysicsManager);
        ownHooksKnown = true;
    }
    return ownHooks;
}

void SimulatorPhysicsManager::frameUpdate(int, int, Node* node)
{
    const float fraction = scene != nullptr ? scene->getLogicFraction() : 0.0f;
    if (SimulatorPhysicsComponent* component = componentOf(node)) {
        component->lerpPosition(fraction);
        return;
    }
    for (int i = simulator->getNumSolids() - 1; i >= 0; --i) {
        if (i >= simulator->getNumSolids()) {
            continue;
        }
        physics::Solid* solid = simulator->getSolid(i);
        if (solid->getActive() && solid->getSimulator() != nullptr) {
            if (const IntrusivePointer<SimulatorPhysicsComponent> component{componentOf(solid)}) {
                component->lerpPosition(fraction);
            }
        }
    }
}

int SimulatorPhysicsManager::findSolidsInAABox(const AABox& box, physics::Solid** solids, int maxSolids)
{
    if (solids == nullptr || maxSolids <= 0) {
        return 0;
    }
    // The simulator lists exactly the solids of the root's physics nodes (a component adds its solid
    // only while its node hangs under the root), so its own index answers for the root's children
    // without a walk over every one of them; and it knows where the solids are in this step, where
    // the nodes show where they were at the last frame.
    physics::Solid** candidates = solids;
    int total = simulator->findListedSolids(box, solids, maxSolids);
    if (total > maxSolids) {
        // Some may be left out below, and the room must still be filled in list order.
        if (static_cast<int>(overflow.size()) < total) {
            overflow.resize(static_cast<size_t>(total));
        }
        candidates = overflow.data();
        total = simulator->findListedSolids(box, candidates, total);
    }
    int count = 0;
    for (int i = 0; i < total && count < maxSolids; ++i) {
        physics::Solid* solid = candidates[i];
        if (componentOf(solid) != nullptr && solid->getNumShapes() > 0) {
            solids[count++] = solid;
        }
    }
    return count;
}

bool SimulatorPhysicsManager::SolidSensorResults::resultFound(Node* node, float)
{
    SimulatorPhysicsComponent* component = componentOf(node);
    if (component != nullptr && count < maximum && component->getSolid()->getNumShapes() > 0) {
        solids[count++] = component->getSolid();
    }
    return count < maximum;
}

void SimulatorPhysicsManager::traceSegment(physics::Collision& collision, const Segment& segment,
                                           int collideWithScope)
{
    if (traceable == nullptr || (collideWithScope & worldSolid->getCollisionScope()) == 0) {
        return;
    }
    PhysicsCollision record;
    traceable->traceSegment(record, Vector3(), segment, Vector3());
    collision.time = record.time;
    collision.point = record.point;
    collision.normal = record.normal;
    collision.velocity = record.velocity;
    collision.scope = record.scope;
    collision.hitSolid = worldSolid;
}

void SimulatorPhysicsManager::traceSolid(physics::Collision& collision, physics::Solid* solid,
                                         const Segment& segment, int collideWithScope)
{
    if (traceable == nullptr || (collideWithScope & worldSolid->getCollisionScope()) == 0 ||
        (solid->getShapeTypes() & physics::Shape::Type_TRACEABLE) != 0) {
        return;
    }
    const AABox& local = solid->getLocalBound();
    PhysicsCollision record;
    traceable->traceSegment(record, Vector3(), segment, local.maximum - local.minimum);
    set(collision, record, nullptr, solid);
    collision.hitSolid = worldSolid;
}

} // namespace rezezaz::scene
