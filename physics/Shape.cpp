#include "physics/Shape.h"

#include "core/IntrusivePointer.h"
#include "core/math/Math.h"
#include "physics/Solid.h"
#include "physics/Traceable.h"

namespace rezezaz {
namespace physics {

using core::math::AABox;
using core::math::Math;
using core::math::Plane;
using core::math::Vector3;

namespace {

// Corners closer to a plane than this still count as inside it.
constexpr float CORNER_TOLERANCE = 0.0001f;

void extend(AABox& box, const Vector3& p)
{
    box.minimum.x = p.x < box.minimum.x ? p.x : box.minimum.x;
    box.minimum.y = p.y < box.minimum.y ? p.y : box.minimum.y;
    box.minimum.z = p.z < box.minimum.z ? p.z : box.minimum.z;
    box.maximum.x = p.x > box.maximum.x ? p.x : box.maximum.x;
    box.maximum.y = p.y > box.maximum.y ? p.y : box.maximum.y;
    box.maximum.z = p.z > box.maximum.z ? p.z : box.maximum.z;
}

// The box of the solid's corners: every point where three planes meet and which no other plane
// cuts off. The first triple's corner replaces the starting zero box; later corners extend it.
void convexBound(AABox& result, const core::Collection<Plane>& planes)
{
    result = AABox();
    const int count = planes.size();
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            for (int k = j + 1; k < count; ++k) {
                Vector3 p;
                if (!Math::getIntersectionOfThreePlanes(p, planes[i], planes[j], planes[k], CORNER_TOLERANCE)) {
                    continue;
                }
                bool inside = true;
                for (int m = 0; m < count && inside; ++m) {
                    if (m != i && m != j && m != k) {
                        inside = Math::dot(planes[m].normal, p) - planes[m].distance <= CORNER_TOLERANCE;
                    }
                }
                if (!inside) {
                    continue;
                }
                if (i == 0 && j == 1 && k == 2) {
                    result.set(p, p);
                } else {
                    extend(result, p);
                }
            }
        }
    }
}

} // namespace

Shape::Shape(const AABox& box) : type_(Type_AABOX), aabox_(box) {}

Shape::Shape(const core::math::Sphere& sphere) : type_(Type_SPHERE), sphere_(sphere) {}

Shape::Shape(const core::math::Capsule& capsule) : type_(Type_CAPSULE), capsule_(capsule) {}

Shape::Shape(const core::math::ConvexSolid& convexSolid) : type_(Type_CONVEXSOLID)
{
    convexSolid_.assign(convexSolid);
}

Shape::Shape(Traceable* traceable) : type_(Type_TRACEABLE), traceable_(traceable) {}

void Shape::setAABox(const AABox& box)
{
    type_ = Type_AABOX;
    aabox_ = box;
    changed();
}

void Shape::setSphere(const core::math::Sphere& sphere)
{
    type_ = Type_SPHERE;
    sphere_ = sphere;
    changed();
}

void Shape::setCapsule(const core::math::Capsule& capsule)
{
    type_ = Type_CAPSULE;
    capsule_ = capsule;
    changed();
}

void Shape::setConvexSolid(const core::math::ConvexSolid& convexSolid)
{
    type_ = Type_CONVEXSOLID;
    convexSolid_.assign(convexSolid);
    changed();
}

void Shape::setTraceable(Traceable* traceable)
{
    type_ = Type_TRACEABLE;
    traceable_ = traceable;
    changed();
}

void Shape::reset()
{
    // The solid may hold the last reference to this shape: keep it alive until it is reset.
    core::IntrusivePointer<Shape> keep;
    if (solid_ != nullptr) {
        keep = this;
        solid_->removeShape(this);
        solid_ = nullptr;
    }
    type_ = Type_AABOX;
    aabox_ = AABox();
    sphere_ = core::math::Sphere();
    capsule_ = core::math::Capsule();
}

void Shape::getBound(AABox& result) const
{
    switch (type_) {
    case Type_AABOX:
        result = aabox_;
        break;
    case Type_SPHERE:
        Math::findBoundingBox(result, sphere_);
        break;
    case Type_CAPSULE:
        Math::findBoundingBox(result, capsule_);
        break;
    case Type_CONVEXSOLID:
        convexBound(result, convexSolid_.planes);
        break;
    case Type_TRACEABLE:
        if (traceable_ != nullptr) {
            traceable_->getBound(result);
        }
        break;
    default:
        break;
    }
}

void Shape::changed()
{
    if (solid_ != nullptr) {
        solid_->updateLocalBound();
    }
}

} // namespace physics
} // namespace rezezaz
