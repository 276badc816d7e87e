#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Capsule.h"
#include "core/math/ConvexSolid.h"
#include "core/math/Segment.h"
#include "core/math/Sphere.h"
#include "core/math/Vector3.h"
#include "physics/Collision.h"
#include "physics/Constraint.h"
#include "physics/Solid.h"
#include "physics/SolidGrid.h"

#include <cstdint>

namespace rezezaz {
namespace physics {

class Manager;

// The physics world: holds solids and constraints, steps every active solid by a fixed number of
// milliseconds (integration of gravity and forces, then a swept move with collision response and
// sliding), lets idle solids sleep, records collisions and hands them to the solids' listeners.
// It owns (counts) its solids and constraints and names (without owning) its manager. A step
// allocates nothing: every scratch value is a member. Single-threaded and not reentrant, except
// that listeners may remove solids while collisions are reported (an update asked for by a listener
// returns at once).
//
// A collision is reported first to the listener of the solid that moved (its own solid as the
// source), then to the struck solid's listener with a copy whose solids are swapped and whose normal
// and velocity are negated, each only when the other party's collision scope meets the listener's
// solid's collide-with scope. The scene's physics bridge relies on this order.
//
// With many solids the candidate search of sweeps and traces goes through a grid of cells that
// follows the solids as they move; it finds exactly what the scan of the list finds, in the same
// order, so every result is the same either way.
class Simulator : public core::Object
{
public:
    enum Integrator : int32_t
    {
        INTEGRATOR_EULER = 0,
        INTEGRATOR_HEUN = 1,
        INTEGRATOR_RALSTON = 2,
        INTEGRATOR_RUNGE_KUTTA = 3,
    };

    // Bit of the update scope that asks for the recorded collisions to be reported.
    static constexpr int32_t SCOPE_REPORT_COLLISIONS = 0x40000000;
    // Collisions kept between two reports; later ones are dropped.
    static constexpr int32_t MAX_COLLISIONS = 64;

    Simulator();
    ~Simulator() override;

    // Lets go of the solids and constraints, each unlinked from this simulator first.
    void destroy() override;

    void setIntegrator(int32_t integrator) { integrator_ = integrator; }
    int32_t getIntegrator() const { return integrator_; }
    void setFluidVelocity(const core::math::Vector3& velocity) { fluidVelocity_ = velocity; }
    const core::math::Vector3& getFluidVelocity() const { return fluidVelocity_; }
    // Stores the gravity and wakes every solid.
    void setGravity(const core::math::Vector3& gravity);
    const core::math::Vector3& getGravity() const { return gravity_; }
    // A negative (or not-a-number) epsilon is refused and logged; the old one stays.
    void setEpsilon(float epsilon);
    float getEpsilon() const { return epsilon_; }
    void setSnapToGridEnabled(bool enabled) { snapToGridEnabled_ = enabled; }
    bool getSnapToGridEnabled() const { return snapToGridEnabled_; }
    void setAverageNormals(bool average) { averageNormals_ = average; }
    bool getAverageNormals() const { return averageNormals_; }
    void setMaxPositionComponent(float limit) { maxPositionComponent_ = limit; }
    float getMaxPositionComponent() const { return maxPositionComponent_; }
    void setMaxVelocityComponent(float limit) { maxVelocityComponent_ = limit; }
    float getMaxVelocityComponent() const { return maxVelocityComponent_; }
    void setMaxForceComponent(float limit) { maxForceComponent_ = limit; }
    float getMaxForceComponent() const { return maxForceComponent_; }
    void setMicroCollisionThreshold(float threshold) { microCollisionThreshold_ = threshold; }
    float getMicroCollisionThreshold() const { return microCollisionThreshold_; }
    // A solid slower than this (units per second, per axis) for more than deactivateCount steps in a
    // row falls asleep, when it rests on something or no force would move it on; a push smaller
    // than this (per axis) neither moves nor wakes what it strikes.
    void setDeactivateSpeed(float speed) { deactivateSpeed_ = speed; }
    float getDeactivateSpeed() const { return deactivateSpeed_; }
    void setDeactivateCount(int32_t count) { deactivateCount_ = count; }
    int32_t getDeactivateCount() const { return deactivateCount_; }
    void setManager(Manager* manager) { manager_ = manager; }
    Manager* getManager() const { return manager_; }
    // The candidate search scans the list of solids below this many solids and uses the grid from
    // there on.
    void setGridThreshold(int solids);
    int getGridThreshold() const { return gridThreshold_; }

    void addSolid(Solid* solid);
    // Clears every reference to the solid held by the other solids and the pending collisions, then
    // lets it go.
    void removeSolid(Solid* solid);
    int getNumSolids() const { return solids_.size(); }
    Solid* getSolid(int index) const { return solids_[index].get(); }
    int countActiveSolids() const;

    void addConstraint(Constraint* constraint);
    // The constraint stays attached to its solids.
    void removeConstraint(Constraint* constraint);
    int getNumConstraints() const { return constraints_.size(); }
    Constraint* getConstraint(int index) const { return constraints_[index].get(); }

    // One step of dt milliseconds for the given solid, or for every solid when it is null; only active
    // solids whose update scope meets scope (0 = all) move. The scope bit SCOPE_REPORT_COLLISIONS
    // reports the recorded collisions.
    void update(int dt, int scope, Solid* solid);
    void updateSolid(Solid* solid, int dt, float fdt);
    // Delivers the recorded collisions to the listeners of both parties and forgets them.
    void reportCollisions();
    int getNumCollisions() const { return numCollisions_; }
    const Collision& getCollision(int index) const { return collisions_[index]; }

    void integrationStep(Solid* solid, const core::math::Vector3& x, const core::math::Vector3& v,
                         const core::math::Vector3& dx, const core::math::Vector3& dv, float dt,
                         core::math::Vector3& resultDx, core::math::Vector3& resultDv);
    void updateAcceleration(core::math::Vector3& result, Solid* solid, const core::math::Vector3& x,
                            const core::math::Vector3& v, float dt);
    void constraintLink(core::math::Vector3& result, Solid* solid, const core::math::Vector3& x,
                        const core::math::Vector3& v);
    void frictionLink(core::math::Vector3& result, Solid* solid, const core::math::Vector3& v, Solid* touching,
                      const core::math::Vector3& normal, const core::math::Vector3& force, float dt);

    // Each component clamped to [-limit, limit]; not-a-number becomes 0.
    void capVector3(core::math::Vector3& vector, float limit) const;
    // Quantises to the epsilon grid when snapping is on.
    void snapToGrid(core::math::Vector3& vector) const;
    // Every component strictly between -e and e.
    bool tooSmall(const core::math::Vector3& vector, float e) const;

    // Tracing: the nearest hit of a segment, or of a solid moved along a segment, against the solids
    // whose collision scope meets the mask and the manager's world. Time 1 = nothing hit.
    void traceSegment(Collision& result, const core::math::Segment& segment, int collideWithScope,
                      Solid* ignore);
    void traceSolid(Collision& result, Solid* solid, const core::math::Segment& segment, int collideWithScope);
    // Stores at most maxSolids solids whose world bound meets the box grown by epsilon and returns
    // how many there are (the manager's answer, clamped to maxSolids, when it gives one).
    int findSolidsInAABox(const core::math::AABox& box, Solid** solids, int maxSolids);
    // The simulator's own search, without the manager and without growing the box: stores at most
    // maxSolids of the listed solids whose world bound meets the box, in list order, and returns how
    // many there are (which may be more than maxSolids). The grid answers from the grid threshold on.
    int findListedSolids(const core::math::AABox& box, Solid** solids, int maxSolids);
    // The step back after a hit: along the path, or off the surface along the grid axes when
    // snapping is on.
    void calculateEpsilonOffset(core::math::Vector3& result, const core::math::Vector3& direction,
                                const core::math::Vector3& normal) const;
    // Called by the solids when their world bound changes.
    void internal_solidMoved(Solid* solid)
    {
        if (grid_.isValid()) {
            grid_.moved(solid);
        }
    }

    void traceSegmentWithCurrentSpacials(Collision& result, const core::math::Segment& segment,
                                         int collideWithScope, Solid* ignore);
    void traceSolidWithCurrentSpacials(Collision& result, Solid* solid, const core::math::Segment& segment,
                                       int collideWithScope);
    void testSegment(Collision& result, const core::math::Segment& segment, Solid* solid);
    void testSolid(Collision& result, Solid* solid, const core::math::Segment& segment, Solid* other);
    void traceAABox(Collision& result, const core::math::Segment& segment, const core::math::AABox& box);
    void traceSphere(Collision& result, const core::math::Segment& segment, const core::math::Sphere& sphere);
    void traceCapsule(Collision& result, const core::math::Segment& segment, const core::math::Capsule& capsule);
    void traceConvexSolid(Collision& result, const core::math::Segment& segment,
                          const core::math::ConvexSolid& convexSolid);

private:
    void releaseAll();
    Solid** spacialStorage();
    // Fills spacials with the candidates whose bound meets the box.
    void gatherSpacials(const core::math::AABox& box);
    // Merges a test's result into the running nearest hit.
    void mergeCollision(Collision& result, const Collision& test, bool averageNormals);
    void testShapePair(Collision& result, Solid* solid, const Shape* a, const core::math::Segment& segment,
                       Solid* other, const Shape* b);
    void traceConvexSolidAgainstSphere(Collision& result, const core::math::Segment& segment,
                                       const core::math::ConvexSolid& convexSolid,
                                       const core::math::Sphere& sphere);
    void traceMovingAgainstBox(Collision& result, const core::math::Segment& segment,
                               const core::math::AABox& moving, const core::math::AABox& fixed);
    Manager* hookTarget(Solid* solid) const;
    // One solid's turn in an update: its hooks around its step, when it is active and in scope.
    void stepSolid(Solid* solid, int dt, float fdt, int scope);
    // A solid whose state is no longer finite stops where it last stood, asleep.
    void holdNonFinite(Solid* solid);
    // The springs' pull at x (without their damping) and the given force, as an acceleration with
    // the solid's gravity.
    void heldAcceleration(core::math::Vector3& result, Solid* solid, const core::math::Vector3& x,
                          const core::math::Vector3& force);
    // The moving solid and a capsule: every pair of A's axis points and B's axis points within the
    // radius, swept along the segment. origin is where A's axis start must be to meet B's axis start.
    void traceCapsulePair(Collision& result, const core::math::Segment& segment, const core::math::Vector3& origin,
                          const core::math::Vector3& directionA, const core::math::Vector3& directionB,
                          float radius);

    int32_t integrator_;
    core::math::Vector3 fluidVelocity_;
    core::math::Vector3 gravity_;
    float oneOverEpsilon_;
    float epsilon_;
    float halfEpsilon_;
    float quarterEpsilon_;
    bool snapToGridEnabled_;
    bool averageNormals_;
    float maxPositionComponent_;
    float maxVelocityComponent_;
    float maxForceComponent_;
    core::Collection<Collision> collisions_;
    int32_t numCollisions_;
    core::Collection<core::IntrusivePointer<Solid>> solids_;
    core::Collection<core::IntrusivePointer<Constraint>> constraints_;
    core::Collection<Solid*> spacials_;
    int32_t numSpacials_;
    bool reportingCollisions_;
    float microCollisionThreshold_;
    float deactivateSpeed_;
    int32_t deactivateCount_;
    Manager* manager_;

    // The candidate grid, used from gridThreshold_ solids on.
    SolidGrid grid_;
    int32_t gridThreshold_ = 32;
    // The update's place in the list of solids and its end, followed through removals.
    int32_t updateIndex_ = -1;
    int32_t updateEnd_ = 0;

    // Scratch of the step and the traces.
    Collision stepCollision_;
    Collision traceCollision_;
    Collision testCollision_;
    Collision capsuleCollision_;
    core::math::ConvexSolid grownConvexSolid_;
};

} // namespace physics
} // namespace rezezaz
