// Matrix operations: transpose, determinant, inverse, 3x3 products and the camera and
// projection matrices, with glm as the oracle where it has the same operation.

#include "MathTestSupport.h"

#include "core/math/Math.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using namespace mathtest;

constexpr float PI = 3.14159265f;

Matrix3x3 fromGlm3(const glm::mat3& g)
{
    Matrix3x3 m;
    std::memcpy(m.data, glm::value_ptr(g), sizeof(m.data));
    return m;
}

glm::mat3 toGlm3(const Matrix3x3& m)
{
    return glm::make_mat3(m.data);
}

Matrix3x3 randomMatrix3(std::mt19937& rng)
{
    std::uniform_real_distribution<float> value(-5.0f, 5.0f);
    Matrix3x3 m;
    for (float& f : m.data) {
        f = value(rng);
    }
    return m;
}

Vector4 transform(const Matrix4x4& m, const Vector3& p)
{
    Vector4 r;
    mulVector4Matrix4x4Vector4Traditional(r, m, Vector4(p.x, p.y, p.z, 1.0f));
    return r;
}

TEST(MathMatrixTest, TransposeMatchesGlmAlsoInPlace)
{
    std::mt19937 rng(10);
    const Matrix4x4 m = randomMatrix(rng);
    Matrix4x4 t;
    Math::transpose(t, m);
    EXPECT_TRUE(sameBits(t, fromGlm(glm::transpose(toGlm(m)))));
    Matrix4x4 inPlace = m;
    Math::transpose(inPlace, inPlace);
    EXPECT_TRUE(sameBits(inPlace, t));

    const Matrix3x3 m3 = randomMatrix3(rng);
    Matrix3x3 t3 = m3;
    Math::transpose(t3, t3);
    EXPECT_EQ(t3, fromGlm3(glm::transpose(toGlm3(m3))));
}

TEST(MathMatrixTest, DeterminantsMatchGlm)
{
    EXPECT_EQ(Math::determinant(Math::IDENTITY_MATRIX4X4), 1.0f);
    EXPECT_EQ(Math::determinant(Math::IDENTITY_MATRIX3X3), 1.0f);
    // Small integers: every product and sum is exact.
    const Matrix4x4 m(2, -1, 0, 3, 1, 4, -2, 0, 0, 5, 1, -1, 3, 0, 2, 1);
    EXPECT_EQ(Math::determinant(m), glm::determinant(toGlm(m)));
    const Matrix3x3 m3(2, -1, 0, 1, 4, -2, 0, 5, 1);
    EXPECT_EQ(Math::determinant(m3), glm::determinant(toGlm3(m3)));

    std::mt19937 rng(11);
    for (int i = 0; i < 20; ++i) {
        const Matrix4x4 r = randomMatrix(rng);
        const float expected = glm::determinant(toGlm(r));
        EXPECT_NEAR(Math::determinant(r), expected, 1e-4f * std::fmax(1.0f, std::fabs(expected)));
    }
}

TEST(MathMatrixTest, InverseTimesMatrixIsTheIdentity)
{
    std::mt19937 rng(12);
    for (int i = 0; i < 100; ++i) {
        // A dominant diagonal keeps the random matrices well conditioned.
        Matrix4x4 m = randomMatrix(rng, 1.0f);
        for (int d = 0; d < 4; ++d) {
            m.at(d, d) += (i % 2 ? 4.0f : -4.0f);
        }
        Matrix4x4 inverse;
        ASSERT_TRUE(Math::invert(inverse, m));
        Matrix4x4 product;
        mulMatrix4x4Traditional(product, m, inverse);
        EXPECT_TRUE(near(product, Math::IDENTITY_MATRIX4X4, 1e-5f)) << "case " << i;
        mulMatrix4x4Traditional(product, inverse, m);
        EXPECT_TRUE(near(product, Math::IDENTITY_MATRIX4X4, 1e-5f)) << "case " << i;
        EXPECT_TRUE(near(inverse, fromGlm(glm::inverse(toGlm(m))), 1e-5f)) << "case " << i;

        Matrix3x3 m3 = randomMatrix3(rng);
        for (int d = 0; d < 3; ++d) {
            m3.at(d, d) += 12.0f;
        }
        Matrix3x3 inverse3;
        ASSERT_TRUE(Math::invert(inverse3, m3));
        Matrix3x3 product3;
        Math::mul(product3, m3, inverse3);
        EXPECT_TRUE(near(product3, Math::IDENTITY_MATRIX3X3, 1e-5f)) << "case " << i;
    }
}

TEST(MathMatrixTest, InvertMayOverwriteItsInput)
{
    const Matrix4x4 m(2, -1, 0, 3, 1, 4, -2, 0, 0, 5, 1, -1, 3, 0, 2, 1);
    Matrix4x4 expected;
    ASSERT_TRUE(Math::invert(expected, m));
    Matrix4x4 inPlace = m;
    ASSERT_TRUE(Math::invert(inPlace, inPlace));
    EXPECT_TRUE(sameBits(inPlace, expected));

    const Matrix3x3 m3(2, -1, 0, 1, 4, -2, 0, 5, 1);
    Matrix3x3 expected3;
    ASSERT_TRUE(Math::invert(expected3, m3));
    Matrix3x3 inPlace3 = m3;
    ASSERT_TRUE(Math::invert(inPlace3, inPlace3));
    EXPECT_EQ(inPlace3, expected3);
}

TEST(MathMatrixTest, ExactlySingularMatrixIsRefusedAndResultKept)
{
    // Integer entries keep every step exact, so the determinant is exactly 0.
    const Matrix4x4 singular[] = {
        Matrix4x4(1, 2, 3, 4, 5, 6, 7, 8, 6, 8, 10, 12, 0, 1, 0, 1), // row 2 = row 0 + row 1
        Matrix4x4(1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 9, 1, 2, 3),   // a zero row
        Matrix4x4(1, 2, 2, 4, 5, 6, 6, 8, 9, 1, 1, 3, 4, 7, 7, 2),   // two equal columns
    };
    const Matrix4x4 sentinel = Matrix4x4(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    for (const Matrix4x4& m : singular) {
        EXPECT_EQ(Math::determinant(m), 0.0f);
        Matrix4x4 result = sentinel;
        EXPECT_FALSE(Math::invert(result, m));
        EXPECT_TRUE(sameBits(result, sentinel));
    }
    const Matrix3x3 singular3(1, 2, 3, 4, 5, 6, 5, 7, 9);
    const Matrix3x3 sentinel3(9, 9, 9, 9, 9, 9, 9, 9, 9);
    Matrix3x3 result3 = sentinel3;
    EXPECT_FALSE(Math::invert(result3, singular3));
    EXPECT_EQ(result3, sentinel3);
}

TEST(MathMatrixTest, NearlySingularMatrixIsInverted)
{
    const Matrix4x4 m(1, 0, 0, 0, 0, 1e-12f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    Matrix4x4 inverse;
    ASSERT_TRUE(Math::invert(inverse, m));
    EXPECT_FLOAT_EQ(inverse.at(1, 1), 1e12f);
    EXPECT_FLOAT_EQ(inverse.at(0, 0), 1.0f);

    const Matrix3x3 m3(1, 0, 0, 0, 1e-12f, 0, 0, 0, 1);
    Matrix3x3 inverse3;
    ASSERT_TRUE(Math::invert(inverse3, m3));
    EXPECT_FLOAT_EQ(inverse3.at(1, 1), 1e12f);
}

TEST(MathMatrixTest, Matrix3x3ProductsMatchGlmAlsoInPlace)
{
    std::mt19937 rng(13);
    const Matrix3x3 a = randomMatrix3(rng);
    const Matrix3x3 b = randomMatrix3(rng);
    Matrix3x3 ab;
    Math::mul(ab, a, b);
    EXPECT_TRUE(near(ab, fromGlm3(toGlm3(a) * toGlm3(b)), 1e-4f));
    Matrix3x3 m = a;
    Math::postMul(m, b);
    EXPECT_EQ(m, ab);
    m = b;
    Math::preMul(m, a);
    EXPECT_EQ(m, ab);
    m = a;
    Math::postMul(m, m);
    EXPECT_TRUE(near(m, fromGlm3(toGlm3(a) * toGlm3(a)), 1e-4f));
}

TEST(MathMatrixTest, ProjectionsMatchGlm)
{
    struct Case
    {
        float left, right, bottom, top, near, far;
    };
    const Case cases[] = {
        {-1, 1, -1, 1, 1, 100},
        {-2, 3, -0.5f, 1.5f, 0.1f, 10},
        {0, 640, 480, 0, -1, 1},
    };
    for (const Case& c : cases) {
        Matrix4x4 m;
        Math::setMatrix4x4FromOrtho(m, c.left, c.right, c.bottom, c.top, c.near, c.far);
        EXPECT_TRUE(near(m, fromGlm(glm::ortho(c.left, c.right, c.bottom, c.top, c.near, c.far)), 1e-6f));
        if (c.near > 0) {
            Math::setMatrix4x4FromFrustum(m, c.left, c.right, c.bottom, c.top, c.near, c.far);
            EXPECT_TRUE(
                near(m, fromGlm(glm::frustum(c.left, c.right, c.bottom, c.top, c.near, c.far)), 1e-6f));
        }
    }
    struct PerspectiveCase
    {
        float fovy, aspect, near, far;
    };
    const PerspectiveCase perspectives[] = {
        {PI / 2, 1, 1, 3}, {1.0f, 16.0f / 9.0f, 0.1f, 1000}, {0.3f, 0.5f, 2, 5}};
    for (const PerspectiveCase& c : perspectives) {
        Matrix4x4 m;
        Math::setMatrix4x4FromPerspectiveY(m, c.fovy, c.aspect, c.near, c.far);
        EXPECT_TRUE(near(m, fromGlm(glm::perspective(c.fovy, c.aspect, c.near, c.far)), 1e-6f));
    }
}

TEST(MathMatrixTest, PerspectiveValues)
{
    Matrix4x4 m(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    Math::setMatrix4x4FromPerspectiveY(m, PI / 2, 1, 1, 3);
    EXPECT_TRUE(near(m, Matrix4x4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -2, -3, 0, 0, -1, 0), 1e-6f));

    // Horizontal field of view: the aspect divides the vertical scale.
    Math::setMatrix4x4FromPerspectiveX(m, PI / 2, 2, 1, 3);
    EXPECT_TRUE(near(m, Matrix4x4(1, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, -2, -3, 0, 0, -1, 0), 1e-6f));
    Math::setMatrix4x4FromPerspectiveY(m, PI / 2, 2, 1, 3);
    EXPECT_TRUE(near(m, Matrix4x4(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, -2, -3, 0, 0, -1, 0), 1e-6f));

    // Near and far planes land on depth -1 and +1.
    Math::setMatrix4x4FromFrustum(m, -1, 2, -1, 1, 0.5f, 20);
    const Vector4 nearPoint = transform(m, Vector3(0, 0, -0.5f));
    const Vector4 farPoint = transform(m, Vector3(0, 0, -20));
    EXPECT_NEAR(nearPoint.z / nearPoint.w, -1.0f, 1e-6f);
    EXPECT_NEAR(farPoint.z / farPoint.w, 1.0f, 1e-5f);
}

TEST(MathMatrixTest, LookAtMatchesGlmAndCameraIsItsInverse)
{
    struct Case
    {
        Vector3 eye, point, up;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, -1}, {0, 1, 0}},
        {{1, 2, 3}, {-2, 0.5f, 1}, {0, 1, 0}},
        {{-4, 1, 7}, {3, 3, 3}, {0.2f, 0.9f, -0.1f}},
    };
    for (const Case& c : cases) {
        Matrix4x4 view;
        Math::setMatrix4x4FromLookAt(view, c.eye, c.point, c.up, false);
        const glm::mat4 expected =
            glm::lookAt(glm::vec3(c.eye.x, c.eye.y, c.eye.z), glm::vec3(c.point.x, c.point.y, c.point.z),
                        glm::vec3(c.up.x, c.up.y, c.up.z));
        EXPECT_TRUE(near(view, fromGlm(expected), 1e-6f));

        Matrix4x4 camera;
        Math::setMatrix4x4FromLookAt(camera, c.eye, c.point, c.up, true);
        Matrix4x4 product;
        mulMatrix4x4Traditional(product, view, camera);
        EXPECT_TRUE(near(product, Math::IDENTITY_MATRIX4X4, 1e-5f));
    }
}

TEST(MathMatrixTest, LookDirWritesOnlyTheUpperRowsAndSurvivesZeroVectors)
{
    for (bool camera : {false, true}) {
        SCOPED_TRACE(camera ? "camera" : "view");
        Matrix4x4 m(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 5, 6, 7, 8);
        Math::setMatrix4x4FromLookDir(m, Vector3(0, 0, 0), Vector3(0, 0, -1), Vector3(0, 1, 0), camera);
        EXPECT_EQ(m, Matrix4x4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 8));

        // A zero direction or an up along the direction gives zeros, never NaN.
        Math::setMatrix4x4FromLookDir(m, Vector3(1, 2, 3), Vector3(0, 0, 0), Vector3(0, 1, 0), camera);
        for (float f : m.data) {
            EXPECT_FALSE(std::isnan(f));
        }
        Math::setMatrix4x4FromLookDir(m, Vector3(1, 2, 3), Vector3(0, 2, 0), Vector3(0, 1, 0), camera);
        for (float f : m.data) {
            EXPECT_FALSE(std::isnan(f));
        }
    }
}

// A projected point lies on the plane; obliquely it moved along dir, in perspective it lies on
// the line from the centre of projection through the original point.
TEST(MathMatrixTest, PlaneProjectionsLandOnThePlane)
{
    const Plane planes[] = {
        Plane(Vector3(0, 1, 0), 0),
        Plane(Vector3(0.6f, 0, 0.8f), 2),
        Plane(Vector3(0, 0, -1), -1.5f),
    };
    const Vector3 points[] = {Vector3(1, 2, 3), Vector3(-4, 0.5f, 2), Vector3(0.25f, -3, -1)};
    const Vector3 dir(0.3f, -1, 0.2f);
    const Vector3 centre(-2, 6, 5);
    for (const Plane& plane : planes) {
        Matrix4x4 oblique;
        Math::setMatrix4x4FromObliquePlane(oblique, plane, dir);
        Matrix4x4 perspective;
        Math::setMatrix4x4FromPerspectivePlane(perspective, plane, centre);
        for (const Vector3& p : points) {
            Vector4 h = transform(oblique, p);
            Vector3 q(h.x / h.w, h.y / h.w, h.z / h.w);
            EXPECT_NEAR(Math::dot(plane.normal, q), plane.distance, 1e-4f);
            EXPECT_TRUE(near(Math::cross(q - p, dir), Vector3(), 1e-4f));

            h = transform(perspective, p);
            q = Vector3(h.x / h.w, h.y / h.w, h.z / h.w);
            EXPECT_NEAR(Math::dot(plane.normal, q), plane.distance, 1e-4f);
            EXPECT_TRUE(near(Math::cross(q - centre, p - centre), Vector3(), 1e-3f));
        }
    }
}

} // namespace
