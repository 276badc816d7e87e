// Rotations: quaternion products, Euler angles in all three orders (including the poles),
// matrix to quaternion in each of its branches, axis-angle, lerp and slerp.

#include "MathTestSupport.h"

#include "core/math/Math.h"

#include <glm/gtc/quaternion.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using namespace mathtest;

constexpr float PI = 3.14159265f;
constexpr float HALF_PI = 1.5707964f;

Quaternion axisAngle(Vector3 axis, float angle)
{
    Math::normalize(axis);
    const float s = std::sin(angle / 2);
    return Quaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2));
}

Matrix3x3 matrixOf(const Quaternion& q)
{
    const Vector3 x = q * Vector3(1, 0, 0);
    const Vector3 y = q * Vector3(0, 1, 0);
    const Vector3 z = q * Vector3(0, 0, 1);
    return Matrix3x3(x.x, y.x, z.x, x.y, y.y, z.y, x.z, y.z, z.z);
}

std::string describe(const EulerAngle& e)
{
    return "order " + std::to_string(e.order) + " (" + std::to_string(e.angle1) + ", " +
           std::to_string(e.angle2) + ", " + std::to_string(e.angle3) + ")";
}

TEST(MathRotationTest, QuaternionProductAndRotationMatchGlm)
{
    const Quaternion a = axisAngle(Vector3(1, 2, 3), 0.7f);
    const Quaternion b = axisAngle(Vector3(-2, 0.5f, 1), 2.1f);
    const glm::quat ga(a.w, a.x, a.y, a.z);
    const glm::quat gb(b.w, b.x, b.y, b.z);
    const glm::quat gab = ga * gb;
    EXPECT_TRUE(near(a * b, Quaternion(gab.x, gab.y, gab.z, gab.w), 1e-6f));
    Quaternion c = a;
    c *= b;
    EXPECT_EQ(c, a * b);

    const Vector3 v(0.5f, -2, 3);
    const glm::vec3 gv = ga * glm::vec3(v.x, v.y, v.z);
    EXPECT_TRUE(near(a * v, Vector3(gv.x, gv.y, gv.z), 1e-5f));
    // a * b applies b first.
    EXPECT_TRUE(near((a * b) * v, a * (b * v), 1e-5f));
}

// Every Euler angle gives a matrix that converts back to angles giving the same matrix, and
// away from the poles to the same angles. At the poles only a1 + a3 (or a1 - a3) is
// determined; with a3 = 0 the angles themselves come back.
TEST(MathRotationTest, EulerRoundTripsInEveryOrderIncludingThePoles)
{
    struct Case
    {
        EulerAngle euler;
        bool anglesComeBack;
    };
    std::vector<Case> cases;
    for (int32_t order : {EulerAngle::ORDER_XYZ, EulerAngle::ORDER_ZXY, EulerAngle::ORDER_ZYX}) {
        cases.push_back({EulerAngle(order, 0.3f, -0.4f, 1.1f), true});
        cases.push_back({EulerAngle(order, -2.5f, 1.2f, -0.2f), true});
        cases.push_back({EulerAngle(order, 0.0f, 0.0f, 0.0f), true});
        cases.push_back({EulerAngle(order, 0.7f, HALF_PI, 0.0f), true});
        cases.push_back({EulerAngle(order, -1.9f, HALF_PI, 0.0f), true});
        cases.push_back({EulerAngle(order, 0.7f, -HALF_PI, 0.0f), true});
        cases.push_back({EulerAngle(order, 2.8f, -HALF_PI, 0.0f), true});
        cases.push_back({EulerAngle(order, 0.7f, HALF_PI, 0.4f), false});
        cases.push_back({EulerAngle(order, 0.7f, -HALF_PI, -0.9f), false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.euler));
        Matrix3x3 m;
        ASSERT_TRUE(Math::setMatrix3x3FromEulerAngle(m, c.euler, 0.0f));
        EulerAngle back(c.euler.order, 9, 9, 9);
        ASSERT_TRUE(Math::setEulerAngleFromMatrix3x3(back, m, 0.0f));
        EXPECT_EQ(back.order, c.euler.order);
        Matrix3x3 again;
        ASSERT_TRUE(Math::setMatrix3x3FromEulerAngle(again, back, 0.0f));
        EXPECT_TRUE(near(again, m, 1e-6f)) << "back: " << describe(back);
        if (c.anglesComeBack) {
            EXPECT_NEAR(back.angle1, c.euler.angle1, 1e-5f);
            EXPECT_NEAR(back.angle2, c.euler.angle2, 1e-5f);
            EXPECT_NEAR(back.angle3, c.euler.angle3, 1e-5f);
        }

        // The quaternion of the same angles is the same rotation and gives the angles back.
        Quaternion q;
        ASSERT_TRUE(Math::setQuaternionFromEulerAngle(q, c.euler));
        EXPECT_TRUE(near(matrixOf(q), m, 1e-5f));
        EulerAngle fromQ(c.euler.order, 9, 9, 9);
        ASSERT_TRUE(Math::setEulerAngleFromQuaternion(fromQ, q, 0.0f));
        ASSERT_TRUE(Math::setMatrix3x3FromEulerAngle(again, fromQ, 0.0f));
        // Near a pole the quaternion's matrix puts the sine one or two steps below 1, and
        // asinf there lands up to 5e-4 short of pi/2: the bound is that step, not the formula.
        EXPECT_TRUE(near(again, m, 1e-3f)) << "from quaternion: " << describe(fromQ);
    }
}

TEST(MathRotationTest, EulerOrderXYZAtThePoleTakesThePoleBranch)
{
    Matrix3x3 m;
    ASSERT_TRUE(Math::setMatrix3x3FromEulerAngle(m, EulerAngle(EulerAngle::ORDER_XYZ, 0, HALF_PI, 0), 0.0f));
    EXPECT_EQ(m.at(0, 2), 1.0f);
    EulerAngle back(EulerAngle::ORDER_XYZ, 9, 9, 9);
    ASSERT_TRUE(Math::setEulerAngleFromMatrix3x3(back, m, 0.0f));
    EXPECT_EQ(back.angle2, HALF_PI);
    EXPECT_EQ(back.angle3, 0.0f);

    // Rounding may carry the sine past 1: the angle is still the pole, not NaN.
    m.at(0, 2) = 1.0000001f;
    ASSERT_TRUE(Math::setEulerAngleFromMatrix3x3(back, m, 0.0f));
    EXPECT_EQ(back.angle2, HALF_PI);
}

TEST(MathRotationTest, Matrix4x4FormsUseTheUpperThreeByThree)
{
    const EulerAngle euler(EulerAngle::ORDER_ZYX, 0.4f, -0.3f, 1.3f);
    Matrix4x4 m(9, 9, 9, 5, 9, 9, 9, 6, 9, 9, 9, 7, 1, 2, 3, 4);
    ASSERT_TRUE(Math::setMatrix4x4FromEulerAngle(m, euler, 0.0f));
    Matrix3x3 m3;
    ASSERT_TRUE(Math::setMatrix3x3FromEulerAngle(m3, euler, 0.0f));
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float expected = (r < 3 && c < 3)
                                       ? m3.at(r, c)
                                       : Matrix4x4(0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0, 7, 1, 2, 3, 4).at(r, c);
            EXPECT_EQ(m.at(r, c), expected) << r << "," << c;
        }
    }
    EulerAngle back(EulerAngle::ORDER_ZYX, 0, 0, 0);
    ASSERT_TRUE(Math::setEulerAngleFromMatrix4x4(back, m3, 0.0f));
    EXPECT_NEAR(back.angle3, 1.3f, 1e-5f);
}

TEST(MathRotationTest, UnknownEulerOrderIsRefusedAndNothingWritten)
{
    for (int32_t order : {3, -1, 100}) {
        SCOPED_TRACE(order);
        const EulerAngle euler(order, 0.1f, 0.2f, 0.3f);
        Matrix3x3 m3(9, 9, 9, 9, 9, 9, 9, 9, 9);
        EXPECT_FALSE(Math::setMatrix3x3FromEulerAngle(m3, euler, 0.0f));
        EXPECT_EQ(m3, Matrix3x3(9, 9, 9, 9, 9, 9, 9, 9, 9));
        Matrix4x4 m4(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
        EXPECT_FALSE(Math::setMatrix4x4FromEulerAngle(m4, euler, 0.0f));
        EXPECT_EQ(m4, Matrix4x4(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9));
        Quaternion q(9, 9, 9, 9);
        EXPECT_FALSE(Math::setQuaternionFromEulerAngle(q, euler));
        EXPECT_EQ(q, Quaternion(9, 9, 9, 9));
        EulerAngle back = euler;
        EXPECT_FALSE(Math::setEulerAngleFromMatrix3x3(back, Math::IDENTITY_MATRIX3X3, 0.0f));
        EXPECT_FALSE(Math::setEulerAngleFromQuaternion(back, Math::IDENTITY_QUATERNION, 0.0f));
        EXPECT_EQ(back, euler);
    }
}

// Rotations chosen so that each branch of the conversion runs: positive trace, and a
// negative trace with the largest diagonal element on x, y and z. The columns carry a scale,
// which the conversion removes.
TEST(MathRotationTest, QuaternionFromMatrixInEveryBranch)
{
    struct Case
    {
        const char* branch;
        Quaternion rotation;
    };
    const Case cases[] = {
        {"trace", axisAngle(Vector3(1, 2, 3), 0.8f)},
        {"x", axisAngle(Vector3(1, 0, 0), PI)},
        {"y", axisAngle(Vector3(0, 1, 0), PI)},
        {"z", axisAngle(Vector3(0, 0, 1), PI)},
        {"x tilted", axisAngle(Vector3(1, 0.2f, -0.3f), 2.9f)},
        {"y tilted", axisAngle(Vector3(-0.3f, 1, 0.1f), 3.0f)},
        {"z tilted", axisAngle(Vector3(0.2f, 0.3f, -1), 2.8f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.branch);
        const Matrix3x3 rotation = matrixOf(c.rotation);
        Matrix3x3 scaled = rotation;
        const float scale[3] = {3.0f, 0.5f, 2.0f};
        for (int col = 0; col < 3; ++col) {
            for (int r = 0; r < 3; ++r) {
                scaled.at(r, col) *= scale[col];
            }
        }
        Quaternion q;
        Math::setQuaternionFromMatrix3x3(q, scaled);
        EXPECT_TRUE(sameRotation(q, c.rotation, 1e-5f));

        Matrix4x4 m4;
        for (int col = 0; col < 3; ++col) {
            for (int r = 0; r < 3; ++r) {
                m4.at(r, col) = scaled.at(r, col);
            }
        }
        m4.at(0, 3) = 7;
        m4.at(1, 3) = -8;
        Quaternion q4;
        Math::setQuaternionFromMatrix4x4(q4, m4);
        EXPECT_EQ(q4, q);

        const glm::quat expected = glm::quat_cast(glm::make_mat3(rotation.data));
        EXPECT_TRUE(sameRotation(q, Quaternion(expected.x, expected.y, expected.z, expected.w), 1e-5f));
    }
}

TEST(MathRotationTest, AxisAngleFromQuaternion)
{
    Vector3 axis;
    EXPECT_NEAR(Math::setAxisAngleFromQuaternion(axis, axisAngle(Vector3(0, 3, 4), 1.2f), 1e-6f), 1.2f,
                1e-6f);
    EXPECT_TRUE(near(axis, Vector3(0, 0.6f, 0.8f), 1e-6f));

    axis = Vector3(5, 5, 5);
    EXPECT_EQ(Math::setAxisAngleFromQuaternion(axis, Math::IDENTITY_QUATERNION, 1e-6f), 0.0f);
    EXPECT_EQ(axis, Math::X_UNIT_VECTOR3);

    // A scalar part rounded past 1 means no rotation, not NaN.
    EXPECT_EQ(Math::setAxisAngleFromQuaternion(axis, Quaternion(0, 0, 0, 1.0000001f), 1e-6f), 0.0f);
    EXPECT_EQ(axis, Math::X_UNIT_VECTOR3);
}

// The end points must come back (b up to sign) whichever sign a . b has; negating t instead of
// b would give 2a - b at t = 1.
TEST(MathRotationTest, LerpKeepsItsEndPointsAndTakesTheShortWay)
{
    const Quaternion a = axisAngle(Vector3(0, 0, 1), 0.2f);
    const Quaternion b = axisAngle(Vector3(0, 1, 1), 1.0f);
    for (const Quaternion& end : {b, -b}) {
        SCOPED_TRACE(Math::dot(a, end) < 0 ? "negative dot" : "positive dot");
        Quaternion r;
        Math::lerp(r, a, end, 0.0f);
        EXPECT_TRUE(near(r, a, 1e-6f));
        Math::lerp(r, a, end, 1.0f);
        EXPECT_TRUE(near(r, b, 1e-6f));
        Math::lerp(r, a, end, 0.5f);
        EXPECT_TRUE(near(r, (a + b) * 0.5f, 1e-6f));
    }
}

TEST(MathRotationTest, SlerpFollowsTheShortArc)
{
    const Quaternion q = axisAngle(Vector3(1, -2, 0.5f), 0.9f);
    const Quaternion quarter = axisAngle(Vector3(0, 0, 1), PI / 2);
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        SCOPED_TRACE(t);
        Quaternion r;
        Math::slerp(r, q, q, t);
        EXPECT_TRUE(near(r, q, 1e-6f));
        Math::slerp(r, q, -q, t);
        EXPECT_TRUE(near(r, q, 1e-6f));

        const Quaternion expected = axisAngle(Vector3(0, 0, 1), t * PI / 2);
        Math::slerp(r, Math::IDENTITY_QUATERNION, quarter, t);
        EXPECT_TRUE(near(r, expected, 1e-6f));
        Math::slerp(r, Math::IDENTITY_QUATERNION, -quarter, t);
        EXPECT_TRUE(near(r, expected, 1e-6f));

        const glm::quat g =
            glm::slerp(glm::quat(1, 0, 0, 0), glm::quat(quarter.w, quarter.x, quarter.y, quarter.z), t);
        EXPECT_TRUE(near(r, Quaternion(g.x, g.y, g.z, g.w), 1e-6f));
    }
}

TEST(MathRotationTest, DefaultsAndConstants)
{
    EXPECT_EQ(Quaternion(), Math::IDENTITY_QUATERNION);
    EXPECT_EQ(Matrix4x4(), Matrix4x4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
    EXPECT_EQ(Matrix3x3(), Matrix3x3(1, 0, 0, 0, 1, 0, 0, 0, 1));
    EXPECT_EQ(EulerAngle(), Math::IDENTITY_EULERANGLE);
    EXPECT_EQ(Vector4(), Math::ZERO_VECTOR4);
    EXPECT_EQ(AABox(), Math::ZERO_AABOX);
    // Element (row 0, column 3) is the x translation, stored at index 12.
    EXPECT_EQ(Matrix4x4(1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1).data[12], 5.0f);
    EXPECT_EQ(Matrix3x3(1, 2, 3, 4, 5, 6, 7, 8, 9).data[1], 4.0f);
}

} // namespace
