#include "scene/Bound.h"

#include "core/math/Math.h"
#include "scene/Transform.h"

#include <algorithm>
#include <cmath>

namespace rezezaz::scene {

using core::math::AABox;
using core::math::Math;
using core::math::Sphere;
using core::math::Vector3;

void Bound::set(const Bound& other)
{
    kind = other.kind;
    sphere = other.sphere;
    box = other.box;
}

void Bound::setEmpty()
{
    kind = Kind_EMPTY;
    sphere = Sphere(Vector3(0.0f, 0.0f, 0.0f), 0.0f);
    box = AABox();
}

void Bound::setInfinite()
{
    setEmpty();
    kind = Kind_INFINITE;
}

void Bound::setBox(const AABox& value)
{
    kind = Kind_BOX;
    box = value;
    Math::findBoundingSphere(sphere, box);
}

void Bound::setSphere(const Sphere& value)
{
    kind = Kind_SPHERE;
    sphere = value;
    Math::findBoundingBox(box, sphere);
}

void Bound::transform(const Bound& local, const Transform& t)
{
    kind = local.kind;
    const Vector3& s = t.scale;
    if (local.kind == Kind_BOX) {
        const AABox source = local.box;
        Vector3 lo(INFINITY, INFINITY, INFINITY);
        Vector3 hi(-INFINITY, -INFINITY, -INFINITY);
        for (int corner = 0; corner < 8; ++corner) {
            const Vector3 p((corner & 1) ? source.maximum.x : source.minimum.x,
                            (corner & 2) ? source.maximum.y : source.minimum.y,
                            (corner & 4) ? source.maximum.z : source.minimum.z);
            const Vector3 r = t.rotate * p;
            // Scaled after the rotation, so a negative scale swaps the sides.
            const Vector3 q(r.x * s.x, r.y * s.y, r.z * s.z);
            lo = Vector3(std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z));
            hi = Vector3(std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z));
        }
        box.minimum = lo + t.translate;
        box.maximum = hi + t.translate;
        Math::findBoundingSphere(sphere, box);
    } else if (local.kind == Kind_SPHERE) {
        const Vector3 r = t.rotate * local.sphere.origin;
        const float largest = std::max({std::fabs(s.x), std::fabs(s.y), std::fabs(s.z)});
        sphere =
            Sphere(Vector3(r.x * s.x, r.y * s.y, r.z * s.z) + t.translate, local.sphere.radius * largest);
        Math::findBoundingBox(box, sphere);
    } else {
        sphere = local.sphere;
        box = local.box;
    }
}

Sphere Bound::mergeSpheres(const Sphere& a, const Sphere& b, float epsilon)
{
    const Vector3 between = b.origin - a.origin;
    const float distance = Math::length(between);
    if (distance + b.radius <= a.radius + epsilon) {
        return a;
    }
    if (distance + a.radius <= b.radius + epsilon) {
        return b;
    }
    const float radius = (distance + a.radius + b.radius) * 0.5f;
    // distance > |a.radius - b.radius| >= 0 here, so the division is safe.
    return Sphere(a.origin + between * ((radius - a.radius) / distance), radius);
}

void Bound::merge(const Bound& other, float epsilon)
{
    if (kind == Kind_INFINITE) {
        return;
    }
    if (kind == Kind_EMPTY) {
        set(other);
        if (kind == Kind_SPHERE) {
            Math::findBoundingBox(box, sphere);
        } else if (kind == Kind_BOX) {
            Math::findBoundingSphere(sphere, box);
        }
        return;
    }
    if (other.kind == Kind_INFINITE) {
        setInfinite();
        return;
    }
    if (other.kind == Kind_EMPTY) {
        // Nothing to add: an empty bound holds no space.
        return;
    }
    if (kind == Kind_BOX && other.kind == Kind_BOX) {
        box.minimum = Vector3(std::min(box.minimum.x, other.box.minimum.x),
                              std::min(box.minimum.y, other.box.minimum.y),
                              std::min(box.minimum.z, other.box.minimum.z));
        box.maximum = Vector3(std::max(box.maximum.x, other.box.maximum.x),
                              std::max(box.maximum.y, other.box.maximum.y),
                              std::max(box.maximum.z, other.box.maximum.z));
        Math::findBoundingSphere(sphere, box);
        return;
    }
    kind = Kind_SPHERE;
    sphere = mergeSpheres(sphere, other.sphere, epsilon);
    Math::findBoundingBox(box, sphere);
}

} // namespace rezezaz::scene
