#pragma once

#include "core/Object.h"
#include "core/math/AABox.h"
#include "core/math/Capsule.h"
#include "core/math/ConvexSolid.h"
#include "core/math/Sphere.h"

#include <cstdint>

namespace rezezaz {
namespace physics {

class Solid;
class Traceable;

// One collision volume of a solid, placed relative to the solid's position. The type says which
// member is in force; the others keep what they were last given. Owned (counted) by the solids it
// is added to; it names the solid it was last added to, and no solid once that one lets it go.
class Shape : public core::Object
{
public:
    // Bit values, so that a solid can keep the union of its shapes' types.
    enum Type : int32_t
    {
        Type_AABOX = 1,
        Type_SPHERE = 2,
        Type_CAPSULE = 4,
        Type_CONVEXSOLID = 8,
        Type_TRACEABLE = 16,
    };

    Shape() = default;
    explicit Shape(const core::math::AABox& box);
    explicit Shape(const core::math::Sphere& sphere);
    explicit Shape(const core::math::Capsule& capsule);
    explicit Shape(const core::math::ConvexSolid& convexSolid);
    explicit Shape(Traceable* traceable);

    // Each sets the type and the value, then has the owning solid, if any, recompute its bound.
    void setAABox(const core::math::AABox& box);
    void setSphere(const core::math::Sphere& sphere);
    void setCapsule(const core::math::Capsule& capsule);
    void setConvexSolid(const core::math::ConvexSolid& convexSolid);
    void setTraceable(Traceable* traceable);

    // Leaves the owning solid, zeroes the box, sphere and capsule and goes back to Type_AABOX; the
    // planes and the traceable stay.
    void reset();

    // The box around the volume, relative to the owning solid's position. An unknown type leaves
    // result as it was.
    void getBound(core::math::AABox& result) const;

    int32_t getType() const { return type_; }
    const core::math::AABox& getAABox() const { return aabox_; }
    const core::math::Sphere& getSphere() const { return sphere_; }
    const core::math::Capsule& getCapsule() const { return capsule_; }
    const core::math::ConvexSolid& getConvexSolid() const { return convexSolid_; }
    Traceable* getTraceable() const { return traceable_; }
    Solid* getSolid() const { return solid_; }

    // Called by Solid only.
    void internal_setSolid(Solid* solid) { solid_ = solid; }

private:
    void changed();

    int32_t type_ = Type_AABOX;
    core::math::AABox aabox_;
    core::math::Sphere sphere_;
    core::math::Capsule capsule_;
    core::math::ConvexSolid convexSolid_;
    Traceable* traceable_ = nullptr;
    Solid* solid_ = nullptr;
};

} // namespace physics
} // namespace rezezaz
