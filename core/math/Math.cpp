// Matrix and rotation functions of Math, and the start-up setting of the kernels. Kernel
// implementations are in MathKernels.cpp, kernel selection by timing in MathOptimize.cpp.

#include "core/math/Math.h"

#include <algorithm>
#include <cmath>

namespace rezezaz {
namespace core {
namespace math {

namespace {

// The single-precision value nearest to pi/2; asinf(1) returns exactly this.
constexpr float HALF_PI = 1.5707964f;

int initializerCount = 0;

// Rounding can carry a cosine or dot product just past 1, where acos and asin give NaN.
inline float clampUnit(float f)
{
    return std::min(1.0f, std::max(-1.0f, f));
}

// Scales a vector to unit length; one of length 0 stays as it is.
template <typename V> void scaleToUnit(V& v)
{
    const float l = Math::length(v);
    if (l > 0.0f) {
        v /= l;
    }
}

Matrix3x3 rotationX(float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return Matrix3x3(1.0f, 0.0f, 0.0f, 0.0f, c, -s, 0.0f, s, c);
}

Matrix3x3 rotationY(float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return Matrix3x3(c, 0.0f, s, 0.0f, 1.0f, 0.0f, -s, 0.0f, c);
}

Matrix3x3 rotationZ(float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return Matrix3x3(c, -s, 0.0f, s, c, 0.0f, 0.0f, 0.0f, 1.0f);
}

Quaternion quaternionX(float angle)
{
    return Quaternion(std::sin(angle * 0.5f), 0.0f, 0.0f, std::cos(angle * 0.5f));
}

Quaternion quaternionY(float angle)
{
    return Quaternion(0.0f, std::sin(angle * 0.5f), 0.0f, std::cos(angle * 0.5f));
}

Quaternion quaternionZ(float angle)
{
    return Quaternion(0.0f, 0.0f, std::sin(angle * 0.5f), std::cos(angle * 0.5f));
}

// The rotation matrix of a unit quaternion.
Matrix3x3 matrixFromQuaternion(const Quaternion& q)
{
    const float xx = q.x * q.x;
    const float yy = q.y * q.y;
    const float zz = q.z * q.z;
    const float xy = q.x * q.y;
    const float xz = q.x * q.z;
    const float yz = q.y * q.z;
    const float xw = q.x * q.w;
    const float yw = q.y * q.w;
    const float zw = q.z * q.w;
    return Matrix3x3(1.0f - 2.0f * (yy + zz), 2.0f * (xy - zw), 2.0f * (xz + yw), //
                     2.0f * (xy + zw), 1.0f - 2.0f * (xx + zz), 2.0f * (yz - xw), //
                     2.0f * (xz - yw), 2.0f * (yz + xw), 1.0f - 2.0f * (xx + yy));
}

// Quaternion of a rotation matrix whose columns have unit length.
Quaternion quaternionFromRotation(const Matrix3x3& m)
{
    const float trace = m.at(0, 0) + m.at(1, 1) + m.at(2, 2);
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f);
        const float f = 0.5f / s;
        return Quaternion((m.at(2, 1) - m.at(1, 2)) * f, (m.at(0, 2) - m.at(2, 0)) * f,
                          (m.at(1, 0) - m.at(0, 1)) * f, s * 0.5f);
    }
    int i = 0;
    if (m.at(1, 1) > m.at(0, 0)) {
        i = 1;
    }
    if (m.at(2, 2) > m.at(i, i)) {
        i = 2;
    }
    const int j = (i + 1) % 3;
    const int k = (j + 1) % 3;
    const float s = std::sqrt(m.at(i, i) - m.at(j, j) - m.at(k, k) + 1.0f);
    const float f = 0.5f / s;
    float v[3];
    v[i] = s * 0.5f;
    v[j] = (m.at(j, i) + m.at(i, j)) * f;
    v[k] = (m.at(k, i) + m.at(i, k)) * f;
    return Quaternion(v[0], v[1], v[2], (m.at(k, j) - m.at(j, k)) * f);
}

// Scales each of the three columns to unit length (a zero column stays zero).
Matrix3x3 withoutScale(const Matrix3x3& m)
{
    Matrix3x3 result = m;
    for (int c = 0; c < 3; ++c) {
        Vector3 column(m.at(0, c), m.at(1, c), m.at(2, c));
        Math::normalize(column);
        result.setAt(0, c, column.x);
        result.setAt(1, c, column.y);
        result.setAt(2, c, column.z);
    }
    return result;
}

} // namespace

MathInitializer::MathInitializer()
{
    if (initializerCount++ == 0) {
        Math::init();
    }
}

void Math::init()
{
    mulMatrix4x4 = mulMatrix4x4Traditional;
    postMulMatrix4x4 = postMulMatrix4x4Traditional;
    preMulMatrix4x4 = preMulMatrix4x4Traditional;
    mulVector4Matrix4x4Vector4 = mulVector4Matrix4x4Vector4Traditional;
    mulVector4Matrix4x4 = mulVector4Matrix4x4Traditional;
}

void Math::normalize(Vector2& v)
{
    scaleToUnit(v);
}

void Math::normalize(Vector3& v)
{
    scaleToUnit(v);
}

void Math::normalize(Vector4& v)
{
    scaleToUnit(v);
}

void Math::normalize(Quaternion& q)
{
    const float l = length(q);
    if (l > 0.0f) {
        q = Quaternion(q.x / l, q.y / l, q.z / l, q.w / l);
    }
}

void Math::mul(Matrix3x3& result, const Matrix3x3& a, const Matrix3x3& b)
{
    Matrix3x3 product;
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            product.setAt(r, c, a.at(r, 0) * b.at(0, c) + a.at(r, 1) * b.at(1, c) + a.at(r, 2) * b.at(2, c));
        }
    }
    result = product;
}

void Math::postMul(Matrix3x3& m, const Matrix3x3& b)
{
    mul(m, m, b);
}

void Math::preMul(Matrix3x3& m, const Matrix3x3& a)
{
    mul(m, a, m);
}

void Math::transpose(Matrix3x3& result, const Matrix3x3& m)
{
    Matrix3x3 t;
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            t.setAt(r, c, m.at(c, r));
        }
    }
    result = t;
}

void Math::transpose(Matrix4x4& result, const Matrix4x4& m)
{
    Matrix4x4 t;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            t.setAt(r, c, m.at(c, r));
        }
    }
    result = t;
}

float Math::determinant(const Matrix3x3& m)
{
    return m.at(0, 0) * (m.at(1, 1) * m.at(2, 2) - m.at(1, 2) * m.at(2, 1)) -
           m.at(0, 1) * (m.at(1, 0) * m.at(2, 2) - m.at(1, 2) * m.at(2, 0)) +
           m.at(0, 2) * (m.at(1, 0) * m.at(2, 1) - m.at(1, 1) * m.at(2, 0));
}

bool Math::invert(Matrix3x3& result, const Matrix3x3& m)
{
    // Cofactors of the first row give the determinant; the adjugate is the transposed cofactors.
    const float c00 = m.at(1, 1) * m.at(2, 2) - m.at(1, 2) * m.at(2, 1);
    const float c01 = m.at(1, 2) * m.at(2, 0) - m.at(1, 0) * m.at(2, 2);
    const float c02 = m.at(1, 0) * m.at(2, 1) - m.at(1, 1) * m.at(2, 0);
    const float det = m.at(0, 0) * c00 + m.at(0, 1) * c01 + m.at(0, 2) * c02;
    if (det == 0.0f) {
        return false;
    }
    const float f = 1.0f / det;
    const Matrix3x3 inverse(c00 * f, (m.at(0, 2) * m.at(2, 1) - m.at(0, 1) * m.at(2, 2)) * f,
                            (m.at(0, 1) * m.at(1, 2) - m.at(0, 2) * m.at(1, 1)) * f, //
                            c01 * f, (m.at(0, 0) * m.at(2, 2) - m.at(0, 2) * m.at(2, 0)) * f,
                            (m.at(0, 2) * m.at(1, 0) - m.at(0, 0) * m.at(1, 2)) * f, //
                            c02 * f, (m.at(0, 1) * m.at(2, 0) - m.at(0, 0) * m.at(2, 1)) * f,
                            (m.at(0, 0) * m.at(1, 1) - m.at(0, 1) * m.at(1, 0)) * f);
    result = inverse;
    return true;
}

namespace {

// The 2x2 determinants of the upper two rows (s) and the lower two rows (c), from which the
// 4x4 determinant and the adjugate are built by expansion in complementary minors.
struct Minors
{
    float s[6];
    float c[6];
    float det;

    explicit Minors(const Matrix4x4& m)
    {
        const auto a = [&m](int r, int col) { return m.at(r, col); };
        s[0] = a(0, 0) * a(1, 1) - a(1, 0) * a(0, 1);
        s[1] = a(0, 0) * a(1, 2) - a(1, 0) * a(0, 2);
        s[2] = a(0, 0) * a(1, 3) - a(1, 0) * a(0, 3);
        s[3] = a(0, 1) * a(1, 2) - a(1, 1) * a(0, 2);
        s[4] = a(0, 1) * a(1, 3) - a(1, 1) * a(0, 3);
        s[5] = a(0, 2) * a(1, 3) - a(1, 2) * a(0, 3);
        c[0] = a(2, 0) * a(3, 1) - a(3, 0) * a(2, 1);
        c[1] = a(2, 0) * a(3, 2) - a(3, 0) * a(2, 2);
        c[2] = a(2, 0) * a(3, 3) - a(3, 0) * a(2, 3);
        c[3] = a(2, 1) * a(3, 2) - a(3, 1) * a(2, 2);
        c[4] = a(2, 1) * a(3, 3) - a(3, 1) * a(2, 3);
        c[5] = a(2, 2) * a(3, 3) - a(3, 2) * a(2, 3);
        det = s[0] * c[5] - s[1] * c[4] + s[2] * c[3] + s[3] * c[2] - s[4] * c[1] + s[5] * c[0];
    }
};

} // namespace

float Math::determinant(const Matrix4x4& m)
{
    return Minors(m).det;
}

bool Math::invert(Matrix4x4& result, const Matrix4x4& m)
{
    const Minors minors(m);
    if (minors.det == 0.0f) {
        return false;
    }
    const float* s = minors.s;
    const float* c = minors.c;
    const auto a = [&m](int r, int col) { return m.at(r, col); };
    const float f = 1.0f / minors.det;
    const Matrix4x4 inverse((a(1, 1) * c[5] - a(1, 2) * c[4] + a(1, 3) * c[3]) * f, //
                            (-a(0, 1) * c[5] + a(0, 2) * c[4] - a(0, 3) * c[3]) * f,
                            (a(3, 1) * s[5] - a(3, 2) * s[4] + a(3, 3) * s[3]) * f,
                            (-a(2, 1) * s[5] + a(2, 2) * s[4] - a(2, 3) * s[3]) * f,

                            (-a(1, 0) * c[5] + a(1, 2) * c[2] - a(1, 3) * c[1]) * f, //
                            (a(0, 0) * c[5] - a(0, 2) * c[2] + a(0, 3) * c[1]) * f,
                            (-a(3, 0) * s[5] + a(3, 2) * s[2] - a(3, 3) * s[1]) * f,
                            (a(2, 0) * s[5] - a(2, 2) * s[2] + a(2, 3) * s[1]) * f,

                            (a(1, 0) * c[4] - a(1, 1) * c[2] + a(1, 3) * c[0]) * f, //
                            (-a(0, 0) * c[4] + a(0, 1) * c[2] - a(0, 3) * c[0]) * f,
                            (a(3, 0) * s[4] - a(3, 1) * s[2] + a(3, 3) * s[0]) * f,
                            (-a(2, 0) * s[4] + a(2, 1) * s[2] - a(2, 3) * s[0]) * f,

                            (-a(1, 0) * c[3] + a(1, 1) * c[1] - a(1, 2) * c[0]) * f, //
                            (a(0, 0) * c[3] - a(0, 1) * c[1] + a(0, 2) * c[0]) * f,
                            (-a(3, 0) * s[3] + a(3, 1) * s[1] - a(3, 2) * s[0]) * f,
                            (a(2, 0) * s[3] - a(2, 1) * s[1] + a(2, 2) * s[0]) * f);
    result = inverse;
    return true;
}

void Math::setMatrix4x4FromOrtho(Matrix4x4& m, float left, float right, float bottom, float top, float near,
                                 float far)
{
    m = Matrix4x4(2.0f / (right - left), 0.0f, 0.0f, -(left + right) / (right - left), //
                  0.0f, 2.0f / (top - bottom), 0.0f, -(bottom + top) / (top - bottom), //
                  0.0f, 0.0f, -2.0f / (far - near), -(near + far) / (far - near),      //
                  0.0f, 0.0f, 0.0f, 1.0f);
}

void Math::setMatrix4x4FromFrustum(Matrix4x4& m, float left, float right, float bottom, float top, float near,
                                   float far)
{
    m = Matrix4x4(2.0f * near / (right - left), 0.0f, (right + left) / (right - left), 0.0f,   //
                  0.0f, 2.0f * near / (top - bottom), (top + bottom) / (top - bottom), 0.0f,   //
                  0.0f, 0.0f, -(far + near) / (far - near), -2.0f * far * near / (far - near), //
                  0.0f, 0.0f, -1.0f, 0.0f);
}

void Math::setMatrix4x4FromPerspectiveX(Matrix4x4& m, float fovx, float aspect, float near, float far)
{
    const float t = std::tan(fovx * 0.5f);
    m = Matrix4x4(1.0f / t, 0.0f, 0.0f, 0.0f,                                                //
                  0.0f, 1.0f / (aspect * t), 0.0f, 0.0f,                                     //
                  0.0f, 0.0f, (near + far) / (near - far), 2.0f * near * far / (near - far), //
                  0.0f, 0.0f, -1.0f, 0.0f);
}

void Math::setMatrix4x4FromPerspectiveY(Matrix4x4& m, float fovy, float aspect, float near, float far)
{
    const float t = std::tan(fovy * 0.5f);
    m = Matrix4x4(1.0f / (aspect * t), 0.0f, 0.0f, 0.0f,                                     //
                  0.0f, 1.0f / t, 0.0f, 0.0f,                                                //
                  0.0f, 0.0f, (near + far) / (near - far), 2.0f * near * far / (near - far), //
                  0.0f, 0.0f, -1.0f, 0.0f);
}

void Math::setMatrix4x4FromLookDir(Matrix4x4& m, const Vector3& eye, const Vector3& dir, const Vector3& up,
                                   bool camera)
{
    Vector3 d = dir;
    Vector3 u = up;
    normalize(d);
    normalize(u);
    Vector3 s = cross(d, u);
    normalize(s);
    u = cross(s, d);
    const Vector3 back = -d;
    if (camera) {
        const Vector3* columns[4] = {&s, &u, &back, &eye};
        for (int c = 0; c < 4; ++c) {
            m.setAt(0, c, columns[c]->x);
            m.setAt(1, c, columns[c]->y);
            m.setAt(2, c, columns[c]->z);
        }
    } else {
        const Vector3* rows[3] = {&s, &u, &back};
        for (int r = 0; r < 3; ++r) {
            m.setAt(r, 0, rows[r]->x);
            m.setAt(r, 1, rows[r]->y);
            m.setAt(r, 2, rows[r]->z);
        }
        m.setAt(0, 3, -dot(s, eye));
        m.setAt(1, 3, -dot(u, eye));
        m.setAt(2, 3, dot(d, eye));
    }
}

void Math::setMatrix4x4FromLookAt(Matrix4x4& m, const Vector3& eye, const Vector3& point, const Vector3& up,
                                  bool camera)
{
    setMatrix4x4FromLookDir(m, eye, point - eye, up, camera);
}

void Math::setMatrix4x4FromObliquePlane(Matrix4x4& m, const Plane& plane, const Vector3& dir)
{
    const Vector3& n = plane.normal;
    const float k = dot(n, dir);
    const float d = plane.distance;
    m = Matrix4x4(dir.x * n.x - k, dir.x * n.y, dir.x * n.z, -d * dir.x, //
                  dir.y * n.x, dir.y * n.y - k, dir.y * n.z, -d * dir.y, //
                  dir.z * n.x, dir.z * n.y, dir.z * n.z - k, -d * dir.z, //
                  0.0f, 0.0f, 0.0f, -k);
}

void Math::setMatrix4x4FromPerspectivePlane(Matrix4x4& m, const Plane& plane, const Vector3& point)
{
    const Vector3& n = plane.normal;
    const Vector3& p = point;
    const float k = dot(n, p - n * plane.distance);
    const Matrix3x3 upper(k - p.x * n.x, -p.x * n.y, -p.x * n.z, //
                          -p.y * n.x, k - p.y * n.y, -p.y * n.z, //
                          -p.z * n.x, -p.z * n.y, k - p.z * n.z);
    m = Matrix4x4();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            m.setAt(r, c, upper.at(r, c));
        }
        m.setAt(r, 3, -(upper.at(r, 0) * p.x + upper.at(r, 1) * p.y + upper.at(r, 2) * p.z));
    }
    m.setAt(3, 0, -n.x);
    m.setAt(3, 1, -n.y);
    m.setAt(3, 2, -n.z);
    m.setAt(3, 3, dot(n, p));
}

bool Math::setMatrix3x3FromEulerAngle(Matrix3x3& m, const EulerAngle& euler, float /*epsilon*/)
{
    Matrix3x3 first;
    Matrix3x3 second;
    Matrix3x3 third;
    switch (euler.order) {
    case EulerAngle::ORDER_XYZ:
        first = rotationX(euler.angle1);
        second = rotationY(euler.angle2);
        third = rotationZ(euler.angle3);
        break;
    case EulerAngle::ORDER_ZXY:
        first = rotationZ(euler.angle1);
        second = rotationX(euler.angle2);
        third = rotationY(euler.angle3);
        break;
    case EulerAngle::ORDER_ZYX:
        first = rotationZ(euler.angle1);
        second = rotationY(euler.angle2);
        third = rotationX(euler.angle3);
        break;
    default:
        return false;
    }
    mul(m, first, second);
    postMul(m, third);
    return true;
}

bool Math::setMatrix4x4FromEulerAngle(Matrix4x4& m, const EulerAngle& euler, float epsilon)
{
    Matrix3x3 rotation;
    if (!setMatrix3x3FromEulerAngle(rotation, euler, epsilon)) {
        return false;
    }
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            m.setAt(r, c, rotation.at(r, c));
        }
    }
    return true;
}

bool Math::setEulerAngleFromMatrix3x3(EulerAngle& euler, const Matrix3x3& m, float /*epsilon*/)
{
    float a1;
    float a2;
    float a3 = 0.0f;
    // Away from the poles the third angle is read after undoing the first rotation, not from
    // the elements that carry cos a2: close to a pole those are mostly rounding, and reading
    // them alone would give a rotation unrelated to m.
    switch (euler.order) {
    case EulerAngle::ORDER_XYZ:
        // Rx Ry Rz: (0,2) = sin a2. At a2 = +pi/2 row 1 holds sin and cos of a1 + a3,
        // at -pi/2 of a3 - a1; with a3 = 0 the signs below make the round trip exact.
        a2 = std::asin(clampUnit(m.at(0, 2)));
        if (-HALF_PI < a2 && a2 < HALF_PI) {
            a1 = std::atan2(-m.at(1, 2), m.at(2, 2));
            // Row 1 of Rx(-a1) m is (sin a3, cos a3, 0).
            const float c1 = std::cos(a1);
            const float s1 = std::sin(a1);
            a3 = std::atan2(c1 * m.at(1, 0) + s1 * m.at(2, 0), c1 * m.at(1, 1) + s1 * m.at(2, 1));
        } else if (a2 >= HALF_PI) {
            a1 = std::atan2(m.at(1, 0), m.at(1, 1));
        } else {
            a1 = -std::atan2(m.at(1, 0), m.at(1, 1));
        }
        break;
    case EulerAngle::ORDER_ZXY:
        a2 = std::asin(clampUnit(m.at(2, 1)));
        if (a2 >= HALF_PI) {
            a1 = std::atan2(m.at(0, 2), m.at(0, 0));
        } else if (a2 <= -HALF_PI) {
            a1 = -std::atan2(m.at(0, 2), m.at(0, 0));
        } else {
            a1 = std::atan2(-m.at(0, 1), m.at(1, 1));
            // Row 0 of Rz(-a1) m is (cos a3, 0, sin a3).
            const float c1 = std::cos(a1);
            const float s1 = std::sin(a1);
            a3 = std::atan2(c1 * m.at(0, 2) + s1 * m.at(1, 2), c1 * m.at(0, 0) + s1 * m.at(1, 0));
        }
        break;
    case EulerAngle::ORDER_ZYX:
        a2 = std::asin(clampUnit(-m.at(2, 0)));
        if (a2 >= HALF_PI) {
            a1 = -std::atan2(m.at(0, 1), m.at(0, 2));
        } else if (a2 <= -HALF_PI) {
            a1 = std::atan2(-m.at(0, 1), -m.at(0, 2));
        } else {
            a1 = std::atan2(m.at(1, 0), m.at(0, 0));
            // Row 1 of Rz(-a1) m is (0, cos a3, -sin a3).
            const float c1 = std::cos(a1);
            const float s1 = std::sin(a1);
            a3 = std::atan2(s1 * m.at(0, 2) - c1 * m.at(1, 2), c1 * m.at(1, 1) - s1 * m.at(0, 1));
        }
        break;
    default:
        return false;
    }
    euler.angle1 = a1;
    euler.angle2 = a2;
    euler.angle3 = a3;
    return true;
}

bool Math::setEulerAngleFromMatrix4x4(EulerAngle& euler, const Matrix3x3& m3x3, float epsilon)
{
    return setEulerAngleFromMatrix3x3(euler, m3x3, epsilon);
}

bool Math::setEulerAngleFromQuaternion(EulerAngle& euler, const Quaternion& q, float epsilon)
{
    return setEulerAngleFromMatrix3x3(euler, matrixFromQuaternion(q), epsilon);
}

void Math::setQuaternionFromMatrix3x3(Quaternion& q, const Matrix3x3& m)
{
    q = quaternionFromRotation(withoutScale(m));
}

void Math::setQuaternionFromMatrix4x4(Quaternion& q, const Matrix4x4& m)
{
    const Matrix3x3 upper(m.at(0, 0), m.at(0, 1), m.at(0, 2), //
                          m.at(1, 0), m.at(1, 1), m.at(1, 2), //
                          m.at(2, 0), m.at(2, 1), m.at(2, 2));
    q = quaternionFromRotation(withoutScale(upper));
}

bool Math::setQuaternionFromEulerAngle(Quaternion& q, const EulerAngle& euler)
{
    switch (euler.order) {
    case EulerAngle::ORDER_XYZ:
        q = (quaternionX(euler.angle1) * quaternionY(euler.angle2)) * quaternionZ(euler.angle3);
        return true;
    case EulerAngle::ORDER_ZXY:
        q = (quaternionZ(euler.angle1) * quaternionX(euler.angle2)) * quaternionY(euler.angle3);
        return true;
    case EulerAngle::ORDER_ZYX:
        q = (quaternionZ(euler.angle1) * quaternionY(euler.angle2)) * quaternionX(euler.angle3);
        return true;
    default:
        return false;
    }
}

float Math::setAxisAngleFromQuaternion(Vector3& axis, const Quaternion& q, float epsilon)
{
    const float angle = 2.0f * std::acos(clampUnit(q.w));
    const float s = std::sin(angle * 0.5f);
    if (s > epsilon) {
        axis = Vector3(q.x / s, q.y / s, q.z / s);
        normalize(axis);
    } else {
        axis = X_UNIT_VECTOR3;
    }
    return angle;
}

void Math::lerp(Quaternion& result, const Quaternion& a, const Quaternion& b, float t)
{
    // Negating b (not t) keeps the end point: at t = 1 the result is b up to sign.
    const Quaternion end = dot(a, b) < 0.0f ? -b : b;
    result = a * (1.0f - t) + end * t;
}

} // namespace math
} // namespace core
} // namespace rezezaz
