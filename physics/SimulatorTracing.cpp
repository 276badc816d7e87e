// The sweep tests of the simulator: a segment, or a solid moved along a segment, against the
// simulator's solids and the manager's world. The moving shape is folded into the struck one (its
// extent subtracted from a box, added to a radius or a plane distance), so that every pair becomes
// a segment traced against one simple volume.

#include "physics/Simulator.h"

#include "core/Error.h"
#include "core/String.h"
#include "core/math/Math.h"
#include "physics/Manager.h"
#include "physics/Traceable.h"

#include <cmath>

namespace rezezaz {
namespace physics {

using core::math::AABox;
using core::math::Capsule;
using core::math::ConvexSolid;
using core::math::Math;
using core::math::Segment;
using core::math::Sphere;
using core::math::Vector3;

namespace {

bool meets(int32_t a, int32_t b)
{
    return (a & b) != 0;
}

[[noreturn]] void unimplemented(const char* text)
{
    core::Error::unimplemented(core::String(), true, core::String(text));
}

AABox spannedBox(const Segment& segment)
{
    const Vector3& a = segment.origin;
    const Vector3 b = segment.origin + segment.direction;
    return AABox(Vector3(std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmin(a.z, b.z)),
                 Vector3(std::fmax(a.x, b.x), std::fmax(a.y, b.y), std::fmax(a.z, b.z)));
}

} // namespace

Solid** Simulator::spacialStorage()
{
    return spacials_.capacity() > 0 ? &spacials_[0] : nullptr;
}

int Simulator::findSolidsInAABox(const AABox& box, Solid** solids, int maxSolids)
{
    const Vector3 grow(epsilon_, epsilon_, epsilon_);
    const AABox grown(box.minimum - grow, box.maximum + grow);
    if (manager_ != nullptr) {
        const int count = manager_->findSolidsInAABox(grown, solids, maxSolids);
        if (count != -1) {
            // Never more than the array holds, whatever the manager answers.
            return count < 0 ? 0 : (count > maxSolids ? maxSolids : count);
        }
    }
    return findListedSolids(grown, solids, maxSolids);
}

int Simulator::findListedSolids(const AABox& box, Solid** solids, int maxSolids)
{
    if (solids_.size() >= gridThreshold_) {
        if (!grid_.isValid()) {
            grid_.rebuild(solids_);
        }
        const int count = grid_.find(box, solids, maxSolids);
        if (count >= 0) {
            return count;
        }
        // A box too large for the grid to help: the scan finds the same.
    }
    int count = 0;
    for (int i = 0; i < solids_.size(); ++i) {
        Solid* solid = solids_[i].get();
        if (Math::testIntersection(solid->worldBound_, box)) {
            if (count < maxSolids) {
                solids[count] = solid;
            }
            ++count;
        }
    }
    return count;
}

void Simulator::gatherSpacials(const AABox& box)
{
    const int count = findSolidsInAABox(box, spacialStorage(), spacials_.size());
    numSpacials_ = count < spacials_.size() ? count : spacials_.size();
}

void Simulator::traceSegment(Collision& result, const Segment& segment, int collideWithScope, Solid* ignore)
{
    gatherSpacials(spannedBox(segment));
    traceSegmentWithCurrentSpacials(result, segment, collideWithScope, ignore);
}

void Simulator::traceSolid(Collision& result, Solid* solid, const Segment& segment, int collideWithScope)
{
    AABox box = spannedBox(segment);
    box.minimum += solid->localBound_.minimum;
    box.maximum += solid->localBound_.maximum;
    gatherSpacials(box);
    traceSolidWithCurrentSpacials(result, solid, segment, collideWithScope);
}

void Simulator::mergeCollision(Collision& result, const Collision& test, bool averageNormals)
{
    const int32_t scope = result.scope;
    if (test.time < 1.0f) {
        if (test.time < result.time) {
            result = test;
        } else if (averageNormals && test.time == result.time) {
            const Vector3 sum = result.normal + test.normal;
            const float length = Math::length(sum);
            if (length > epsilon_) {
                result.normal = sum / length;
            } else {
                // Opposite normals cancel: the later hit stands.
                result = test;
            }
        }
    }
    result.scope = scope | test.scope;
}

void Simulator::traceSegmentWithCurrentSpacials(Collision& result, const Segment& segment, int collideWithScope,
                                                Solid* ignore)
{
    result.time = 1.0f;
    result.scope = 0;
    Collision& s = traceCollision_;
    s.reset();
    for (int i = 0; i < numSpacials_; ++i) {
        Solid* candidate = spacials_[i];
        if (candidate == nullptr || candidate == ignore || !meets(candidate->collisionScope_, collideWithScope)) {
            continue;
        }
        s.time = 1.0f;
        testSegment(s, segment, candidate);
        mergeCollision(result, s, averageNormals_);
    }
    if (manager_ != nullptr) {
        // Afresh: the world must not inherit the solid named by the last candidate's hit.
        s.reset();
        manager_->traceSegment(s, segment, collideWithScope);
        mergeCollision(result, s, averageNormals_);
    }
    if (result.time == 1.0f) {
        result.point = segment.origin + segment.direction;
    }
}

void Simulator::traceSolidWithCurrentSpacials(Collision& result, Solid* solid, const Segment& segment,
                                              int collideWithScope)
{
    result.time = 1.0f;
    if (collideWithScope == 0) {
        return;
    }
    Collision& s = traceCollision_;
    s.reset();
    for (int i = 0; i < numSpacials_; ++i) {
        Solid* candidate = spacials_[i];
        if (candidate == nullptr || candidate == solid || !meets(candidate->collisionScope_, collideWithScope)) {
            continue;
        }
        s.time = 1.0f;
        testSolid(s, solid, segment, candidate);
        mergeCollision(result, s, averageNormals_);
    }
    if (manager_ != nullptr) {
        // Afresh: the world must not inherit the solid named by the last candidate's hit.
        s.reset();
        manager_->traceSolid(s, solid, segment, collideWithScope);
        mergeCollision(result, s, averageNormals_);
    }
    if (result.time == 1.0f) {
        result.point = segment.origin + segment.direction;
    }
}

namespace {

// The merge of one shape's (or shape pair's) hit into the solid's: equally near hits always
// combine their normals here. The hit's scope bits count only when scoped is set.
void mergeShapeHit(Collision& s, const Collision& t, bool scoped, float epsilon)
{
    const int32_t scope = s.scope;
    if (t.time < 1.0f) {
        if (t.time < s.time) {
            s = t;
        } else if (t.time == s.time) {
            const Vector3 sum = s.normal + t.normal;
            const float length = Math::length(sum);
            if (length > epsilon) {
                s.normal = sum / length;
            } else {
                s = t;
            }
        }
    }
    s.scope = scoped ? (scope | t.scope) : scope;
}

} // namespace

void Simulator::testSegment(Collision& s, const Segment& segment, Solid* solid)
{
    Collision& t = testCollision_;
    t.reset();
    t.hitSolid = solid;
    const Vector3& position = solid->position_;
    bool scoped = false;
    for (int i = 0; i < solid->shapes_.size(); ++i) {
        const Shape* shape = solid->shapes_[i].get();
        switch (shape->getType()) {
        case Shape::Type_AABOX: {
            const AABox& box = shape->getAABox();
            traceAABox(t, segment, AABox(box.minimum + position, box.maximum + position));
            break;
        }
        case Shape::Type_SPHERE: {
            const Sphere& sphere = shape->getSphere();
            traceSphere(t, segment, Sphere(sphere.origin + position, sphere.radius));
            break;
        }
        case Shape::Type_CAPSULE: {
            const Capsule& capsule = shape->getCapsule();
            traceCapsule(t, segment, Capsule(capsule.origin + position, capsule.direction, capsule.radius));
            break;
        }
        case Shape::Type_CONVEXSOLID:
            unimplemented("traceSegment not implemented for Type_CONVEXSOLID");
        case Shape::Type_TRACEABLE:
            if (shape->getTraceable() != nullptr) {
                shape->getTraceable()->traceSegment(t, position, segment);
                scoped = true;
            }
            break;
        default:
            break;
        }
        if (t.time == 0.0f) {
            t.scope |= solid->scope_;
            scoped = true;
        }
        mergeShapeHit(s, t, scoped, epsilon_);
    }
}

void Simulator::traceMovingAgainstBox(Collision& result, const Segment& segment, const AABox& moving,
                                      const AABox& fixed)
{
    traceAABox(result, segment,
               AABox(fixed.minimum - moving.maximum, fixed.maximum - moving.minimum));
}

void Simulator::testSolid(Collision& s, Solid* solid, const Segment& segment, Solid* other)
{
    Collision& t = testCollision_;
    t.reset();
    t.hitSolid = other;
    for (int i = 0; i < solid->shapes_.size(); ++i) {
        const Shape* a = solid->shapes_[i].get();
        for (int j = 0; j < other->shapes_.size(); ++j) {
            const Shape* b = other->shapes_[j].get();
            testShapePair(t, solid, a, segment, other, b);
            const bool traceablePair = a->getType() == Shape::Type_TRACEABLE || b->getType() == Shape::Type_TRACEABLE;
            const bool traced = (a->getType() == Shape::Type_TRACEABLE) != (b->getType() == Shape::Type_TRACEABLE);
            if (!traceablePair && t.time == 0.0f) {
                t.scope = other->updateScope_;
            }
            if (t.time == 0.0f) {
                t.scope |= other->scope_;
            }
            mergeShapeHit(s, t, traced || t.time == 0.0f, epsilon_);
        }
    }
}

void Simulator::testShapePair(Collision& t, Solid* solid, const Shape* a, const Segment& segment, Solid* other,
                              const Shape* b)
{
    const Vector3& position = other->position_;
    const int32_t typeA = a->getType();
    const int32_t typeB = b->getType();

    if (typeB == Shape::Type_TRACEABLE) {
        if (typeA != Shape::Type_TRACEABLE && b->getTraceable() != nullptr) {
            b->getTraceable()->traceSolid(t, solid, position, segment);
        }
        return;
    }
    if (typeA == Shape::Type_TRACEABLE) {
        if (a->getTraceable() == nullptr) {
            return;
        }
        // The other solid moved the opposite way against the traceable standing still, then seen
        // again from the moving solid.
        const Segment reversed(position, -segment.direction);
        a->getTraceable()->traceSolid(t, other, segment.origin, reversed);
        core::IntrusivePointer<Solid> hit = t.hitSolid;
        t.hitSolid = t.sourceSolid;
        t.sourceSolid = hit;
        t.normal = -t.normal;
        t.velocity = -t.velocity;
        t.point = segment.origin + (position - t.point);
        return;
    }

    switch (typeA) {
    case Shape::Type_AABOX:
    case Shape::Type_SPHERE:
    case Shape::Type_CAPSULE: {
        AABox moving;
        if (typeA == Shape::Type_SPHERE) {
            const Sphere& sphere = a->getSphere();
            const Vector3 extent(sphere.radius, sphere.radius, sphere.radius);
            moving.set(sphere.origin - extent, sphere.origin + extent);
        } else {
            a->getBound(moving);
        }
        switch (typeB) {
        case Shape::Type_AABOX: {
            const AABox& box = b->getAABox();
            traceMovingAgainstBox(t, segment, moving, AABox(box.minimum + position, box.maximum + position));
            return;
        }
        case Shape::Type_SPHERE: {
            const Sphere& sphere = b->getSphere();
            if (typeA == Shape::Type_AABOX) {
                const Vector3 extent(sphere.radius, sphere.radius, sphere.radius);
                const Vector3 centre = sphere.origin + position;
                traceMovingAgainstBox(t, segment, moving, AABox(centre - extent, centre + extent));
            } else if (typeA == Shape::Type_SPHERE) {
                const Sphere& mover = a->getSphere();
                traceSphere(t, segment,
                            Sphere(position - mover.origin + sphere.origin, mover.radius + sphere.radius));
            } else {
                const Capsule& mover = a->getCapsule();
                traceCapsule(t, segment,
                             Capsule(position - mover.origin + sphere.origin, -mover.direction,
                                     mover.radius + sphere.radius));
            }
            return;
        }
        case Shape::Type_CAPSULE: {
            const Capsule& capsule = b->getCapsule();
            if (typeA == Shape::Type_AABOX) {
                AABox bound;
                b->getBound(bound);
                traceMovingAgainstBox(t, segment, moving, AABox(bound.minimum + position, bound.maximum + position));
            } else if (typeA == Shape::Type_SPHERE) {
                const Sphere& mover = a->getSphere();
                traceCapsule(t, segment,
                             Capsule(position - mover.origin + capsule.origin, capsule.direction,
                                     mover.radius + capsule.radius));
            } else {
                const Capsule& mover = a->getCapsule();
                traceCapsulePair(t, segment, position - mover.origin + capsule.origin, mover.direction,
                                 capsule.direction, mover.radius + capsule.radius);
            }
            return;
        }
        case Shape::Type_CONVEXSOLID: {
            if (typeA == Shape::Type_CAPSULE) {
                unimplemented("from Type_CAPSULE to Type_CONVEXSOLID unimplemented");
            }
            if (typeA == Shape::Type_SPHERE) {
                // In the convex solid's own frame: the sphere's centre moves against the planes pushed
                // out by its radius; the hit is brought back to the moving solid's position.
                const Sphere& mover = a->getSphere();
                const ConvexSolid& convex = b->getConvexSolid();
                grownConvexSolid_.assign(convex);
                for (int k = 0; k < grownConvexSolid_.planes.size(); ++k) {
                    grownConvexSolid_.planes[k].distance += mover.radius;
                }
                const Segment local(segment.origin + mover.origin - position, segment.direction);
                traceConvexSolid(t, local, grownConvexSolid_);
                if (t.time < 1.0f) {
                    t.point = t.point + position - mover.origin;
                }
            }
            return;
        }
        default:
            return;
        }
    }
    case Shape::Type_CONVEXSOLID:
        switch (typeB) {
        case Shape::Type_AABOX:
            unimplemented("from Type_CONVEXSOLID to Type_AABOX unimplemented");
        case Shape::Type_SPHERE: {
            const Sphere& sphere = b->getSphere();
            const Sphere fixed(sphere.origin + position, sphere.radius);
            traceConvexSolidAgainstSphere(t, segment, a->getConvexSolid(), fixed);
            return;
        }
        case Shape::Type_CAPSULE:
            unimplemented("from Type_CONVEXSOLID to Type_CAPSULE unimplemented");
        case Shape::Type_CONVEXSOLID:
            unimplemented("from Type_CONVEXSOLID to Type_CONVEXSOLID unimplemented");
        default:
            return;
        }
    default:
        return;
    }
}

void Simulator::traceConvexSolidAgainstSphere(Collision& t, const Segment& segment, const ConvexSolid& convex,
                                              const Sphere& sphere)
{
    // Seen from the moving solid, the sphere's centre comes the opposite way against its planes
    // pushed out by the radius.
    grownConvexSolid_.assign(convex);
    for (int k = 0; k < grownConvexSolid_.planes.size(); ++k) {
        grownConvexSolid_.planes[k].distance += sphere.radius;
    }
    const Segment local(sphere.origin - segment.origin, -segment.direction);
    traceConvexSolid(t, local, grownConvexSolid_);
    if (t.time < 1.0f) {
        t.point = segment.origin + segment.direction * t.time;
        // The plane's normal points from the moving solid to the sphere; the hit's points back.
        t.normal = -t.normal;
    }
}

void Simulator::traceAABox(Collision& r, const Segment& segment, const AABox& box)
{
    const Vector3& o = segment.origin;
    if (Math::testInside(box, o)) {
        if (Math::lengthSquared(segment.direction) > 0.0f) {
            // The nearest face; a later face wins only when strictly nearer.
            const float distances[6] = {o.x - box.minimum.x, o.y - box.minimum.y, o.z - box.minimum.z,
                                        box.maximum.x - o.x, box.maximum.y - o.y, box.maximum.z - o.z};
            const Vector3 normals[6] = {Math::NEG_X_UNIT_VECTOR3, Math::NEG_Y_UNIT_VECTOR3,
                                        Math::NEG_Z_UNIT_VECTOR3, Math::X_UNIT_VECTOR3,
                                        Math::Y_UNIT_VECTOR3,     Math::Z_UNIT_VECTOR3};
            int nearest = 0;
            for (int i = 1; i < 6; ++i) {
                if (distances[i] < distances[nearest]) {
                    nearest = i;
                }
            }
            if (Math::dot(segment.direction, normals[nearest]) >= 0.0f) {
                // Moving out of the box, or along its face: no hit.
                return;
            }
            r.normal = normals[nearest];
        }
        r.time = 0.0f;
        r.point = o;
        return;
    }
    Vector3 point = o;
    Vector3 normal = r.normal;
    const float time = Math::findIntersection(segment, box, point, normal);
    if (time < 1.0f) {
        r.point = point;
        r.normal = normal;
    }
    r.time = time;
}

void Simulator::traceSphere(Collision& r, const Segment& segment, const Sphere& sphere)
{
    const Vector3& o = segment.origin;
    Vector3 n = o - sphere.origin;
    const float length = Math::length(n);
    const bool unit = length > epsilon_;
    if (unit) {
        n /= length;
    }
    if (Math::testInside(sphere, o)) {
        if (Math::dot(n, segment.direction) <= epsilon_) {
            r.time = 0.0f;
            r.point = o;
            if (unit) {
                r.normal = n;
            }
        } else {
            // Leaving the sphere is no hit.
            r.time = 1.0f;
        }
        return;
    }
    Vector3 point;
    Vector3 normal;
    const float time = Math::findIntersection(segment, sphere, point, normal);
    if (time < 0.0f) {
        // Outside by a rounding error only: a touch at the start.
        r.time = 0.0f;
        r.point = o;
        if (unit) {
            r.normal = n;
        }
    } else if (time < 1.0f) {
        r.time = time;
        r.point = point;
        r.normal = normal;
    } else {
        r.time = 1.0f;
    }
}

void Simulator::traceCapsule(Collision& r, const Segment& segment, const Capsule& capsule)
{
    const Vector3& o = segment.origin;
    const Vector3& path = segment.direction;
    const float radius = capsule.radius;

    // Starting inside or on it: as the sphere around the axis point nearest to the start.
    Vector3 nearest;
    Math::project(nearest, Segment(capsule.origin, capsule.direction), o, true);
    if (Math::testInside(Sphere(nearest, radius), o)) {
        traceSphere(r, segment, Sphere(nearest, radius));
        return;
    }

    // Otherwise the swept point meets either the side (the cylinder around the axis, where the
    // axis point lies within the axis) or one of the two end spheres, whichever comes first.
    float best = 1.0f;
    Vector3 bestPoint;
    Vector3 bestNormal;
    const Vector3& axis = capsule.direction;
    const Vector3 m = o - capsule.origin;
    const float dd = Math::dot(axis, axis);
    const float md = Math::dot(m, axis);
    const float nd = Math::dot(path, axis);
    const float nn = Math::dot(path, path);
    const float a = dd * nn - nd * nd;
    if (dd > 0.0f && a > 1.0e-12f * dd * nn) {
        const float b = dd * Math::dot(m, path) - nd * md;
        const float c = dd * (Math::dot(m, m) - radius * radius) - md * md;
        const float discriminant = b * b - a * c;
        if (discriminant >= 0.0f) {
            const float t = (-b - std::sqrt(discriminant)) / a;
            const float along = (md + t * nd) / dd;
            if (t >= 0.0f && t < best && along >= 0.0f && along <= 1.0f) {
                best = t;
                bestPoint = o + path * t;
                const Vector3 out = bestPoint - (capsule.origin + axis * along);
                const float length = Math::length(out);
                bestNormal = length > 0.0f ? out / length : bestNormal;
            }
        }
    }
    for (const Vector3& end : {capsule.origin, capsule.origin + axis}) {
        Vector3 point;
        Vector3 normal;
        const float t = Math::findIntersection(segment, Sphere(end, radius), point, normal);
        if (t >= 0.0f && t < best) {
            best = t;
            bestPoint = point;
            bestNormal = normal;
        }
    }
    r.time = best;
    if (best < 1.0f) {
        r.point = bestPoint;
        r.normal = bestNormal;
    }
}

void Simulator::traceCapsulePair(Collision& r, const Segment& segment, const Vector3& origin,
                                 const Vector3& directionA, const Vector3& directionB, float radius)
{
    // The moving solid's position meets the struck capsule where it comes within the radius of
    // origin + u directionB - s directionA (u, s in 0..1): a parallelogram, thickened by the radius.
    const Vector3& o = segment.origin;
    const Vector3& path = segment.direction;

    // Starting inside or on it: by the closest points of the two axes.
    Vector3 onA;
    Vector3 onB;
    Math::project(onA, onB, Segment(o - origin, directionA), Segment(Vector3(), directionB), epsilon_);
    Vector3 out = onA - onB;
    const float distance = Math::length(out);
    if (distance <= radius) {
        if (distance > epsilon_) {
            out /= distance;
        }
        if (Math::dot(out, path) <= epsilon_) {
            r.time = 0.0f;
            r.point = o;
            if (distance > epsilon_) {
                r.normal = out;
            }
        } else {
            // Leaving is no hit.
            r.time = 1.0f;
        }
        return;
    }

    // Otherwise the first of the four edges (capsules) and the two faces of the thickened
    // parallelogram that the path meets.
    Collision& edge = capsuleCollision_;
    float best = 1.0f;
    Vector3 bestPoint;
    Vector3 bestNormal;
    const Capsule edges[4] = {Capsule(origin, directionB, radius), Capsule(origin - directionA, directionB, radius),
                              Capsule(origin, -directionA, radius),
                              Capsule(origin + directionB, -directionA, radius)};
    for (const Capsule& capsule : edges) {
        edge.time = 1.0f;
        traceCapsule(edge, segment, capsule);
        if (edge.time < best) {
            best = edge.time;
            bestPoint = edge.point;
            bestNormal = edge.normal;
        }
    }
    const Vector3 across = Math::cross(directionB, directionA);
    const float acrossLength = Math::length(across);
    if (acrossLength > epsilon_ * epsilon_) {
        const Vector3 normal = across / acrossLength;
        const float height = Math::dot(normal, o - origin);
        const float rate = Math::dot(normal, path);
        const float side = height > 0.0f ? 1.0f : -1.0f;
        if (std::fabs(height) > radius && rate * side < 0.0f) {
            const float t = (side * radius - height) / rate;
            if (t >= 0.0f && t < best) {
                // Where on the parallelogram: q = u directionB - s directionA.
                const Vector3 q = o + path * t - origin - normal * (side * radius);
                const float bb = Math::dot(directionB, directionB);
                const float aa = Math::dot(directionA, directionA);
                const float ab = Math::dot(directionA, directionB);
                const float qb = Math::dot(q, directionB);
                const float qa = Math::dot(q, directionA);
                const float determinant = bb * aa - ab * ab;
                const float u = (qb * aa - ab * qa) / determinant;
                const float s = (ab * qb - bb * qa) / determinant;
                if (u >= 0.0f && u <= 1.0f && s >= 0.0f && s <= 1.0f) {
                    best = t;
                    bestPoint = o + path * t;
                    bestNormal = normal * side;
                }
            }
        }
    }
    r.time = best;
    if (best < 1.0f) {
        r.point = bestPoint;
        r.normal = bestNormal;
    }
}

void Simulator::traceConvexSolid(Collision& r, const Segment& segment, const ConvexSolid& convex)
{
    r.time = 1.0f;
    const core::Collection<core::math::Plane>& planes = convex.planes;

    // A start on the surface, or inside it by no more than epsilon (a rounding error after a
    // step back), that moves inward is a contact at once, with the face it moves in through.
    bool inside = planes.size() > 0;
    int face = -1;
    float faceDepth = 0.0f;
    for (int i = 0; i < planes.size() && inside; ++i) {
        const float depth = Math::dot(planes[i].normal, segment.origin) - planes[i].distance;
        if (depth > 0.0f) {
            inside = false;
        } else if (depth >= -epsilon_ && Math::dot(planes[i].normal, segment.direction) < 0.0f &&
                   (face < 0 || depth > faceDepth)) {
            face = i;
            faceDepth = depth;
        }
    }
    if (inside && face >= 0) {
        r.time = 0.0f;
        r.point = segment.origin;
        r.normal = planes[face].normal;
        return;
    }

    bool found = false;
    for (int i = 0; i < planes.size(); ++i) {
        const float along = Math::dot(planes[i].normal, segment.direction);
        if (along == 0.0f) {
            continue;
        }
        const float t = (planes[i].distance - Math::dot(planes[i].normal, segment.origin)) / along;
        if (!(t >= 0.0f && t <= 1.0f)) {
            continue;
        }
        const Vector3 p = segment.origin + segment.direction * t;
        bool accepted = true;
        for (int j = 0; j < planes.size() && accepted; ++j) {
            if (j != i) {
                accepted = Math::dot(p - planes[j].normal * planes[j].distance, planes[j].normal) <= 0.0f;
            }
        }
        if (!accepted) {
            continue;
        }
        if (!found || t < r.time) {
            r.time = t;
            r.point = p;
            r.normal = planes[i].normal;
        }
        if (found) {
            // A segment crosses a convex boundary at most twice.
            break;
        }
        found = true;
    }
}

void Simulator::calculateEpsilonOffset(Vector3& result, const Vector3& direction, const Vector3& normal) const
{
    if (!snapToGridEnabled_) {
        const float length = Math::length(direction);
        result = length > epsilon_ ? -direction / length * epsilon_ : Vector3();
        return;
    }
    const auto axis = [this](float n) {
        return n >= quarterEpsilon_ ? epsilon_ : (n <= -quarterEpsilon_ ? -epsilon_ : 0.0f);
    };
    result = Vector3(axis(normal.x), axis(normal.y), axis(normal.z));
}

} // namespace physics
} // namespace rezezaz
