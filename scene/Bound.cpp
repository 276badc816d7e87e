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

void Bound::transform(const Bound& local, const Transform& t, bool boxSphere)
{
    kind = local.kind;
    const Vector3& s = t.scale;
    if (local.kind == Kind_BOX) {
        // Each corner is turned as the quaternion turns a vector: q * (p, 0) * conjugate(q), with the
        // very operations of that rotation in the same order, so with the very same result. Four
        // corners go a lane each: corner c takes side c & 1 in x, (c >> 1) & 1 in y and (c >> 2) & 1
        // in z, so the first four are the low side in z.
        const core::math::Quaternion& q = t.rotate;
        using Lanes = float __attribute__((vector_size(16)));
        const AABox& b = local.box;
        const Lanes x = {b.minimum.x, b.maximum.x, b.minimum.x, b.maximum.x};
        const Lanes y = {b.minimum.y, b.minimum.y, b.maximum.y, b.maximum.y};
        const auto all = [](float v) { return Lanes{v, v, v, v}; };
        const Lanes qx = all(q.x), qy = all(q.y), qz = all(q.z), qw = all(q.w), negqx = all(-q.x);
        // The sides of the box: each lane keeps the least and the greatest of its two corners, taken as
        // std::min and std::max take them (a corner that is not a number is passed over), and the
        // lanes are then gathered.
        const Lanes none = all(INFINITY);
        Lanes lowX = none, lowY = none, lowZ = none;
        Lanes highX = -none, highY = -none, highZ = -none;
        for (int half = 0; half < 2; ++half) {
            const Lanes z = all(half == 0 ? b.minimum.z : b.maximum.z);
            // q * (p, 0)
            const Lanes px = qw * x + qy * z - qz * y;
            const Lanes py = qw * y + qz * x - qx * z;
            const Lanes pz = qw * z + qx * y - qy * x;
            const Lanes pw = negqx * x - qy * y - qz * z;
            // ... * conjugate(q), then scaled: after the rotation, so a negative scale swaps the sides.
            const Lanes rx = (-pw * qx + px * qw - py * qz + pz * qy) * all(s.x);
            const Lanes ry = (-pw * qy + py * qw - pz * qx + px * qz) * all(s.y);
            const Lanes rz = (-pw * qz + pz * qw - px * qy + py * qx) * all(s.z);
            lowX = rx < lowX ? rx : lowX;
            lowY = ry < lowY ? ry : lowY;
            lowZ = rz < lowZ ? rz : lowZ;
            highX = highX < rx ? rx : highX;
            highY = highY < ry ? ry : highY;
            highZ = highZ < rz ? rz : highZ;
        }
        Vector3 lo(lowX[0], lowY[0], lowZ[0]);
        Vector3 hi(highX[0], highY[0], highZ[0]);
        for (int lane = 1; lane < 4; ++lane) {
            lo = Vector3(std::min(lo.x, lowX[lane]), std::min(lo.y, lowY[lane]), std::min(lo.z, lowZ[lane]));
            hi = Vector3(std::max(hi.x, highX[lane]), std::max(hi.y, highY[lane]), std::max(hi.z, highZ[lane]));
        }
        box.minimum = lo + t.translate;
        box.maximum = hi + t.translate;
        if (boxSphere) {
            formBoxSphere();
        }
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
        growBox(other.box);
        formBoxSphere();
        return;
    }
    kind = Kind_SPHERE;
    sphere = mergeSpheres(sphere, other.sphere, epsilon);
    Math::findBoundingBox(box, sphere);
}

} // namespace rezezaz::scene
