#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Vector3.h"
#include "physics/Shape.h"

#include <cstdint>

namespace rezezaz {
namespace physics {

class CollisionListener;
class Constraint;
class Manager;
class Simulator;

// A rigid body without rotation: a position, a velocity, an accumulated force and the shapes that
// collide for it, placed relative to the position. Counted: the simulator, the constraints and the
// collision records that name it hold references. It owns its shapes and names (without owning)
// its constraints, listener, manager, simulator and the solids it last touched.
class Solid : public core::Object
{
public:
    // Not moved by impacts or forces; gravity still applies.
    static constexpr float INFINITE_MASS = -1.0f;

    Solid();
    ~Solid() override;

    void setMass(float mass);
    float getMass() const { return mass_; }
    float getInverseMass() const { return inverseMass_; }
    // Stores the inverse mass alone; the mass keeps its value.
    void setInverseMass(float inverseMass) { inverseMass_ = inverseMass; }
    void setInfiniteMass();
    bool hasInfiniteMass() const { return mass_ == INFINITE_MASS; }

    // Inside a simulator, runs one step from the position with the solid's velocity (so that it
    // strikes and pushes what is in its way) and then puts the solid back exactly at position.
    void setPosition(const core::math::Vector3& position);
    // Stores the position and moves the world bound; nothing else.
    void setPositionDirect(const core::math::Vector3& position);
    const core::math::Vector3& getPosition() const { return position_; }
    void setVelocity(const core::math::Vector3& velocity);
    const core::math::Vector3& getVelocity() const { return velocity_; }
    void addForce(const core::math::Vector3& force);
    const core::math::Vector3& getForce() const { return force_; }

    // A null shape is refused.
    void addShape(Shape* shape);
    void removeShape(Shape* shape);
    void removeAllShapes();
    int getNumShapes() const { return shapes_.size(); }
    Shape* getShape(int index) const { return shapes_[index].get(); }
    int32_t getShapeTypes() const { return shapeTypes_; }
    const core::math::AABox& getLocalBound() const { return localBound_; }
    const core::math::AABox& getWorldBound() const { return worldBound_; }
    // The union of the shapes' bounds and types; follows every shape change.
    void updateLocalBound();

    int getNumConstraints() const { return constraints_.size(); }
    Constraint* getConstraint(int index) const { return constraints_[index]; }

    void activate();
    void deactivate();
    void setStayActive(bool stayActive);
    bool getActive() const { return active_; }
    int32_t getDeactivateCount() const { return deactivateCount_; }

    // Every field back to its default, shapes and constraints let go; the manager and the last step's
    // length stay.
    void reset();
    // Detaches the constraints and lets go of the shapes.
    void destroy() override;

    void setUpdateScope(int32_t scope) { updateScope_ = scope; }
    int32_t getUpdateScope() const { return updateScope_; }
    void setScope(int32_t scope) { scope_ = scope; }
    int32_t getScope() const { return scope_; }
    void setCollisionScope(int32_t scope) { collisionScope_ = scope; }
    int32_t getCollisionScope() const { return collisionScope_; }
    void setCollideWithScope(int32_t scope) { collideWithScope_ = scope; }
    int32_t getCollideWithScope() const { return collideWithScope_; }

    void setGravityCoefficient(float coefficient) { gravityCoefficient_ = coefficient; }
    float getGravityCoefficient() const { return gravityCoefficient_; }
    void setRestitutionCoefficient(float coefficient) { restitutionCoefficient_ = coefficient; }
    float getRestitutionCoefficient() const { return restitutionCoefficient_; }
    void setRestitutionOverride(bool override) { restitutionOverride_ = override; }
    bool getRestitutionOverride() const { return restitutionOverride_; }
    void setStaticFrictionCoefficient(float coefficient) { staticFrictionCoefficient_ = coefficient; }
    float getStaticFrictionCoefficient() const { return staticFrictionCoefficient_; }
    void setDynamicFrictionCoefficient(float coefficient) { dynamicFrictionCoefficient_ = coefficient; }
    float getDynamicFrictionCoefficient() const { return dynamicFrictionCoefficient_; }
    void setDragCoefficient(float coefficient) { dragCoefficient_ = coefficient; }
    float getDragCoefficient() const { return dragCoefficient_; }

    void setCollisionListener(CollisionListener* listener) { collisionListener_ = listener; }
    CollisionListener* getCollisionListener() const { return collisionListener_; }
    void setUserData(void* data) { userData_ = data; }
    void* getUserData() const { return userData_; }

    // The solids last touched and the normals of those contacts; kept up to date by the simulator.
    void setTouching(Solid* solid) { touching_ = solid; }
    Solid* getTouching() const { return touching_; }
    void setTouchingNormal(const core::math::Vector3& normal) { touchingNormal_ = normal; }
    const core::math::Vector3& getTouchingNormal() const { return touchingNormal_; }
    void setLastTouching(Solid* solid) { lastTouching_ = solid; }
    Solid* getLastTouching() const { return lastTouching_; }
    void setLastTouchingNormal(const core::math::Vector3& normal) { lastTouchingNormal_ = normal; }
    const core::math::Vector3& getLastTouchingNormal() const { return lastTouchingNormal_; }
    void setRepeatTouching(Solid* solid) { repeatTouching_ = solid; }
    Solid* getRepeatTouching() const { return repeatTouching_; }
    void setRepeatTouchingNormal(const core::math::Vector3& normal) { repeatTouchingNormal_ = normal; }
    const core::math::Vector3& getRepeatTouchingNormal() const { return repeatTouchingNormal_; }

    // The length in milliseconds of the solid's last step, which setPosition repeats.
    void setLastDt(int32_t dt) { lastDt_ = dt; }
    int32_t getLastDt() const { return lastDt_; }
    void setUseManagerHooks(bool use) { useManagerHooks_ = use; }
    bool getUseManagerHooks() const { return useManagerHooks_; }
    void setManager(Manager* manager) { manager_ = manager; }
    Manager* getManager() const { return manager_; }
    Simulator* getSimulator() const { return simulator_; }

    // Called by the simulator only.
    void internal_setSimulator(Simulator* simulator) { simulator_ = simulator; }

private:
    friend class Simulator;
    friend class Constraint;
    friend class SolidGrid;

    void setDefaults();

    int32_t updateScope_;
    int32_t scope_;
    int32_t collisionScope_;
    int32_t collideWithScope_;
    float mass_;
    float inverseMass_;
    core::math::Vector3 position_;
    core::math::Vector3 velocity_;
    core::math::Vector3 force_;
    float gravityCoefficient_;
    float restitutionCoefficient_;
    bool restitutionOverride_;
    float staticFrictionCoefficient_;
    float dynamicFrictionCoefficient_;
    float dragCoefficient_;
    core::Collection<core::IntrusivePointer<Shape>> shapes_;
    int32_t shapeTypes_;
    core::math::AABox localBound_;
    core::math::AABox worldBound_;
    core::Collection<Constraint*> constraints_;
    CollisionListener* collisionListener_;
    void* userData_;
    bool active_;
    int32_t deactivateCount_;
    Solid* touching_;
    core::math::Vector3 touchingNormal_;
    Solid* lastTouching_;
    core::math::Vector3 lastTouchingNormal_;
    Solid* repeatTouching_;
    core::math::Vector3 repeatTouchingNormal_;
    int32_t lastDt_ = 0;
    bool useManagerHooks_;
    Manager* manager_ = nullptr;
    Simulator* simulator_;
    // The step that follows a touch keeps the contact, even when its sweep meets nothing.
    bool touchedInLastStep_;
    // Where the solid last stood at a finite position, and whether a non-finite state was logged.
    core::math::Vector3 lastFinitePosition_;
    bool nonFiniteLogged_;
    // The solid's place in its simulator's list, kept by the simulator's candidate grid.
    int32_t gridIndex_ = -1;
};

} // namespace physics
} // namespace rezezaz
