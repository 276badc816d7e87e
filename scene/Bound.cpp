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
        // Each corner is turned as the quaternion turns a vector: q * (p, 0) * conjugate(q). The
        // products of the first step take one of two values per coordinate, so they are formed once
        // for both sides of the box; each corner then adds them up in the same order as the rotation
        // does, and gets the very same result.
        const core::math::Quaternion& q = t.rotate;
        const float xs[2] = {local.box.minimum.x, local.box.maximum.x};
        const float ys[2] = {local.box.minimum.y, local.box.maximum.y};
        const float zs[2] = {local.box.minimum.z, local.box.maximum.z};
        float wx[2], yx[2], zx[2], nx[2], wy[2], zy[2], xy[2], ny[2], wz[2], xz[2], yz[2], nz[2];
        for (int side = 0; side < 2; ++side) {
            wx[side] = q.w * xs[side];
            yx[side] = q.y * xs[side];
            zx[side] = q.z * xs[side];
            nx[side] = -q.x * xs[side];
            wy[side] = q.w * ys[side];
            zy[side] = q.z * ys[side];
            xy[side] = q.x * ys[side];
            ny[side] = q.y * ys[side];
            wz[side] = q.w * zs[side];
            xz[side] = q.x * zs[side];
            yz[side] = q.y * zs[side];
            nz[side] = q.z * zs[side];
        }
        Vector3 lo(INFINITY, INFINITY, INFINITY);
        Vector3 hi(-INFINITY, -INFINITY, -INFINITY);
        for (int corner = 0; corner < 8; ++corner) {
            const int i = corner & 1;
            const int j = (corner >> 1) & 1;
            const int k = (corner >> 2) & 1;
            const float px = wx[i] + yz[k] - zy[j];
            const float py = wy[j] + zx[i] - xz[k];
            const float pz = wz[k] + xy[j] - yx[i];
            const float pw = nx[i] - ny[j] - nz[k];
            const Vector3 r(-pw * q.x + px * q.w - py * q.z + pz * q.y, -pw * q.y + py * q.w - pz * q.x + px * q.z,
                            -pw * q.z + pz * q.w - px * q.y + py * q.x);
            // Scaled after the rotation, so a negative scale swaps the sides.
            const Vector3 scaled(r.x * s.x, r.y * s.y, r.z * s.z);
            lo = Vector3(std::min(lo.x, scaled.x), std::min(lo.y, scaled.y), std::min(lo.z, scaled.z));
            hi = Vector3(std::max(hi.x, scaled.x), std::max(hi.y, scaled.y), std::max(hi.z, scaled.z));
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
