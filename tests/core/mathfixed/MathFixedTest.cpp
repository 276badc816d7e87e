// The 16.16 fixed-point value types: 1.0 is 65536, defaults and constants as in the float types.

#include "core/mathfixed/Math.h"

#include <gtest/gtest.h>

namespace {

using namespace rezezaz::core::mathfixed;

TEST(MathFixedTest, DefaultsAndConstantsUse65536AsOne)
{
    EXPECT_EQ(Quaternion(), Quaternion(0, 0, 0, 65536));
    EXPECT_EQ(Math::IDENTITY_QUATERNION, Quaternion());
    const Matrix4x4 identity;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(identity.at(r, c), r == c ? 65536 : 0);
        }
    }
    EXPECT_EQ(Math::IDENTITY_MATRIX3X3.at(2, 2), 65536);
    EXPECT_EQ(Math::ONE_VECTOR3, Vector3(65536, 65536, 65536));
    EXPECT_EQ(Math::NEG_W_UNIT_VECTOR4, Vector4(0, 0, 0, -65536));
    EXPECT_EQ(Math::ZERO_AABOX, AABox());
    EXPECT_EQ(Math::IDENTITY_EULERANGLE, EulerAngle());
}

} // namespace
