#include "core/math/Math.h"

#include <cmath>

// Geometry on the value types: closest points, picking rays, plane intersections, bounding
// volumes, containment and overlap tests, and segment intersections. A segment hit is the
// fraction t of the segment (origin + t * direction) where it lies; 1 means no hit.

namespace rezezaz {
namespace core {
namespace math {

namespace {

inline float clamp01(float t)
{
    return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
}

inline bool isZero(const Vector3& v)
{
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

inline float component(const Vector3& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

inline void setComponent(Vector3& v, int axis, float value)
{
    if (axis == 0) {
        v.x = value;
    } else if (axis == 1) {
        v.y = value;
    } else {
        v.z = value;
    }
}

} // namespace

void Math::project(Vector3& result, const Segment& segment, const Vector3& point, bool limitToSegment)
{
    const Vector3& direction = segment.direction;
    if (isZero(direction)) {
        result = segment.origin;
        return;
    }
    float t = dot(point - segment.origin, direction) / dot(direction, direction);
    if (limitToSegment) {
        t = clamp01(t);
    }
    result = segment.origin + direction * t;
}

void Math::project(Vector3& point1, Vector3& point2, const Segment& s1, const Segment& s2, float epsilon)
{
    const Vector3& d1 = s1.direction;
    const Vector3& d2 = s2.direction;
    const float a = dot(d1, d1);
    const float c = dot(d2, d2);

    if (a <= epsilon) {
        point1 = s1.origin;
        if (isZero(d2)) {
            point2 = s2.origin;
        } else {
            project(point2, s2, point1, true);
        }
        return;
    }
    // A zero-length second segment never reaches the division by c below, whatever epsilon.
    if (c < epsilon || c == 0.0f) {
        point2 = s2.origin;
        project(point1, s1, point2, true);
        return;
    }

    const Vector3 r = s1.origin - s2.origin;
    const float b = dot(d1, d2);
    const float e = dot(d2, r);
    const float f = dot(d1, r);
    const float denominator = a * c - b * b;

    float s = denominator < 0.000001f ? 0.0f : clamp01((b * e - c * f) / denominator);
    float t = (b * s + e) / c;
    if (t < 0.0f) {
        t = 0.0f;
        s = clamp01(-f / a);
    } else if (t > 1.0f) {
        t = 1.0f;
        s = clamp01((b - f) / a);
    }
    point1 = s1.origin + d1 * s;
    point2 = s2.origin + d2 * t;
}

bool Math::unprojectSegment(Segment& result, const Matrix4x4& projViewMatrix, int x, int y,
                            unsigned int viewportX, unsigned int viewportY, unsigned int viewportWidth,
                            unsigned int viewportHeight, Matrix4x4& scratchMatrix)
{
    if (viewportWidth == 0 || viewportHeight == 0) {
        return false;
    }
    if (!invert(scratchMatrix, projViewMatrix)) {
        return false;
    }

    // In float, so that a pixel left of or above the viewport gives a coordinate below -1
    // instead of an unsigned wrap-around.
    const float width = static_cast<float>(viewportWidth);
    const float height = static_cast<float>(viewportHeight);
    const float nx = 2.0f * (static_cast<float>(x) - static_cast<float>(viewportX)) / width - 1.0f;
    const float ny = 2.0f * (static_cast<float>(viewportY) + height - static_cast<float>(y)) / height - 1.0f;

    Vector4 nearPoint;
    Vector4 farPoint;
    mul(nearPoint, scratchMatrix, Vector4(nx, ny, -1.0f, 1.0f));
    mul(farPoint, scratchMatrix, Vector4(nx, ny, 1.0f, 1.0f));

    const Vector3 start(nearPoint.x / nearPoint.w, nearPoint.y / nearPoint.w, nearPoint.z / nearPoint.w);
    const Vector3 end(farPoint.x / farPoint.w, farPoint.y / farPoint.w, farPoint.z / farPoint.w);
    result.origin = start;
    result.direction = end - start;
    return true;
}

bool Math::getIntersectionOfThreePlanes(Vector3& result, const Plane& p1, const Plane& p2, const Plane& p3,
                                        float epsilon)
{
    const Vector3 n23 = cross(p2.normal, p3.normal);
    const float q = dot(p1.normal, n23);
    if (q > -epsilon && q < epsilon) {
        return false;
    }
    const Vector3 n31 = cross(p3.normal, p1.normal);
    const Vector3 n12 = cross(p1.normal, p2.normal);
    result = (n23 * p1.distance + n31 * p2.distance + n12 * p3.distance) / q;
    return true;
}

void Math::getLineOfIntersection(Segment& result, const Plane& p1, const Plane& p2)
{
    const Vector3& n1 = p1.normal;
    const Vector3& n2 = p2.normal;
    const float n11 = dot(n1, n1);
    const float n22 = dot(n2, n2);
    const float n12 = dot(n1, n2);
    const float w = n11 * n22 - n12 * n12;
    const float c1 = (n22 * p1.distance - n12 * p2.distance) / w;
    const float c2 = (n11 * p2.distance - n12 * p1.distance) / w;
    result.direction = cross(n1, n2);
    result.origin = n1 * c1 + n2 * c2;
}

void Math::transformAABox(AABox& result, const Quaternion& q, const AABox& box, Vector3* corners)
{
    for (int i = 0; i < 8; ++i) {
        const Vector3 corner((i & 1) ? box.maximum.x : box.minimum.x, (i & 2) ? box.maximum.y : box.minimum.y,
                             (i & 4) ? box.maximum.z : box.minimum.z);
        corners[i] = q * corner;
    }
    findFitBox(result, corners, 8);
}

void Math::findBoundingBox(AABox& box, const Sphere& sphere)
{
    const Vector3 extent(sphere.radius, sphere.radius, sphere.radius);
    box.minimum = sphere.origin - extent;
    box.maximum = sphere.origin + extent;
}

void Math::findBoundingBox(AABox& box, const Capsule& capsule)
{
    const Vector3& o = capsule.origin;
    const Vector3& d = capsule.direction;
    const float r = capsule.radius;
    box.minimum = Vector3(o.x + std::fmin(0.0f, d.x) - r, o.y + std::fmin(0.0f, d.y) - r,
                          o.z + std::fmin(0.0f, d.z) - r);
    box.maximum = Vector3(o.x + std::fmax(0.0f, d.x) + r, o.y + std::fmax(0.0f, d.y) + r,
                          o.z + std::fmax(0.0f, d.z) + r);
}

void Math::findBoundingBox(AABox& box, const Vector3* points, int count)
{
    float extent = 0.0f;
    for (int i = 0; i < count; ++i) {
        extent = std::fmax(extent, std::fabs(points[i].x));
        extent = std::fmax(extent, std::fabs(points[i].y));
        extent = std::fmax(extent, std::fabs(points[i].z));
    }
    box.minimum = Vector3(-extent, -extent, -extent);
    box.maximum = Vector3(extent, extent, extent);
}

void Math::findFitBox(AABox& box, const Vector3* points, int count)
{
    if (count <= 0) {
        return;
    }
    Vector3 low = points[0];
    Vector3 high = points[0];
    for (int i = 1; i < count; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            const float value = component(points[i], axis);
            if (value < component(low, axis)) {
                setComponent(low, axis, value);
            }
            if (value > component(high, axis)) {
                setComponent(high, axis, value);
            }
        }
    }
    box.minimum = low;
    box.maximum = high;
}

void Math::findBoundingSphere(Sphere& sphere, const AABox& box)
{
    const Vector3 diagonal = box.maximum - box.minimum;
    sphere.origin = (box.minimum + box.maximum) * 0.5f;
    sphere.radius = std::sqrt(dot(diagonal, diagonal)) * 0.5f;
}

void Math::findFitSphere(Sphere& sphere, const AABox& box)
{
    findBoundingSphere(sphere, box);
    sphere.radius /= 1.7320508f;
}

bool Math::testInside(const Plane& plane, const Vector3& point)
{
    return dot(plane.normal, point) <= plane.distance;
}

bool Math::testInside(const Sphere& sphere, const Vector3& point)
{
    const Vector3 offset = point - sphere.origin;
    return dot(offset, offset) <= sphere.radius * sphere.radius;
}

bool Math::testInside(const AABox& box, const Vector3& point)
{
    return point.x >= box.minimum.x && point.x <= box.maximum.x && point.y >= box.minimum.y &&
           point.y <= box.maximum.y && point.z >= box.minimum.z && point.z <= box.maximum.z;
}

bool Math::testIntersection(const AABox& a, const AABox& b)
{
    return !(a.minimum.x > b.maximum.x || a.minimum.y > b.maximum.y || a.minimum.z > b.maximum.z ||
             b.minimum.x > a.maximum.x || b.minimum.y > a.maximum.y || b.minimum.z > a.maximum.z);
}

bool Math::testIntersection(const Sphere& a, const Sphere& b)
{
    const Vector3 offset = a.origin - b.origin;
    const float reach = a.radius + b.radius;
    return dot(offset, offset) <= reach * reach;
}

bool Math::testIntersection(const Sphere& sphere, const AABox& box)
{
    float distanceSquared = 0.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const float c = component(sphere.origin, axis);
        const float low = component(box.minimum, axis);
        const float high = component(box.maximum, axis);
        if (c < low) {
            distanceSquared += (low - c) * (low - c);
        } else if (c > high) {
            distanceSquared += (c - high) * (c - high);
        }
    }
    return distanceSquared <= sphere.radius * sphere.radius;
}

bool Math::testIntersection(const Sphere& sphere, const Plane* planes, int count)
{
    if (sphere.radius < 0.0f) {
        return true;
    }
    for (int i = 0; i < count; ++i) {
        if (dot(planes[i].normal, sphere.origin) + planes[i].distance < -sphere.radius) {
            return false;
        }
    }
    return true;
}

bool Math::testIntersection(const AABox& box, const Plane* planes, int count)
{
    for (int i = 0; i < count; ++i) {
        const Vector3& n = planes[i].normal;
        const Vector3 furthest(n.x >= 0.0f ? box.maximum.x : box.minimum.x,
                               n.y >= 0.0f ? box.maximum.y : box.minimum.y,
                               n.z >= 0.0f ? box.maximum.z : box.minimum.z);
        if (dot(n, furthest) + planes[i].distance < 0.0f) {
            return false;
        }
    }
    return true;
}

float Math::findIntersection(const Segment& segment, const Plane& plane, Vector3& point, Vector3& normal)
{
    const float along = dot(plane.normal, segment.direction);
    if (along == 0.0f) {
        return 1.0f;
    }
    const float t = (plane.distance - dot(plane.normal, segment.origin)) / along;
    point = segment.origin + segment.direction * t;
    normal = plane.normal;
    return (t >= 0.0f && t <= 1.0f) ? t : 1.0f;
}

float Math::findIntersection(const Segment& segment, const Sphere& sphere, Vector3& point, Vector3& normal)
{
    const Vector3& direction = segment.direction;
    const float a = dot(direction, direction);
    if (a <= 0.0f) {
        return 1.0f;
    }
    const Vector3 m = segment.origin - sphere.origin;
    const float b = dot(m, direction);
    const float k = dot(m, m) - sphere.radius * sphere.radius;
    const float discriminant = b * b - a * k;
    if (discriminant < 0.0f) {
        return 1.0f;
    }

    float result;
    if (discriminant > 0.0f) {
        const float root = std::sqrt(discriminant);
        const float t0 = (-b - root) / a;
        const float t1 = (root - b) / a;
        if (t0 > 1.0f || t1 < 0.0f) {
            return 1.0f;
        }
        // A negative t0 means the segment starts inside: the point is where it leaves.
        point = segment.origin + direction * (t0 >= 0.0f ? t0 : t1);
        result = t0;
    } else {
        const float t = -b / a;
        if (t < 0.0f || t > 1.0f) {
            return 1.0f;
        }
        point = segment.origin + direction * t;
        result = t;
    }

    if (result != 1.0f) {
        normal = point - sphere.origin;
        const float length = std::sqrt(dot(normal, normal));
        if (length > 0.0f) {
            normal /= length;
        }
    }
    return result;
}

float Math::findIntersection(const Segment& segment, const AABox& box, Vector3& point, Vector3& normal)
{
    bool inside = true;
    float plane[3] = {0.0f, 0.0f, 0.0f};
    float side[3] = {0.0f, 0.0f, 0.0f};
    for (int axis = 0; axis < 3; ++axis) {
        const float o = component(segment.origin, axis);
        if (o <= component(box.minimum, axis)) {
            plane[axis] = component(box.minimum, axis);
            side[axis] = -1.0f;
            inside = false;
        } else if (o >= component(box.maximum, axis)) {
            plane[axis] = component(box.maximum, axis);
            side[axis] = 1.0f;
            inside = false;
        }
    }
    if (inside) {
        return 0.0f;
    }

    float along[3] = {-1.0f, -1.0f, -1.0f};
    for (int axis = 0; axis < 3; ++axis) {
        const float d = component(segment.direction, axis);
        if (side[axis] != 0.0f && d != 0.0f) {
            along[axis] = (plane[axis] - component(segment.origin, axis)) / d;
        }
    }
    int winner = 0;
    if (along[1] > along[winner]) {
        winner = 1;
    }
    if (along[2] > along[winner]) {
        winner = 2;
    }
    const float t = along[winner];
    if (t < 0.0f || t > 1.0f) {
        return 1.0f;
    }

    Vector3 hit;
    for (int axis = 0; axis < 3; ++axis) {
        if (axis == winner) {
            setComponent(hit, axis, plane[axis]);
            continue;
        }
        const float value = component(segment.origin, axis) + t * component(segment.direction, axis);
        if (value < component(box.minimum, axis) || value > component(box.maximum, axis)) {
            return 1.0f;
        }
        setComponent(hit, axis, value);
    }
    point = hit;
    normal = Vector3();
    setComponent(normal, winner, side[winner]);
    return t;
}

void Sphere::merge(const Sphere& other, float epsilon)
{
    const Vector3 offset = other.origin - origin;
    const float distanceSquared = Math::dot(offset, offset);
    const float delta = other.radius - radius;
    if (delta * delta >= distanceSquared) {
        // One sphere holds the other.
        if (delta > 0.0f) {
            *this = other;
        }
        return;
    }
    const float distance = std::sqrt(distanceSquared);
    if (distance > epsilon) {
        origin += offset * ((distance + delta) / (2.0f * distance));
    }
    radius = (distance + radius + other.radius) * 0.5f;
}

} // namespace math
} // namespace core
} // namespace rezezaz
