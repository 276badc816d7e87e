#include "physics/Simulator.h"

#include "core/Log.h"
#include "core/String.h"
#include "core/math/Math.h"
#include "physics/CollisionListener.h"
#include "physics/Manager.h"

#include <cmath>
#include <cstdio>

namespace rezezaz {
namespace physics {

using core::math::Math;
using core::math::Segment;
using core::math::Vector3;

namespace {

bool meets(int32_t a, int32_t b)
{
    return (a & b) != 0;
}

bool finite(const Vector3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

Simulator::Simulator()
    : integrator_(INTEGRATOR_RALSTON),
      oneOverEpsilon_(1.0f / 0.001f),
      epsilon_(0.001f),
      halfEpsilon_(0.0005f),
      quarterEpsilon_(0.00025f),
      snapToGridEnabled_(false),
      averageNormals_(false),
      maxPositionComponent_(100000.0f),
      maxVelocityComponent_(1000.0f),
      maxForceComponent_(1000.0f),
      numCollisions_(0),
      numSpacials_(0),
      reportingCollisions_(false),
      microCollisionThreshold_(1.0f),
      deactivateSpeed_(0.002f),
      deactivateCount_(4),
      manager_(nullptr)
{
    setGravity(Vector3(0.0f, 0.0f, -9.81f));
    collisions_.resize(MAX_COLLISIONS);
}

Simulator::~Simulator()
{
    releaseAll();
}

void Simulator::destroy()
{
    releaseAll();
}

void Simulator::releaseAll()
{
    // Solids and constraints may outlive the simulator: none of them may keep pointing at it, nor at
    // solids it let go.
    for (int i = 0; i < numCollisions_; ++i) {
        collisions_[i].reset();
    }
    numCollisions_ = 0;
    while (constraints_.size() > 0) {
        removeConstraint(constraints_[constraints_.size() - 1].get());
    }
    while (solids_.size() > 0) {
        removeSolid(solids_[solids_.size() - 1].get());
    }
}

void Simulator::setGravity(const Vector3& gravity)
{
    gravity_ = gravity;
    for (int i = 0; i < solids_.size(); ++i) {
        solids_[i]->activate();
    }
}

void Simulator::setEpsilon(float epsilon)
{
    if (!(epsilon >= 0.0f)) {
        char text[96];
        std::snprintf(text, sizeof text, "Simulator::setEpsilon refused %g; the epsilon stays %g",
                      static_cast<double>(epsilon), static_cast<double>(epsilon_));
        core::Log::warning(core::String(text));
        return;
    }
    epsilon_ = epsilon;
    oneOverEpsilon_ = 1.0f / epsilon;
    halfEpsilon_ = epsilon / 2.0f;
    quarterEpsilon_ = epsilon / 4.0f;
}

void Simulator::addSolid(Solid* solid)
{
    if (solid == nullptr || solids_.findIndex(solid) >= 0) {
        return;
    }
    solids_.add(core::IntrusivePointer<Solid>(solid));
    solid->internal_setSimulator(this);
    solid->activate();
    if (spacials_.size() < solids_.size()) {
        spacials_.resize(solids_.size());
    }
    grid_.reserve(solids_.size());
    grid_.invalidate();
}

void Simulator::setGridThreshold(int solids)
{
    gridThreshold_ = solids;
    grid_.invalidate();
}

void Simulator::removeSolid(Solid* solid)
{
    const int index = solids_.findIndex(solid);
    if (index < 0) {
        return;
    }
    solid->touching_ = nullptr;
    solid->lastTouching_ = nullptr;
    solid->repeatTouching_ = nullptr;
    for (int i = 0; i < solids_.size(); ++i) {
        Solid* other = solids_[i].get();
        if (other->touching_ == solid) {
            other->touching_ = nullptr;
        }
        if (other->lastTouching_ == solid) {
            other->lastTouching_ = nullptr;
        }
        if (other->repeatTouching_ == solid) {
            other->repeatTouching_ = nullptr;
        }
    }
    // While collisions are reported, the removed solid leaves the remaining records. Between
    // updates the records keep it (they hold their own references), so that the other party still
    // hears of the collision.
    if (reportingCollisions_) {
        for (int i = 0; i < numCollisions_; ++i) {
            if (collisions_[i].hitSolid == solid) {
                collisions_[i].hitSolid = nullptr;
            }
            if (collisions_[i].sourceSolid == solid) {
                collisions_[i].sourceSolid = nullptr;
            }
        }
    }
    // Nor does a candidate of a sweep that is under way.
    for (int i = 0; i < numSpacials_ && i < spacials_.size(); ++i) {
        if (spacials_[i] == solid) {
            spacials_[i] = nullptr;
        }
    }
    // An update under way keeps its place among the solids that stay.
    if (index < updateEnd_) {
        --updateEnd_;
        if (index <= updateIndex_) {
            --updateIndex_;
        }
    }
    grid_.invalidate();
    solid->internal_setSimulator(nullptr);
    solid->gridIndex_ = -1;
    solids_.erase(solids_.begin() + index);
}

int Simulator::countActiveSolids() const
{
    int count = 0;
    for (int i = 0; i < solids_.size(); ++i) {
        if (solids_[i]->active_) {
            ++count;
        }
    }
    return count;
}

void Simulator::addConstraint(Constraint* constraint)
{
    if (constraint == nullptr || constraints_.findIndex(constraint) >= 0) {
        return;
    }
    constraints_.add(core::IntrusivePointer<Constraint>(constraint));
    constraint->internal_setSimulator(this);
}

void Simulator::removeConstraint(Constraint* constraint)
{
    const int index = constraints_.findIndex(constraint);
    if (index < 0) {
        return;
    }
    constraint->internal_setSimulator(nullptr);
    constraints_.erase(constraints_.begin() + index);
}

Manager* Simulator::hookTarget(Solid* solid) const
{
    return solid->manager_ != nullptr ? solid->manager_ : manager_;
}

void Simulator::update(int dt, int scope, Solid* solid)
{
    if (reportingCollisions_) {
        // Asked for by a listener: the update under way delivers the reports and ends; another
        // one here would report the same records again, without end.
        return;
    }
    const float fdt = static_cast<float>(dt / 1000.0);
    if (manager_ != nullptr) {
        manager_->preUpdate(dt, fdt);
    }
    if (solid != nullptr) {
        stepSolid(solid, dt, fdt, scope);
    } else {
        // Removals by hooks move the index and the end back (removeSolid), however many there are.
        // Put back as they were however the loop ends (an unimplemented shape pair throws).
        struct Place
        {
            Place(int32_t& i, int32_t& e) : index(i), end(e), outerIndex(i), outerEnd(e) {}
            ~Place()
            {
                index = outerIndex;
                end = outerEnd;
            }
            int32_t& index;
            int32_t& end;
            const int32_t outerIndex;
            const int32_t outerEnd;
        } place(updateIndex_, updateEnd_);
        updateEnd_ = solids_.size();
        for (updateIndex_ = 0; updateIndex_ < updateEnd_ && updateIndex_ < solids_.size(); ++updateIndex_) {
            stepSolid(solids_[updateIndex_].get(), dt, fdt, scope);
        }
    }
    if (meets(scope, SCOPE_REPORT_COLLISIONS)) {
        reportCollisions();
    }
    if (manager_ != nullptr) {
        manager_->postUpdate(dt, fdt);
    }
}

void Simulator::stepSolid(Solid* solid, int dt, float fdt, int scope)
{
    // Held for the step: a hook may remove the solid from the simulator.
    const core::IntrusivePointer<Solid> current(solid);
    if (current == nullptr || !current->active_ || (scope != 0 && !meets(current->updateScope_, scope))) {
        return;
    }
    current->lastDt_ = dt;
    if (current->useManagerHooks_) {
        if (Manager* target = hookTarget(current.get())) {
            target->preUpdate(current.get(), dt, fdt);
        }
    }
    updateSolid(current.get(), dt, fdt);
    if (current->useManagerHooks_ && manager_ != nullptr) {
        hookTarget(current.get())->postUpdate(current.get(), dt, fdt);
    }
}

void Simulator::integrationStep(Solid* solid, const Vector3& x, const Vector3& v, const Vector3& dx,
                                const Vector3& dv, float dt, Vector3& resultDx, Vector3& resultDv)
{
    const Vector3 stageX = x + dx * dt;
    const Vector3 stageV = v + dv * dt;
    resultDx = stageV;
    updateAcceleration(resultDv, solid, stageX, stageV, dt);
}

void Simulator::holdNonFinite(Solid* solid)
{
    // Nothing of this state may reach another solid through a response or a spring: the solid
    // stays where it last stood at a finite position, without velocity or force, and sleeps until
    // it is given a new state.
    solid->velocity_ = Vector3();
    solid->force_ = Vector3();
    solid->setPositionDirect(finite(solid->position_) ? solid->position_ : solid->lastFinitePosition_);
    solid->deactivate();
    if (!solid->nonFiniteLogged_) {
        solid->nonFiniteLogged_ = true;
        core::Log::warning(core::String("Simulator::updateSolid: a solid's position, velocity or force is not a "
                                        "finite number; the solid is put to sleep where it last stood"));
    }
}

void Simulator::updateSolid(Solid* solid, int dt, float fdt)
{
    Collision& c = stepCollision_;
    c.reset();

    if (!finite(solid->position_) || !finite(solid->velocity_) || !finite(solid->force_)) {
        holdNonFinite(solid);
        return;
    }

    Vector3 x = solid->position_;
    const Vector3 v = solid->velocity_;
    const Vector3 force = solid->force_;
    Vector3 newX = x;
    Vector3 newV = v;

    // Every stage, the first included, takes the step's time as its dt.
    const Vector3 zero;
    Vector3 dx1, dv1, dx2, dv2, dx3, dv3, dx4, dv4;
    switch (integrator_) {
    case INTEGRATOR_EULER:
        integrationStep(solid, x, v, zero, zero, fdt, dx1, dv1);
        newX = x + dx1 * fdt;
        newV = v + dv1 * fdt;
        break;
    case INTEGRATOR_HEUN:
        integrationStep(solid, x, v, zero, zero, fdt, dx1, dv1);
        integrationStep(solid, x, v, dx1, dv1, fdt, dx2, dv2);
        newX = x + (dx1 + dx2) * fdt / 2.0f;
        newV = v + (dv1 + dv2) * fdt / 2.0f;
        break;
    case INTEGRATOR_RALSTON: {
        const float h = 2.0f * fdt / 3.0f;
        integrationStep(solid, x, v, zero, zero, fdt, dx1, dv1);
        integrationStep(solid, x, v, dx1, dv1, h, dx2, dv2);
        newX = x + (dx1 + dx2 * 3.0f) * fdt / 4.0f;
        newV = v + (dv1 + dv2 * 3.0f) * fdt / 4.0f;
        break;
    }
    case INTEGRATOR_RUNGE_KUTTA: {
        const float h = fdt / 2.0f;
        integrationStep(solid, x, v, zero, zero, fdt, dx1, dv1);
        integrationStep(solid, x, v, dx1, dv1, h, dx2, dv2);
        integrationStep(solid, x, v, dx2, dv2, h, dx3, dv3);
        integrationStep(solid, x, v, dx3, dv3, fdt, dx4, dv4);
        newX = x + (dx1 + dx2 * 2.0f + dx3 * 2.0f + dx4) * fdt / 6.0f;
        newV = v + (dv1 + dv2 * 2.0f + dv3 * 2.0f + dv4) * fdt / 6.0f;
        break;
    }
    default:
        // No integration is defined for other values: the solid only keeps its place.
        break;
    }

    if (!finite(newX) || !finite(newV)) {
        holdNonFinite(solid);
        return;
    }

    capVector3(newV, maxVelocityComponent_);
    solid->velocity_ = newV;
    solid->force_ = Vector3();

    if (solid->useManagerHooks_) {
        if (Manager* target = hookTarget(solid)) {
            target->intraUpdate(solid, dt, fdt);
        }
    }

    snapToGrid(x);
    capVector3(x, maxPositionComponent_);
    snapToGrid(newX);
    capVector3(newX, maxPositionComponent_);
    // The path of the first pass, for the time of a contact within the step.
    const Vector3 start = x;
    const Vector3 path = newX - x;

    const int32_t collideWithScope = solid->collideWithScope_;
    if (collideWithScope != 0) {
        const Vector3 moved = newX - x;
        float reach = std::fabs(moved.x);
        reach = std::fabs(moved.y) > reach ? std::fabs(moved.y) : reach;
        reach = std::fabs(moved.z) > reach ? std::fabs(moved.z) : reach;
        reach += epsilon_;
        const Vector3 grow(reach, reach, reach);
        gatherSpacials(core::math::AABox(solid->localBound_.minimum + newX - grow,
                                         solid->localBound_.maximum + newX + grow));
    }

    bool firstPass = false;
    bool stoppedAtLastPass = false;
    bool struckSomething = false;
    for (int pass = 0; pass < 6; ++pass) {
        firstPass = pass == 0;
        if (pass > 0) {
            snapToGrid(x);
            snapToGrid(newX);
            if (tooSmall(newX - x, epsilon_)) {
                newX = x;
                break;
            }
        }

        traceSolidWithCurrentSpacials(c, solid, Segment(x, newX - x), collideWithScope);
        if (c.time >= 1.0f) {
            break;
        }
        struckSomething = true;

        snapToGrid(c.point);
        Vector3 offset;
        calculateEpsilonOffset(offset, c.point - x, c.normal);
        x = c.point + offset;
        Vector3 remainder = newX - x;

        Solid* struck = c.hitSolid.get();
        // A struck solid whose velocity is not finite counts as standing still and is not pushed.
        const Vector3 struckVelocity = struck != nullptr && finite(struck->velocity_) ? struck->velocity_ : Vector3();
        if (struck != solid->repeatTouching_ &&
            (solid->collisionListener_ != nullptr || (struck != nullptr && struck->collisionListener_ != nullptr))) {
            c.sourceSolid = solid;
            c.velocity = solid->velocity_ - struckVelocity;
            if (numCollisions_ < MAX_COLLISIONS) {
                collisions_[numCollisions_] = c;
                ++numCollisions_;
            }
        }

        bool handled = false;
        if (solid->useManagerHooks_) {
            if (Manager* target = hookTarget(solid)) {
                handled = target->collisionResponse(solid, x, remainder, c);
                struck = c.hitSolid.get();
            }
        }

        const Vector3 n = c.normal;
        if (!handled) {
            if (pass == 0) {
                // The velocity along the normal is the one at the time of the contact, not the one
                // the step would have reached by its end: the solid stops at the contact, and what
                // the step's acceleration adds after it must not be bounced back (a bounce would
                // gain energy). The time within the step comes from where the solid stops on the
                // path (the contact, stepped back), taken as x + v h s + (path - v h) s^2.
                const Vector3 linear = v * fdt;
                const float alpha = Math::dot(path, path - linear);
                const float beta = Math::dot(path, linear);
                const float along = Math::dot(x - start, path);
                const float gamma = along > 0.0f ? along : 0.0f;
                const float root = beta * beta + 4.0f * alpha * gamma;
                float s = 0.0f;
                if (root >= 0.0f) {
                    const float denominator = beta + std::sqrt(root);
                    if (denominator > 0.0f) {
                        s = 2.0f * gamma / denominator;
                    }
                }
                s = s < 0.0f ? 0.0f : (s > 1.0f ? 1.0f : s);
                if (!std::isfinite(s)) {
                    s = 0.0f;
                }
                const Vector3 atContact = v + (newV - v) * s;
                solid->velocity_ += c.normal * Math::dot(atContact - solid->velocity_, c.normal);
            }

            Vector3& velocity = solid->velocity_;
            const bool pushable = struck != nullptr && finite(struck->velocity_);
            const Vector3 w = (pushable ? struck->velocity_ : Vector3()) - velocity;
            float e = solid->restitutionCoefficient_;
            if (struck != nullptr && !solid->restitutionOverride_) {
                e = (e + struck->restitutionCoefficient_) / 2.0f;
            }
            float impulse = Math::dot(w, n);
            if (impulse >= microCollisionThreshold_) {
                impulse = impulse * (1.0f + e);
            }
            Vector3 push;
            if (solid->mass_ != 0.0f && (struck == nullptr || struck->mass_ != 0.0f)) {
                const float inverseSum = solid->inverseMass_ + (struck != nullptr ? struck->inverseMass_ : 0.0f);
                impulse = inverseSum != 0.0f ? impulse / inverseSum : 0.0f;
                if (solid->mass_ != Solid::INFINITE_MASS) {
                    velocity += n * impulse * solid->inverseMass_;
                }
                if (struck != nullptr) {
                    if (struck->mass_ == Solid::INFINITE_MASS) {
                        push = Vector3();
                    } else if (solid->mass_ == Solid::INFINITE_MASS) {
                        push = n * (0.5f * Math::dot(w, n));
                    } else {
                        push = n * impulse * struck->inverseMass_;
                    }
                }
            } else if (struck != nullptr && struck->mass_ != Solid::INFINITE_MASS) {
                // A massless party hands the whole impulse on, but nothing moves an infinite mass.
                push = n * impulse;
            }
            bool pushed = false;
            if (pushable && meets(solid->collisionScope_, struck->collideWithScope_) &&
                (std::fabs(push.x) >= deactivateSpeed_ || std::fabs(push.y) >= deactivateSpeed_ ||
                 std::fabs(push.z) >= deactivateSpeed_)) {
                struck->activate();
                struck->velocity_ -= push;
                pushed = true;
            }
            // A solid that its own response leaves alone (no mass, a non-positive or an infinite
            // one) and that strikes what cannot give way must not keep its speed into the surface,
            // or it would gather speed while it rests.
            const bool immovable = struck == nullptr || struck->mass_ == Solid::INFINITE_MASS ||
                                   (solid->mass_ != 0.0f && struck->mass_ != 0.0f && struck->inverseMass_ == 0.0f);
            if ((solid->mass_ == 0.0f || solid->inverseMass_ == 0.0f) && immovable && !pushed) {
                const float into = Math::dot(velocity, n);
                if (into < 0.0f) {
                    velocity -= n * into;
                }
            }
        }

        solid->lastTouching_ = solid->touching_;
        solid->lastTouchingNormal_ = solid->touchingNormal_;
        if (solid->touching_ == struck) {
            solid->repeatTouching_ = struck;
            solid->repeatTouchingNormal_ = n;
            // A first touch by a move of no length has no normal; the next touch gives it one, or
            // the contact would carry no load (and no friction) for as long as it lasts.
            if (solid->touchingNormal_ == Vector3()) {
                solid->touchingNormal_ = n;
            }
        } else {
            solid->touching_ = struck;
            solid->touchingNormal_ = n;
            solid->repeatTouching_ = nullptr;
        }

        if (tooSmall(remainder, epsilon_)) {
            newX = x;
            break;
        }
        if (pass >= 5) {
            solid->velocity_ = Vector3();
            newX = x;
            stoppedAtLastPass = true;
            break;
        }
        const float speed = Math::length(solid->velocity_);
        if (speed <= epsilon_) {
            newX = x;
            break;
        }
        // Slide: the rest of the movement along the velocity, without its part into the surface.
        const Vector3 m = solid->velocity_ / speed * Math::length(remainder);
        newX = x + (m - n * Math::dot(m, n));
    }

    if (!stoppedAtLastPass && c.time == 1.0f && firstPass) {
        // The step after a touch keeps the contact when the solid was not moving away from it: a
        // solid resting on a surface need not reach it on every step (Euler moves it by a velocity
        // that the last response cleared), and its friction must not come and go.
        if (solid->touchedInLastStep_ && collideWithScope != 0 && solid->touching_ != nullptr &&
            Math::dot(v, solid->touchingNormal_) <= 0.0f) {
            solid->touchedInLastStep_ = false;
        } else {
            solid->touching_ = nullptr;
            solid->lastTouching_ = nullptr;
            solid->repeatTouching_ = nullptr;
            solid->touchedInLastStep_ = false;
        }
    } else if (struckSomething) {
        solid->touchedInLastStep_ = true;
    }

    if (solid->deactivateCount_ >= 0) {
        // Still: slower than the deactivation speed over the step, and either resting on
        // something or under no force that would move it on.
        const Vector3 moved = newX - solid->position_;
        const float limit = deactivateSpeed_ * fdt;
        bool still = std::fabs(moved.x) < limit && std::fabs(moved.y) < limit && std::fabs(moved.z) < limit;
        if (still && solid->touching_ == nullptr) {
            Vector3 acceleration;
            heldAcceleration(acceleration, solid, newX, force);
            still = tooSmall(acceleration * fdt, deactivateSpeed_);
        }
        if (still) {
            const int32_t before = solid->deactivateCount_++;
            if (before >= deactivateCount_) {
                bool partnerAwake = false;
                for (int i = solid->constraints_.size() - 1; i >= 0 && !partnerAwake; --i) {
                    const Constraint* constraint = solid->constraints_[i];
                    Solid* partner = constraint->getStartSolid();
                    if (partner == nullptr || partner == solid) {
                        partner = constraint->getEndSolid();
                        if (partner == solid) {
                            partner = nullptr;
                        }
                    }
                    partnerAwake = partner != nullptr && partner->active_ && partner->deactivateCount_ <= deactivateCount_;
                }
                if (!partnerAwake) {
                    solid->deactivate();
                }
            }
        } else {
            solid->deactivateCount_ = 0;
        }
    }

    solid->setPositionDirect(newX);
}

void Simulator::heldAcceleration(Vector3& result, Solid* solid, const Vector3& x, const Vector3& force)
{
    result = gravity_ * solid->gravityCoefficient_;
    if (solid->mass_ == 0.0f) {
        return;
    }
    Vector3 pull = force;
    for (int i = 0; i < solid->constraints_.size(); ++i) {
        const Constraint* constraint = solid->constraints_[i];
        if (constraint->getSimulator() == nullptr) {
            continue;
        }
        Vector3 other;
        if (constraint->getStartSolid() == solid) {
            other = constraint->getEndSolid() != nullptr ? constraint->getEndSolid()->position_
                                                         : constraint->getEndPoint();
        } else if (constraint->getEndSolid() == solid && constraint->getStartSolid() != nullptr) {
            other = constraint->getStartSolid()->position_;
        } else {
            continue;
        }
        if (finite(other)) {
            pull += (other - x) * constraint->getSpringConstant();
        }
    }
    result += pull * solid->inverseMass_;
}

void Simulator::updateAcceleration(Vector3& result, Solid* solid, const Vector3& x, const Vector3& v, float dt)
{
    result = gravity_ * solid->gravityCoefficient_;
    if (solid->mass_ == 0.0f) {
        return;
    }
    Vector3 force;
    constraintLink(force, solid, x, v);
    force += solid->force_;
    if (solid->touching_ != nullptr) {
        Vector3 friction;
        frictionLink(friction, solid, v, solid->touching_, solid->touchingNormal_, force, dt);
        force += friction;
        if (solid->lastTouching_ != nullptr && solid->lastTouching_ != solid->touching_) {
            frictionLink(friction, solid, v, solid->lastTouching_, solid->lastTouchingNormal_, force, dt);
            force += friction;
        }
    }
    force += (fluidVelocity_ - v) * solid->dragCoefficient_;
    result += force * solid->inverseMass_;
}

void Simulator::constraintLink(Vector3& result, Solid* solid, const Vector3& x, const Vector3& v)
{
    result = Vector3();
    for (int i = 0; i < solid->constraints_.size(); ++i) {
        const Constraint* constraint = solid->constraints_[i];
        if (constraint->getSimulator() == nullptr) {
            continue;
        }
        Vector3 otherPosition;
        Vector3 otherVelocity;
        if (constraint->getStartSolid() == solid) {
            if (const Solid* end = constraint->getEndSolid()) {
                otherPosition = end->position_;
                otherVelocity = end->velocity_;
            } else {
                otherPosition = constraint->getEndPoint();
            }
        } else if (constraint->getEndSolid() == solid && constraint->getStartSolid() != nullptr) {
            otherPosition = constraint->getStartSolid()->position_;
            otherVelocity = constraint->getStartSolid()->velocity_;
        } else {
            continue;
        }
        if (!finite(otherPosition) || !finite(otherVelocity)) {
            // A partner whose state is no longer finite pulls on nothing.
            continue;
        }
        result += (otherPosition - x) * constraint->getSpringConstant() +
                  (otherVelocity - v) * constraint->getDampingConstant();
    }
}

void Simulator::frictionLink(Vector3& result, Solid* solid, const Vector3& v, Solid* touching,
                             const Vector3& normal, const Vector3& force, float dt)
{
    result = Vector3();
    // A step of no length has nothing to stop.
    if (!(dt > 0.0f) || !(solid->mass_ > 0.0f) || touching->mass_ == 0.0f ||
        !(solid->staticFrictionCoefficient_ > 0.0f || solid->dynamicFrictionCoefficient_ > 0.0f)) {
        return;
    }
    const Vector3 u = v - (finite(touching->velocity_) ? touching->velocity_ : Vector3());
    Vector3 tangent = u - normal * Math::dot(u, normal);
    capVector3(tangent, maxVelocityComponent_);
    // The load is how hard the solid presses into the surface; a solid pulled away from it (under
    // a ceiling, say) feels no friction.
    const float load =
        -(Math::dot(force, normal) + solid->mass_ * solid->gravityCoefficient_ * Math::dot(gravity_, normal));
    if (!(load > 0.0f)) {
        return;
    }
    // The tangential part of the applied force, which static friction holds against.
    const Vector3 applied = force - normal * Math::dot(force, normal);
    // Friction works against the sliding, or against the push on a solid at rest.
    const float speed = Math::length(tangent);
    Vector3 direction;
    if (speed > 0.0f) {
        direction = tangent / speed;
    } else {
        const float pushed = Math::length(applied);
        if (!(pushed > 0.0f)) {
            return;
        }
        direction = applied / pushed;
    }
    const float staticLimit = load * solid->staticFrictionCoefficient_ * dt;
    // The impulse that would stop the solid within the step, against the applied force.
    Vector3 stopping = -applied * dt - tangent * solid->mass_;
    capVector3(stopping, maxForceComponent_);
    if (Math::lengthSquared(stopping) > staticLimit * staticLimit) {
        result = -direction * load * solid->dynamicFrictionCoefficient_;
    } else {
        result = stopping / dt;
    }
}

void Simulator::reportCollisions()
{
    reportingCollisions_ = true;
    // Listeners may remove solids: the count and each record's solids are read afresh every time.
    for (int i = 0; i < numCollisions_; ++i) {
        Collision& record = collisions_[i];
        {
            Solid* a = record.sourceSolid.get();
            Solid* b = record.hitSolid.get();
            if (a != nullptr && a->collisionListener_ != nullptr && b != nullptr &&
                meets(b->collisionScope_, a->collideWithScope_)) {
                a->collisionListener_->collision(record);
            }
        }
        Solid* a = record.sourceSolid.get();
        Solid* b = record.hitSolid.get();
        if (b != nullptr && b->collisionListener_ != nullptr && a != nullptr &&
            meets(a->collisionScope_, b->collideWithScope_)) {
            // The struck solid's listener sees its own solid as the source.
            core::IntrusivePointer<Solid> source = record.sourceSolid;
            record.sourceSolid = record.hitSolid;
            record.hitSolid = source;
            record.normal = -record.normal;
            record.velocity = -record.velocity;
            b->collisionListener_->collision(record);
        }
    }
    for (int i = 0; i < numCollisions_; ++i) {
        collisions_[i].reset();
    }
    numCollisions_ = 0;
    reportingCollisions_ = false;
}

void Simulator::capVector3(Vector3& vector, float limit) const
{
    float* components[3] = {&vector.x, &vector.y, &vector.z};
    for (float* c : components) {
        if (std::isnan(*c)) {
            *c = 0.0f;
        } else if (*c > limit) {
            *c = limit;
        } else if (*c < -limit) {
            *c = -limit;
        }
    }
}

void Simulator::snapToGrid(Vector3& vector) const
{
    if (!snapToGridEnabled_) {
        return;
    }
    float* components[3] = {&vector.x, &vector.y, &vector.z};
    for (float* c : components) {
        const float shifted = (*c - (*c < 0.0f ? halfEpsilon_ : 0.0f)) * oneOverEpsilon_;
        // Out of the 32-bit range the truncation has no defined result: such a value stays.
        if (shifted > -2147483648.0f && shifted < 2147483648.0f) {
            *c = static_cast<float>(static_cast<int32_t>(shifted)) * epsilon_;
        }
    }
}

bool Simulator::tooSmall(const Vector3& vector, float e) const
{
    return vector.x > -e && vector.x < e && vector.y > -e && vector.y < e && vector.z > -e && vector.z < e;
}

} // namespace physics
} // namespace rezezaz
