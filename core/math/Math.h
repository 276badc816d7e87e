#pragma once

#include "core/math/AABox.h"
#include "core/math/Capsule.h"
#include "core/math/EulerAngle.h"
#include "core/math/Matrix3x3.h"
#include "core/math/Matrix4x4.h"
#include "core/math/Plane.h"
#include "core/math/Quaternion.h"
#include "core/math/Segment.h"
#include "core/math/Sphere.h"
#include "core/math/Vector2.h"
#include "core/math/Vector3.h"
#include "core/math/Vector4.h"

#include <cmath>

namespace rezezaz {
namespace core {
namespace math {

// The 4x4 product kernels (inline, in MathKernels.h). Each exists as a plain ("Traditional") and
// an SSE implementation; both do the same float operations in the same order and so give
// identical results. The result may be one of the operands: every kernel reads all its inputs
// before it writes.
using MulMatrix4x4Function = void (*)(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b);
using PostMulMatrix4x4Function = void (*)(Matrix4x4& m, const Matrix4x4& b);
using PreMulMatrix4x4Function = void (*)(Matrix4x4& m, const Matrix4x4& a);
using MulVector4Matrix4x4Vector4Function = void (*)(Vector4& result, const Matrix4x4& m, const Vector4& v);
using MulVector4Matrix4x4Function = void (*)(Vector4& v, const Matrix4x4& m);

inline void mulMatrix4x4Traditional(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b);
inline void postMulMatrix4x4Traditional(Matrix4x4& m, const Matrix4x4& b);
inline void preMulMatrix4x4Traditional(Matrix4x4& m, const Matrix4x4& a);
inline void mulVector4Matrix4x4Vector4Traditional(Vector4& result, const Matrix4x4& m, const Vector4& v);
inline void mulVector4Matrix4x4Traditional(Vector4& v, const Matrix4x4& m);

// On a processor without SSE these forward to the Traditional kernels.
inline void mulMatrix4x4SSE(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b);
inline void postMulMatrix4x4SSE(Matrix4x4& m, const Matrix4x4& b);
inline void preMulMatrix4x4SSE(Matrix4x4& m, const Matrix4x4& a);
inline void mulVector4Matrix4x4Vector4SSE(Vector4& result, const Matrix4x4& m, const Vector4& v);
inline void mulVector4Matrix4x4SSE(Vector4& v, const Matrix4x4& m);

// The kernels in use: Traditional from static initialisation until Math::optimize changes them.
extern MulMatrix4x4Function mulMatrix4x4;                             // result = a b
extern PostMulMatrix4x4Function postMulMatrix4x4;                     // m = m b
extern PreMulMatrix4x4Function preMulMatrix4x4;                       // m = a m
extern MulVector4Matrix4x4Vector4Function mulVector4Matrix4x4Vector4; // result = m v
extern MulVector4Matrix4x4Function mulVector4Matrix4x4;               // v = m v

// Static math functions. Conventions: vectors are columns multiplied on the right (v' = M v),
// so A B applies B first; rotations are right-handed; projections use OpenGL clip space
// (eye looks down -z, depth -1 at near to +1 at far).
class Math
{
public:
    static constexpr Vector2 ZERO_VECTOR2{0.0f, 0.0f};
    static constexpr Vector2 ONE_VECTOR2{1.0f, 1.0f};
    static constexpr Vector2 X_UNIT_VECTOR2{1.0f, 0.0f};
    static constexpr Vector2 NEG_X_UNIT_VECTOR2{-1.0f, 0.0f};
    static constexpr Vector2 Y_UNIT_VECTOR2{0.0f, 1.0f};
    static constexpr Vector2 NEG_Y_UNIT_VECTOR2{0.0f, -1.0f};

    static constexpr Vector3 ZERO_VECTOR3{0.0f, 0.0f, 0.0f};
    static constexpr Vector3 ONE_VECTOR3{1.0f, 1.0f, 1.0f};
    static constexpr Vector3 X_UNIT_VECTOR3{1.0f, 0.0f, 0.0f};
    static constexpr Vector3 NEG_X_UNIT_VECTOR3{-1.0f, 0.0f, 0.0f};
    static constexpr Vector3 Y_UNIT_VECTOR3{0.0f, 1.0f, 0.0f};
    static constexpr Vector3 NEG_Y_UNIT_VECTOR3{0.0f, -1.0f, 0.0f};
    static constexpr Vector3 Z_UNIT_VECTOR3{0.0f, 0.0f, 1.0f};
    static constexpr Vector3 NEG_Z_UNIT_VECTOR3{0.0f, 0.0f, -1.0f};

    static constexpr Vector4 ZERO_VECTOR4{0.0f, 0.0f, 0.0f, 0.0f};
    static constexpr Vector4 ONE_VECTOR4{1.0f, 1.0f, 1.0f, 1.0f};
    static constexpr Vector4 X_UNIT_VECTOR4{1.0f, 0.0f, 0.0f, 0.0f};
    static constexpr Vector4 NEG_X_UNIT_VECTOR4{-1.0f, 0.0f, 0.0f, 0.0f};
    static constexpr Vector4 Y_UNIT_VECTOR4{0.0f, 1.0f, 0.0f, 0.0f};
    static constexpr Vector4 NEG_Y_UNIT_VECTOR4{0.0f, -1.0f, 0.0f, 0.0f};
    static constexpr Vector4 Z_UNIT_VECTOR4{0.0f, 0.0f, 1.0f, 0.0f};
    static constexpr Vector4 NEG_Z_UNIT_VECTOR4{0.0f, 0.0f, -1.0f, 0.0f};
    static constexpr Vector4 W_UNIT_VECTOR4{0.0f, 0.0f, 0.0f, 1.0f};
    static constexpr Vector4 NEG_W_UNIT_VECTOR4{0.0f, 0.0f, 0.0f, -1.0f};

    static constexpr Matrix3x3 IDENTITY_MATRIX3X3{};
    static constexpr Matrix4x4 IDENTITY_MATRIX4X4{};
    static constexpr Quaternion IDENTITY_QUATERNION{0.0f, 0.0f, 0.0f, 1.0f};
    static constexpr EulerAngle IDENTITY_EULERANGLE{EulerAngle::ORDER_XYZ, 0.0f, 0.0f, 0.0f};
    static constexpr AABox ZERO_AABOX{};

    // Kernel selection.

    // Sets all five kernels to Traditional.
    static void init();
    // Mode 0 chooses each kernel group by timing it, 1 forces SSE (when the processor has it),
    // any other value forces Traditional.
    static void optimize(int mode);

    // Vector helpers.

    static constexpr float dot(const Vector2& a, const Vector2& b) { return a.x * b.x + a.y * b.y; }
    static constexpr float dot(const Vector3& a, const Vector3& b)
    {
        return a.x * b.x + a.y * b.y + a.z * b.z;
    }
    static constexpr float dot(const Vector4& a, const Vector4& b)
    {
        return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    }
    static constexpr float dot(const Quaternion& a, const Quaternion& b)
    {
        return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    }
    static constexpr Vector3 cross(const Vector3& a, const Vector3& b)
    {
        return Vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    }
    static constexpr float lengthSquared(const Vector3& v) { return dot(v, v); }
    static float length(const Vector2& v) { return std::sqrt(dot(v, v)); }
    static float length(const Vector3& v) { return std::sqrt(dot(v, v)); }
    static float length(const Vector4& v) { return std::sqrt(dot(v, v)); }
    static float length(const Quaternion& q) { return std::sqrt(dot(q, q)); }
    // Scales to unit length; a vector of length 0 stays as it is.
    static void normalize(Vector2& v);
    static void normalize(Vector3& v);
    static void normalize(Vector4& v);
    static void normalize(Quaternion& q);

    // Matrix products. The 4x4 forms run through the kernels above.

    static void mul(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b) { mulMatrix4x4(result, a, b); }
    static void postMul(Matrix4x4& m, const Matrix4x4& b) { postMulMatrix4x4(m, b); }
    static void preMul(Matrix4x4& m, const Matrix4x4& a) { preMulMatrix4x4(m, a); }
    static void mul(Vector4& result, const Matrix4x4& m, const Vector4& v)
    {
        mulVector4Matrix4x4Vector4(result, m, v);
    }
    static void mul(Vector4& v, const Matrix4x4& m) { mulVector4Matrix4x4(v, m); }
    static void mul(Matrix3x3& result, const Matrix3x3& a, const Matrix3x3& b);
    static void postMul(Matrix3x3& m, const Matrix3x3& b);
    static void preMul(Matrix3x3& m, const Matrix3x3& a);

    // Matrix operations. invert returns false and leaves result untouched when the
    // determinant is exactly 0; result may be m itself.

    static void transpose(Matrix3x3& result, const Matrix3x3& m);
    static void transpose(Matrix4x4& result, const Matrix4x4& m);
    static float determinant(const Matrix3x3& m);
    static float determinant(const Matrix4x4& m);
    static bool invert(Matrix3x3& result, const Matrix3x3& m);
    static bool invert(Matrix4x4& result, const Matrix4x4& m);

    // Camera and projection matrices.

    static void setMatrix4x4FromOrtho(Matrix4x4& m, float left, float right, float bottom, float top,
                                      float near, float far);
    static void setMatrix4x4FromFrustum(Matrix4x4& m, float left, float right, float bottom, float top,
                                        float near, float far);
    static void setMatrix4x4FromPerspectiveX(Matrix4x4& m, float fovx, float aspect, float near, float far);
    static void setMatrix4x4FromPerspectiveY(Matrix4x4& m, float fovy, float aspect, float near, float far);
    // camera true: the eye's placement (its -z axis along dir); false: the view matrix.
    // Writes rows 0 to 2 only; the bottom row stays as it was.
    static void setMatrix4x4FromLookDir(Matrix4x4& m, const Vector3& eye, const Vector3& dir,
                                        const Vector3& up, bool camera);
    static void setMatrix4x4FromLookAt(Matrix4x4& m, const Vector3& eye, const Vector3& point,
                                       const Vector3& up, bool camera);
    static void setMatrix4x4FromObliquePlane(Matrix4x4& m, const Plane& plane, const Vector3& dir);
    static void setMatrix4x4FromPerspectivePlane(Matrix4x4& m, const Plane& plane, const Vector3& point);

    // Rotation conversions. Those that take an EulerAngle return false for an unknown order;
    // the epsilon arguments are not used by the Euler conversions.

    static bool setMatrix3x3FromEulerAngle(Matrix3x3& m, const EulerAngle& euler, float epsilon);
    // Writes the upper 3x3 only.
    static bool setMatrix4x4FromEulerAngle(Matrix4x4& m, const EulerAngle& euler, float epsilon);
    // The order is the one already stored in euler.
    static bool setEulerAngleFromMatrix3x3(EulerAngle& euler, const Matrix3x3& m, float epsilon);
    static bool setEulerAngleFromMatrix4x4(EulerAngle& euler, const Matrix3x3& m3x3, float epsilon);
    static bool setEulerAngleFromQuaternion(EulerAngle& euler, const Quaternion& q, float epsilon);
    // The rotation columns are scaled to unit length first.
    static void setQuaternionFromMatrix3x3(Quaternion& q, const Matrix3x3& m);
    static void setQuaternionFromMatrix4x4(Quaternion& q, const Matrix4x4& m);
    static bool setQuaternionFromEulerAngle(Quaternion& q, const EulerAngle& euler);
    // Returns the angle; axis is (1, 0, 0) when the rotation is too small to give one.
    static float setAxisAngleFromQuaternion(Vector3& axis, const Quaternion& q, float epsilon);
    // Both take the short way round (b's sign flipped when a . b < 0); lerp does not normalise.
    static void lerp(Quaternion& result, const Quaternion& a, const Quaternion& b, float t);
    static void slerp(Quaternion& result, const Quaternion& a, const Quaternion& b, float t);

    // ---- Geometry (segments, planes, bounding volumes, intersections) -------------------
    // Defined in MathGeometry.cpp and kept by the geometry functions' owner; only this
    // section is theirs to edit.
    //
    // A segment runs from origin to origin + direction. The findIntersection functions return
    // the fraction t of the segment at which the hit lies; 1 means nothing is hit.

    // The point of the segment's line nearest to point (clamped to the segment when asked);
    // the origin for a segment of direction zero.
    static void project(Vector3& result, const Segment& segment, const Vector3& point, bool limitToSegment);
    // The closest points of two segments; a segment whose squared length is at most epsilon
    // counts as a point.
    static void project(Vector3& point1, Vector3& point2, const Segment& segment1, const Segment& segment2,
                        float epsilon);
    // The picking ray through window pixel (x, y), window y growing downward: from the near to
    // the far plane of projViewMatrix. Returns false, leaving result as it was, for an empty
    // viewport or a matrix that does not invert. scratchMatrix receives the inverse.
    static bool unprojectSegment(Segment& result, const Matrix4x4& projViewMatrix, int x, int y,
                                 unsigned int viewportX, unsigned int viewportY, unsigned int viewportWidth,
                                 unsigned int viewportHeight, Matrix4x4& scratchMatrix);
    // False when the normals' triple product lies strictly between -epsilon and epsilon.
    static bool getIntersectionOfThreePlanes(Vector3& result, const Plane& p1, const Plane& p2,
                                             const Plane& p3, float epsilon);
    // The planes must not be parallel.
    static void getLineOfIntersection(Segment& result, const Plane& p1, const Plane& p2);
    // The box around box rotated by q; corners (room for eight) receives the rotated corners,
    // corner i taking the maximum on x, y, z where bit 0, 1, 2 of i is set.
    static void transformAABox(AABox& result, const Quaternion& q, const AABox& box, Vector3* corners);

    static void findBoundingBox(AABox& box, const Sphere& sphere);
    static void findBoundingBox(AABox& box, const Capsule& capsule);
    // A cube centred on the origin that holds every point (of any rotation about the origin).
    static void findBoundingBox(AABox& box, const Vector3* points, int count);
    // The smallest box holding the points; unchanged for a count of 0 or less.
    static void findFitBox(AABox& box, const Vector3* points, int count);
    static void findBoundingSphere(Sphere& sphere, const AABox& box);
    static void findFitSphere(Sphere& sphere, const AABox& box);

    // All tests include their boundary. The plane-list tests keep the side where
    // normal . p + distance is positive (the camera's view-volume planes); testInside(Plane)
    // and the segment intersection use normal . p = distance.
    static bool testInside(const Plane& plane, const Vector3& point);
    static bool testInside(const Sphere& sphere, const Vector3& point);
    static bool testInside(const AABox& box, const Vector3& point);
    static bool testIntersection(const AABox& a, const AABox& b);
    static bool testIntersection(const Sphere& a, const Sphere& b);
    static bool testIntersection(const Sphere& sphere, const AABox& box);
    // A sphere of negative radius always passes.
    static bool testIntersection(const Sphere& sphere, const Plane* planes, int count);
    static bool testIntersection(const AABox& box, const Plane* planes, int count);

    // Writes point and normal whenever the segment is not parallel to the plane.
    static float findIntersection(const Segment& segment, const Plane& plane, Vector3& point,
                                  Vector3& normal);
    // A segment that starts inside gives a negative t and the point where it leaves.
    static float findIntersection(const Segment& segment, const Sphere& sphere, Vector3& point,
                                  Vector3& normal);
    // A segment that starts strictly inside gives 0 and writes neither point nor normal.
    static float findIntersection(const Segment& segment, const AABox& box, Vector3& point, Vector3& normal);

    // ---- end of geometry --------------------------------------------------------------
};

// Present in every unit that includes this header: makes sure the kernels are set before
// any static object of that unit uses them.
class MathInitializer
{
public:
    MathInitializer();
};

static MathInitializer mathInitializer;

// Inline, as a header-only math library's slerp is, for the animation loops that call it per bone.
inline void Math::slerp(Quaternion& result, const Quaternion& a, const Quaternion& b, float t)
{
    const float h = dot(a, b);
    // The sign of h without a branch (random orientations would mispredict it half the time);
    // -0 counts as positive, as 0 does.
    const float sigma = std::copysign(1.0f, h + 0.0f);
    const float absH = std::fabs(h);
    if (1.0f - absH > 0.0001f) {
        // absH lies in [0, 0.9999] here, inside acos's domain, and sin(theta) is well away from 0.
        const float theta = std::acos(absH);
        const float inverseSin = 1.0f / std::sin(theta);
        result =
            a * (std::sin((1.0f - t) * theta) * inverseSin) + b * (sigma * std::sin(t * theta) * inverseSin);
    } else {
        result = a * (1.0f - t) + b * (sigma * t);
    }
}

} // namespace math
} // namespace core
} // namespace rezezaz

#include "core/math/MathKernels.h"
