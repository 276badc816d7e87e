#pragma once

// Helpers shared by the math tests: random inputs, conversion from the glm oracle and
// element-wise comparisons.

#include "core/math/Math.h"

#include <glm/glm.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace mathtest {

using namespace rezezaz::core::math;

inline Matrix4x4 fromGlm(const glm::mat4& g)
{
    Matrix4x4 m;
    std::memcpy(m.data, glm::value_ptr(g), sizeof(m.data));
    return m;
}

inline glm::mat4 toGlm(const Matrix4x4& m)
{
    return glm::make_mat4(m.data);
}

inline Matrix4x4 randomMatrix(std::mt19937& rng, float range = 10.0f)
{
    std::uniform_real_distribution<float> value(-range, range);
    Matrix4x4 m;
    for (float& f : m.data) {
        f = value(rng);
    }
    return m;
}

inline Vector4 randomVector(std::mt19937& rng, float range = 10.0f)
{
    std::uniform_real_distribution<float> value(-range, range);
    const float x = value(rng);
    const float y = value(rng);
    const float z = value(rng);
    return Vector4(x, y, z, value(rng));
}

inline bool sameBits(const Matrix4x4& a, const Matrix4x4& b)
{
    return std::memcmp(a.data, b.data, sizeof(a.data)) == 0;
}

inline bool sameBits(const Vector4& a, const Vector4& b)
{
    return std::memcmp(&a, &b, sizeof(Vector4)) == 0;
}

inline std::string describe(const Matrix4x4& m)
{
    std::string text;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            text += std::to_string(m.at(r, c)) + (c < 3 ? " " : "\n");
        }
    }
    return text;
}

// Every element within tolerance, scaled by the larger magnitude when it exceeds 1.
inline ::testing::AssertionResult near(const Matrix4x4& actual, const Matrix4x4& expected, float tolerance)
{
    for (int i = 0; i < 16; ++i) {
        const float scale =
            std::fmax(1.0f, std::fmax(std::fabs(actual.data[i]), std::fabs(expected.data[i])));
        if (!(std::fabs(actual.data[i] - expected.data[i]) <= tolerance * scale)) {
            return ::testing::AssertionFailure()
                   << "element (" << i % 4 << "," << i / 4 << ") differs:\nactual\n"
                   << describe(actual) << "expected\n"
                   << describe(expected);
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult near(const Matrix3x3& actual, const Matrix3x3& expected, float tolerance)
{
    for (int i = 0; i < 9; ++i) {
        if (!(std::fabs(actual.data[i] - expected.data[i]) <= tolerance)) {
            return ::testing::AssertionFailure() << "element (" << i % 3 << "," << i / 3 << ") is "
                                                 << actual.data[i] << ", expected " << expected.data[i];
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult near(const Vector3& actual, const Vector3& expected, float tolerance)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") is not (" << expected.x << ", "
           << expected.y << ", " << expected.z << ")";
}

inline ::testing::AssertionResult near(const Quaternion& actual, const Quaternion& expected, float tolerance)
{
    if (std::fabs(actual.x - expected.x) <= tolerance && std::fabs(actual.y - expected.y) <= tolerance &&
        std::fabs(actual.z - expected.z) <= tolerance && std::fabs(actual.w - expected.w) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ", " << actual.z << ", " << actual.w << ") is not ("
           << expected.x << ", " << expected.y << ", " << expected.z << ", " << expected.w << ")";
}

// The same rotation: q or -q.
inline ::testing::AssertionResult sameRotation(const Quaternion& actual, const Quaternion& expected,
                                               float tolerance)
{
    if (near(actual, expected, tolerance) || near(actual, -expected, tolerance)) {
        return ::testing::AssertionSuccess();
    }
    return near(actual, expected, tolerance);
}

} // namespace mathtest
