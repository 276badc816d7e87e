// The 4x4 product kernels: identities, in-place forms, agreement with glm, and the Traditional
// and SSE implementations giving bit-identical results, also when result and operand alias.

#include "MathTestSupport.h"

#include "core/math/Math.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace mathtest;

struct KernelSet
{
    const char* name;
    MulMatrix4x4Function mul;
    PostMulMatrix4x4Function postMul;
    PreMulMatrix4x4Function preMul;
    MulVector4Matrix4x4Vector4Function mulVector;
    MulVector4Matrix4x4Function mulVectorInPlace;
};

const KernelSet kernelSets[] = {
    {"Traditional", mulMatrix4x4Traditional, postMulMatrix4x4Traditional, preMulMatrix4x4Traditional,
     mulVector4Matrix4x4Vector4Traditional, mulVector4Matrix4x4Traditional},
    {"SSE", mulMatrix4x4SSE, postMulMatrix4x4SSE, preMulMatrix4x4SSE, mulVector4Matrix4x4Vector4SSE,
     mulVector4Matrix4x4SSE},
};

TEST(MathKernelTest, IdentityLeavesTheOtherFactorExactly)
{
    std::mt19937 rng(1);
    for (const KernelSet& k : kernelSets) {
        SCOPED_TRACE(k.name);
        const Matrix4x4 m = randomMatrix(rng);
        Matrix4x4 r;
        k.mul(r, Math::IDENTITY_MATRIX4X4, m);
        EXPECT_TRUE(sameBits(r, m));
        k.mul(r, m, Math::IDENTITY_MATRIX4X4);
        EXPECT_TRUE(sameBits(r, m));
        const Vector4 v = randomVector(rng);
        Vector4 rv;
        k.mulVector(rv, Math::IDENTITY_MATRIX4X4, v);
        EXPECT_TRUE(sameBits(rv, v));
    }
}

TEST(MathKernelTest, ProductsMatchGlm)
{
    std::mt19937 rng(2);
    for (const KernelSet& k : kernelSets) {
        SCOPED_TRACE(k.name);
        for (int i = 0; i < 50; ++i) {
            const Matrix4x4 a = randomMatrix(rng);
            const Matrix4x4 b = randomMatrix(rng);
            Matrix4x4 r;
            k.mul(r, a, b);
            EXPECT_TRUE(near(r, fromGlm(toGlm(a) * toGlm(b)), 1e-5f));

            const Vector4 v = randomVector(rng);
            Vector4 rv;
            k.mulVector(rv, a, v);
            const glm::vec4 expected = toGlm(a) * glm::vec4(v.x, v.y, v.z, v.w);
            EXPECT_NEAR(rv.x, expected.x, 1e-3f);
            EXPECT_NEAR(rv.y, expected.y, 1e-3f);
            EXPECT_NEAR(rv.z, expected.z, 1e-3f);
            EXPECT_NEAR(rv.w, expected.w, 1e-3f);
        }
    }
}

// The in-place forms and every aliasing of result and operand give what the out-of-place
// product into a fresh matrix gives.
TEST(MathKernelTest, InPlaceAndAliasedFormsEqualTheProduct)
{
    std::mt19937 rng(3);
    for (const KernelSet& k : kernelSets) {
        SCOPED_TRACE(k.name);
        const Matrix4x4 a = randomMatrix(rng);
        const Matrix4x4 b = randomMatrix(rng);
        Matrix4x4 ab;
        k.mul(ab, a, b);
        Matrix4x4 aa;
        k.mul(aa, a, a);

        Matrix4x4 m = a;
        k.postMul(m, b);
        EXPECT_TRUE(sameBits(m, ab)) << "postMul";
        m = b;
        k.preMul(m, a);
        EXPECT_TRUE(sameBits(m, ab)) << "preMul";
        m = a;
        k.postMul(m, m);
        EXPECT_TRUE(sameBits(m, aa)) << "postMul(m, m)";
        m = a;
        k.preMul(m, m);
        EXPECT_TRUE(sameBits(m, aa)) << "preMul(m, m)";
        m = a;
        k.mul(m, m, b);
        EXPECT_TRUE(sameBits(m, ab)) << "mul(a, a, b)";
        m = b;
        k.mul(m, a, m);
        EXPECT_TRUE(sameBits(m, ab)) << "mul(b, a, b)";
        m = a;
        k.mul(m, m, m);
        EXPECT_TRUE(sameBits(m, aa)) << "mul(a, a, a)";

        const Vector4 v = randomVector(rng);
        Vector4 av;
        k.mulVector(av, a, v);
        Vector4 w = v;
        k.mulVectorInPlace(w, a);
        EXPECT_TRUE(sameBits(w, av)) << "in-place vector";
        w = v;
        k.mulVector(w, a, w);
        EXPECT_TRUE(sameBits(w, av)) << "mul(v, m, v)";
    }
}

TEST(MathKernelTest, SSEGivesTheSameBitsAsTraditional)
{
    std::mt19937 rng(4);
    const KernelSet& t = kernelSets[0];
    const KernelSet& s = kernelSets[1];
    for (int i = 0; i < 2000; ++i) {
        // Mixed magnitudes make rounding depend on the order of the sums.
        const float range = (i % 3 == 0) ? 1e6f : (i % 3 == 1 ? 1.0f : 1e-3f);
        const Matrix4x4 a = randomMatrix(rng, range);
        const Matrix4x4 b = randomMatrix(rng, 1.0f);
        const Vector4 v = randomVector(rng, range);

        Matrix4x4 rt;
        Matrix4x4 rs;
        t.mul(rt, a, b);
        s.mul(rs, a, b);
        ASSERT_TRUE(sameBits(rt, rs)) << "mul, case " << i;

        rt = a;
        rs = a;
        t.postMul(rt, b);
        s.postMul(rs, b);
        ASSERT_TRUE(sameBits(rt, rs)) << "postMul, case " << i;

        rt = b;
        rs = b;
        t.preMul(rt, a);
        s.preMul(rs, a);
        ASSERT_TRUE(sameBits(rt, rs)) << "preMul, case " << i;

        rt = a;
        rs = a;
        t.mul(rt, rt, rt);
        s.mul(rs, rs, rs);
        ASSERT_TRUE(sameBits(rt, rs)) << "mul(m, m, m), case " << i;

        Vector4 vt;
        Vector4 vs;
        t.mulVector(vt, a, v);
        s.mulVector(vs, a, v);
        ASSERT_TRUE(sameBits(vt, vs)) << "vector, case " << i;

        vt = v;
        vs = v;
        t.mulVectorInPlace(vt, a);
        s.mulVectorInPlace(vs, a);
        ASSERT_TRUE(sameBits(vt, vs)) << "in-place vector, case " << i;
    }
}

} // namespace
