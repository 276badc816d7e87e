#include "physics/Constraint.h"

namespace rezezaz {
namespace physics {

Constraint::Constraint()
{
    reset();
}

Constraint::Constraint(Solid* start, Solid* end)
{
    reset();
    setStartSolid(start);
    setEndSolid(end);
}

Constraint::Constraint(Solid* start, const core::math::Vector3& endPoint)
{
    reset();
    setStartSolid(start);
    setEndPoint(endPoint);
}

Constraint::~Constraint() = default;

void Constraint::detach(core::IntrusivePointer<Solid>& end, Constraint* constraint)
{
    if (end == nullptr) {
        return;
    }
    end->activate();
    end->constraints_.remove(constraint);
    end = nullptr;
}

void Constraint::attach(core::IntrusivePointer<Solid>& end, Solid* solid)
{
    if (solid == nullptr) {
        return;
    }
    solid->constraints_.add(this);
    solid->activate();
    end = solid;
}

void Constraint::setStartSolid(Solid* solid)
{
    // Setting the solid already held must not let it go in between.
    const core::IntrusivePointer<Solid> keep(solid);
    if (endSolid_ != nullptr) {
        endSolid_->activate();
    }
    detach(startSolid_, this);
    attach(startSolid_, solid);
}

void Constraint::setEndSolid(Solid* solid)
{
    // Setting the solid already held must not let it go in between.
    const core::IntrusivePointer<Solid> keep(solid);
    if (startSolid_ != nullptr) {
        startSolid_->activate();
    }
    detach(endSolid_, this);
    attach(endSolid_, solid);
}

void Constraint::setEndPoint(const core::math::Vector3& point)
{
    if (startSolid_ != nullptr) {
        startSolid_->activate();
    }
    detach(endSolid_, this);
    endPoint_ = point;
}

void Constraint::reset()
{
    destroy();
    springConstant_ = 1.0f;
    dampingConstant_ = 1.0f;
    distanceThreshold_ = 1.0f;
    simulator_ = nullptr;
}

void Constraint::destroy()
{
    detach(startSolid_, this);
    detach(endSolid_, this);
}

} // namespace physics
} // namespace rezezaz
