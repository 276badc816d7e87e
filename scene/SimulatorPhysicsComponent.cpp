#include "scene/SimulatorPhysicsComponent.h"

#include "core/NonInstantiableType.h"
#include "physics/Collision.h"
#include "physics/Simulator.h"
#include "scene/Arguments.h"
#include "scene/Node.h"
#include "scene/PhysicsCollision.h"
#include "scene/PhysicsCollisionListener.h"
#include "scene/SimulatorPhysicsManager.h"
#include "scene/Transform.h"

namespace rezezaz::scene {

using core::IntrusivePointer;
using core::math::AABox;
using core::math::Segment;
using core::math::Vector3;

SimulatorPhysicsComponent::SimulatorPhysicsComponent(SimulatorPhysicsManager* manager)
    : manager(manager), solid(new physics::Solid()), bound(new Bound()), worldBound(new Bound())
{
    solid->setUserData(this);
    solid->setCollisionListener(this);
}

SimulatorPhysicsComponent::~SimulatorPhysicsComponent()
{
    // The solid may outlive the component in a collision record: it must not trace through it.
    if (traceableShape) {
        solid->removeShape(traceableShape.get());
        traceableShape->setTraceable(nullptr);
    }
}

void SimulatorPhysicsComponent::destroy()
{
    solid->setUserData(nullptr);
    solid->setCollisionListener(nullptr);
    BaseComponent::destroy();
}

const core::Type<Component>* SimulatorPhysicsComponent::getType() const
{
    static const core::NonInstantiableType<SimulatorPhysicsComponent, Component> type{
        core::String("SimulatorPhysicsComponent")};
    return &type;
}

void SimulatorPhysicsComponent::parentChanged(Node* newParent)
{
    const IntrusivePointer<SimulatorPhysicsComponent> hold(this);
    if (parent != nullptr) {
        parent->physicsRemoved(this);
        parent->spacialRemoved(this);
    }
    BaseComponent::parentChanged(newParent);
    if (parent == nullptr) {
        return;
    }
    parent->physicsAttached(this);
    parent->spacialAttached(this);
    oldPosition = newPosition = solid->getPosition();
    lerpPosition(0.0f);
    parent->boundChanged();
}

void SimulatorPhysicsComponent::rootChanged(Node* newRoot)
{
    BaseComponent::rootChanged(newRoot);
    // Only direct children of the root are simulated: the node's translate is the solid's position.
    if (!manager || parent == nullptr || newRoot == nullptr || parent->getParent() != newRoot) {
        removeFromSimulator();
        return;
    }
    if (solid->getUpdateScope() != parent->getScope()) {
        solid->setUpdateScope(parent->getScope());
    }
    if (positionChanged) {
        positionChanged = false;
        solid->setPosition(newPosition);
    }
    manager->getSimulator()->addSolid(solid.get());
}

void SimulatorPhysicsComponent::removeFromSimulator()
{
    if (physics::Simulator* simulator = solid->getSimulator()) {
        simulator->removeSolid(solid.get());
    }
}

bool SimulatorPhysicsComponent::getActive()
{
    return solid->getActive() && solid->getSimulator() != nullptr;
}

void SimulatorPhysicsComponent::addCollisionListener(PhysicsCollisionListener* listener)
{
    requireArgument(listener, "SimulatorPhysicsComponent::addCollisionListener: null listener");
    // Appended past the end of every telling under way, so none of them reaches it.
    listeners.add(listener);
}

void SimulatorPhysicsComponent::removeCollisionListener(PhysicsCollisionListener* listener)
{
    requireArgument(listener, "SimulatorPhysicsComponent::removeCollisionListener: null listener");
    const int index = listeners.findIndex(listener);
    if (index < 0) {
        return;
    }
    listeners.erase(listeners.begin() + index);
    // The listener may be freed as soon as this returns: no telling under way may reach it.
    for (Telling* t = telling; t != nullptr; t = t->outer) {
        if (index < t->end) {
            --t->end;
        }
        if (index < t->next) {
            --t->next;
        }
    }
}

void SimulatorPhysicsComponent::takeSolidBound()
{
    bound->setBox(solid->getLocalBound());
}

void SimulatorPhysicsComponent::setBound(Bound* value)
{
    requireArgument(value, "SimulatorPhysicsComponent::setBound: null bound");
    solid->removeAllShapes();
    if (value->kind == Bound::Kind_SPHERE) {
        solid->addShape(IntrusivePointer<physics::Shape>(new physics::Shape(value->sphere)).get());
    } else if (value->kind == Bound::Kind_BOX) {
        solid->addShape(IntrusivePointer<physics::Shape>(new physics::Shape(value->box)).get());
    }
    takeSolidBound();
}

void SimulatorPhysicsComponent::setTraceable(PhysicsTraceable* value)
{
    const IntrusivePointer<PhysicsTraceable> keep(value);
    if (traceableShape) {
        solid->removeShape(traceableShape.get());
        traceableShape = nullptr;
    }
    traceable = value;
    if (value != nullptr) {
        traceableShape = new physics::Shape(static_cast<physics::Traceable*>(this));
        solid->addShape(traceableShape.get());
    }
    takeSolidBound();
}

void SimulatorPhysicsComponent::addShape(physics::Shape* shape)
{
    requireArgument(shape, "SimulatorPhysicsComponent::addShape: null shape");
    solid->addShape(shape);
}

void SimulatorPhysicsComponent::removeShape(physics::Shape* shape)
{
    requireArgument(shape, "SimulatorPhysicsComponent::removeShape: null shape");
    solid->removeShape(shape);
}

void SimulatorPhysicsComponent::setPosition(const Vector3& position)
{
    solid->setPosition(position);
}

Vector3 SimulatorPhysicsComponent::getPosition()
{
    return solid->getPosition();
}

void SimulatorPhysicsComponent::setVelocity(const Vector3& velocity)
{
    solid->setVelocity(velocity);
}

Vector3 SimulatorPhysicsComponent::getVelocity()
{
    return solid->getVelocity();
}

void SimulatorPhysicsComponent::addForce(const Vector3& force)
{
    solid->addForce(force);
}

void SimulatorPhysicsComponent::setMass(float mass)
{
    solid->setMass(mass);
}

float SimulatorPhysicsComponent::getMass()
{
    return solid->getMass();
}

void SimulatorPhysicsComponent::setGravity(float coefficient)
{
    solid->setGravityCoefficient(coefficient);
}

float SimulatorPhysicsComponent::getGravity()
{
    return solid->getGravityCoefficient();
}

void SimulatorPhysicsComponent::setScope(int scope)
{
    solid->setScope(scope);
    solid->setCollisionScope(scope);
    solid->setCollideWithScope(scope);
}

int SimulatorPhysicsComponent::getScope()
{
    return solid->getCollisionScope();
}

void SimulatorPhysicsComponent::setCollisionScope(int scope)
{
    solid->setCollisionScope(scope);
}

int SimulatorPhysicsComponent::getCollisionScope()
{
    return solid->getCollisionScope();
}

void SimulatorPhysicsComponent::setCollideWithScope(int scope)
{
    solid->setCollideWithScope(scope);
}

int SimulatorPhysicsComponent::getCollideWithScope()
{
    return solid->getCollideWithScope();
}

void SimulatorPhysicsComponent::collision(const physics::Collision& in)
{
    const IntrusivePointer<SimulatorPhysicsComponent> hold(this);
    PhysicsCollision record;
    SimulatorPhysicsManager::set(record, in);
    collision(record);
}

void SimulatorPhysicsComponent::collision(const PhysicsCollision& record)
{
    // Walks the live list: a listener may add listeners, which wait for the next collision, or remove
    // (and free) listeners, which are then not told.
    Telling current{0, listeners.size(), telling};
    telling = &current;
    try {
        while (current.next < current.end) {
            PhysicsCollisionListener* listener = listeners[current.next++];
            listener->collision(record);
        }
    } catch (...) {
        telling = current.outer;
        throw;
    }
    telling = current.outer;
}

void SimulatorPhysicsComponent::getBound(AABox& box)
{
    if (traceable) {
        if (Bound* physicsBound = traceable->getPhysicsBound()) {
            box = physicsBound->box;
        }
    }
}

void SimulatorPhysicsComponent::traceSegment(physics::Collision& collision, const Vector3& position,
                                             const Segment& segment)
{
    if (!traceable) {
        return;
    }
    PhysicsCollision record;
    traceable->traceSegment(record, position, segment, Vector3());
    SimulatorPhysicsManager::set(collision, record, solid.get(), nullptr);
}

void SimulatorPhysicsComponent::traceSolid(physics::Collision& collision, physics::Solid* other,
                                           const Vector3& position, const Segment& segment)
{
    if (!traceable) {
        return;
    }
    // The other solid's box traced from its centre, the hit given back at its origin.
    const AABox& local = other->getLocalBound();
    const Vector3 size = local.maximum - local.minimum;
    const Vector3 centre = (local.minimum + local.maximum) * 0.5f;
    PhysicsCollision record;
    traceable->traceSegment(record, position, Segment(segment.origin + centre, segment.direction), size);
    record.point = record.point - centre;
    SimulatorPhysicsManager::set(collision, record, solid.get(), other);
}

void SimulatorPhysicsComponent::transformChanged(Transform*)
{
    if (parent == nullptr) {
        return;
    }
    const Vector3& translate = parent->getTransform()->translate;
    if (translate.x == currentPosition.x && translate.y == currentPosition.y &&
        translate.z == currentPosition.z) {
        // Our own write: no move, but the world bound goes along, or the scene would sense the body
        // where it was placed first.
        worldBound->transform(*bound, *parent->getWorldTransform());
        return;
    }
    oldPosition = newPosition = currentPosition = translate;
    takeSolidBound();
    worldBound->transform(*bound, *parent->getWorldTransform());
    positionChanged = true;
}

void SimulatorPhysicsComponent::preSimulate()
{
    if (parent != nullptr && solid->getUpdateScope() != parent->getScope()) {
        solid->setUpdateScope(parent->getScope());
    }
    if (positionChanged) {
        positionChanged = false;
        solid->setPosition(newPosition);
    }
}

void SimulatorPhysicsComponent::postSimulate()
{
    if (!getActive()) {
        return;
    }
    if (parent != nullptr) {
        parent->activate();
    }
    if (positionChanged) {
        positionChanged = false;
        solid->setPosition(newPosition);
    } else {
        updatePosition(solid->getPosition());
    }
    takeSolidBound();
}

void SimulatorPhysicsComponent::updatePosition(const Vector3& position)
{
    oldPosition = newPosition;
    newPosition = position;
}

void SimulatorPhysicsComponent::lerpPosition(float fraction)
{
    currentPosition = oldPosition + (newPosition - oldPosition) * fraction;
    showAt(currentPosition);
}

void SimulatorPhysicsComponent::showAt(const Vector3& position)
{
    if (parent == nullptr) {
        return;
    }
    Transform* transform = parent->getTransform();
    transform->translate = position;
    transform->notify();
}

} // namespace rezezaz::scene
