#pragma once

#include "core/IntrusivePointer.h"
#include "core/Object.h"
#include "core/math/Vector3.h"
#include "physics/Solid.h"

namespace rezezaz {
namespace physics {

class Simulator;

// A damped spring from a start solid to an end solid or, without an end solid, to a fixed point.
// It holds references to its solids and is listed in theirs; only while it belongs to a simulator
// does it exert a force.
class Constraint : public core::Object
{
public:
    Constraint();
    Constraint(Solid* start, Solid* end);
    Constraint(Solid* start, const core::math::Vector3& endPoint);
    ~Constraint() override;

    void setStartSolid(Solid* solid);
    Solid* getStartSolid() const { return startSolid_.get(); }
    void setEndSolid(Solid* solid);
    Solid* getEndSolid() const { return endSolid_.get(); }
    // Lets go of the end solid: from now on the end is the point.
    void setEndPoint(const core::math::Vector3& point);
    const core::math::Vector3& getEndPoint() const { return endPoint_; }

    void setSpringConstant(float constant) { springConstant_ = constant; }
    float getSpringConstant() const { return springConstant_; }
    void setDampingConstant(float constant) { dampingConstant_ = constant; }
    float getDampingConstant() const { return dampingConstant_; }
    // Kept for the user; nothing reads it.
    void setDistanceThreshold(float threshold) { distanceThreshold_ = threshold; }
    float getDistanceThreshold() const { return distanceThreshold_; }

    Simulator* getSimulator() const { return simulator_; }
    // Called by the simulator only.
    void internal_setSimulator(Simulator* simulator) { simulator_ = simulator; }

    // Detaches from both solids, then the constants go back to 1 and the simulator link is cleared.
    void reset();
    // Detaches from both solids (each is woken, loses this constraint from its list and is let go).
    void destroy() override;

private:
    static void detach(core::IntrusivePointer<Solid>& end, Constraint* constraint);
    void attach(core::IntrusivePointer<Solid>& end, Solid* solid);

    core::IntrusivePointer<Solid> startSolid_;
    core::IntrusivePointer<Solid> endSolid_;
    core::math::Vector3 endPoint_;
    float springConstant_ = 1.0f;
    float dampingConstant_ = 1.0f;
    float distanceThreshold_ = 1.0f;
    Simulator* simulator_ = nullptr;
};

} // namespace physics
} // namespace rezezaz
