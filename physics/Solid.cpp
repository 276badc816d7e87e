#include "physics/Solid.h"

#include "physics/Constraint.h"
#include "physics/Simulator.h"

#include <cmath>

namespace rezezaz {
namespace physics {

using core::math::AABox;
using core::math::Vector3;

namespace {

void extend(AABox& box, const AABox& other)
{
    box.minimum.x = other.minimum.x < box.minimum.x ? other.minimum.x : box.minimum.x;
    box.minimum.y = other.minimum.y < box.minimum.y ? other.minimum.y : box.minimum.y;
    box.minimum.z = other.minimum.z < box.minimum.z ? other.minimum.z : box.minimum.z;
    box.maximum.x = other.maximum.x > box.maximum.x ? other.maximum.x : box.maximum.x;
    box.maximum.y = other.maximum.y > box.maximum.y ? other.maximum.y : box.maximum.y;
    box.maximum.z = other.maximum.z > box.maximum.z ? other.maximum.z : box.maximum.z;
}

} // namespace

Solid::Solid()
{
    setDefaults();
}

Solid::~Solid() = default;

void Solid::setDefaults()
{
    updateScope_ = -1;
    scope_ = 0;
    collisionScope_ = -1;
    collideWithScope_ = -1;
    mass_ = 1.0f;
    inverseMass_ = 1.0f;
    position_ = Vector3();
    velocity_ = Vector3();
    force_ = Vector3();
    gravityCoefficient_ = 1.0f;
    restitutionCoefficient_ = 0.5f;
    restitutionOverride_ = false;
    staticFrictionCoefficient_ = 0.5f;
    dynamicFrictionCoefficient_ = 0.5f;
    dragCoefficient_ = 0.0f;
    shapeTypes_ = 0;
    localBound_ = AABox();
    worldBound_ = AABox();
    collisionListener_ = nullptr;
    userData_ = nullptr;
    active_ = true;
    deactivateCount_ = 0;
    touching_ = nullptr;
    touchingNormal_ = Vector3();
    lastTouching_ = nullptr;
    lastTouchingNormal_ = Vector3();
    repeatTouching_ = nullptr;
    repeatTouchingNormal_ = Vector3();
    useManagerHooks_ = false;
    simulator_ = nullptr;
    touchedInLastStep_ = false;
    lastFinitePosition_ = Vector3();
    nonFiniteLogged_ = false;
}

void Solid::setMass(float mass)
{
    mass_ = mass;
    inverseMass_ = mass > 0.0f ? 1.0f / mass : 0.0f;
}

void Solid::setInfiniteMass()
{
    mass_ = INFINITE_MASS;
    inverseMass_ = 0.0f;
}

void Solid::setPosition(const Vector3& position)
{
    setPositionDirect(position);
    if (simulator_ == nullptr) {
        return;
    }
    const Vector3 velocity = velocity_;
    const Vector3 force = force_;
    simulator_->updateSolid(this, lastDt_, static_cast<float>(lastDt_ / 1000.0));
    setPositionDirect(position);
    velocity_ = velocity;
    force_ = force;
    activate();
}

void Solid::setPositionDirect(const Vector3& position)
{
    position_ = position;
    worldBound_.minimum = localBound_.minimum + position_;
    worldBound_.maximum = localBound_.maximum + position_;
    if (std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z)) {
        lastFinitePosition_ = position;
    }
    if (simulator_ != nullptr) {
        simulator_->internal_solidMoved(this);
    }
}

void Solid::setVelocity(const Vector3& velocity)
{
    velocity_ = velocity;
    activate();
}

void Solid::addForce(const Vector3& force)
{
    force_ += force;
    activate();
}

void Solid::addShape(Shape* shape)
{
    if (shape == nullptr) {
        return;
    }
    shapes_.add(core::IntrusivePointer<Shape>(shape));
    shape->internal_setSolid(this);
    updateLocalBound();
    activate();
}

void Solid::removeShape(Shape* shape)
{
    // The list may hold the last reference: the shape is let go only after its owner is cleared.
    core::IntrusivePointer<Shape> keep(shape);
    if (!shapes_.remove(shape)) {
        return;
    }
    if (shape->getSolid() == this) {
        shape->internal_setSolid(nullptr);
    }
    updateLocalBound();
    activate();
}

void Solid::removeAllShapes()
{
    for (int i = 0; i < shapes_.size(); ++i) {
        if (shapes_[i]->getSolid() == this) {
            shapes_[i]->internal_setSolid(nullptr);
        }
    }
    shapes_.clear();
    updateLocalBound();
    activate();
}

void Solid::updateLocalBound()
{
    if (shapes_.size() == 0) {
        shapeTypes_ = 0;
        localBound_ = AABox();
    } else {
        shapeTypes_ = shapes_[0]->getType();
        shapes_[0]->getBound(localBound_);
        for (int i = 1; i < shapes_.size(); ++i) {
            shapeTypes_ |= shapes_[i]->getType();
            AABox bound;
            shapes_[i]->getBound(bound);
            extend(localBound_, bound);
        }
    }
    setPositionDirect(position_);
}

void Solid::activate()
{
    if (deactivateCount_ > 0) {
        deactivateCount_ = 0;
    }
    if (active_) {
        return;
    }
    active_ = true;
    // Waking spreads along the constraints; a solid already awake ends the spread.
    for (int i = 0; i < constraints_.size(); ++i) {
        Constraint* constraint = constraints_[i];
        Solid* start = constraint->getStartSolid();
        Solid* end = constraint->getEndSolid();
        if (start != nullptr && start != this) {
            start->activate();
        } else if (end != nullptr && end != this) {
            end->activate();
        }
    }
}

void Solid::deactivate()
{
    active_ = false;
    deactivateCount_ = 0;
}

void Solid::setStayActive(bool stayActive)
{
    deactivateCount_ = stayActive ? -1 : 0;
    activate();
}

void Solid::reset()
{
    // A constraint may hold the last reference to this solid, and destroy() lets the constraints go.
    core::IntrusivePointer<Solid> keep;
    if (constraints_.size() > 0) {
        keep = this;
    }
    destroy();
    Simulator* simulator = simulator_;
    setDefaults();
    // Still listed by the simulator until it is removed there: its candidate search must see the
    // bound it has now.
    if (simulator != nullptr) {
        simulator->internal_solidMoved(this);
    }
}

void Solid::destroy()
{
    while (constraints_.size() > 0) {
        Constraint* constraint = constraints_[0];
        if (constraint->getStartSolid() == this) {
            constraint->destroy();
        } else {
            constraint->setEndSolid(nullptr);
        }
        // A constraint that names this solid at neither end still leaves the list.
        constraints_.remove(constraint);
    }
    for (int i = 0; i < shapes_.size(); ++i) {
        if (shapes_[i]->getSolid() == this) {
            shapes_[i]->internal_setSolid(nullptr);
        }
    }
    shapes_.clear();
}

} // namespace physics
} // namespace rezezaz
