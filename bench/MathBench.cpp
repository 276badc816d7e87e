// The math hot paths beside glm and Eigen on the same inputs: 4x4 products (our Traditional
// and SSE kernels), the matrix-vector product, the quaternion product, slerp and the 4x4
// inverse. Each benchmark runs over the same arrays of inputs; items processed are operations.
// Before anything is timed, every variant's results over all the inputs are compared with glm's,
// so that a fast wrong kernel reports an error instead of a time.

#include "core/math/Math.h"

#include <Eigen/Dense>
#include <Eigen/Geometry>
#include <benchmark/benchmark.h>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace rezezaz::core::math;

constexpr int COUNT = 256;

// One set of inputs in each library's own types, holding the same numbers.
struct Inputs
{
    std::vector<Matrix4x4> a, b;
    std::vector<Vector4> v;
    std::vector<Quaternion> p, q;

    std::vector<glm::mat4> glmA, glmB;
    std::vector<glm::vec4> glmV;
    std::vector<glm::quat> glmP, glmQ;

    std::vector<Eigen::Matrix4f, Eigen::aligned_allocator<Eigen::Matrix4f>> eigenA, eigenB;
    std::vector<Eigen::Vector4f, Eigen::aligned_allocator<Eigen::Vector4f>> eigenV;
    std::vector<Eigen::Quaternionf, Eigen::aligned_allocator<Eigen::Quaternionf>> eigenP, eigenQ;

    Inputs()
    {
        std::mt19937 rng(42);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (int i = 0; i < COUNT; ++i) {
            Matrix4x4 ma;
            Matrix4x4 mb;
            for (int k = 0; k < 16; ++k) {
                ma.data[k] = value(rng);
                mb.data[k] = value(rng);
            }
            // A dominant diagonal keeps every matrix invertible.
            for (int d = 0; d < 4; ++d) {
                ma.at(d, d) += 4.0f;
            }
            const Vector4 vv(value(rng), value(rng), value(rng), 1.0f);
            Quaternion qp(value(rng), value(rng), value(rng), value(rng));
            Quaternion qq(value(rng), value(rng), value(rng), value(rng));
            Math::normalize(qp);
            Math::normalize(qq);
            a.push_back(ma);
            b.push_back(mb);
            v.push_back(vv);
            p.push_back(qp);
            q.push_back(qq);

            glmA.push_back(glm::make_mat4(ma.data));
            glmB.push_back(glm::make_mat4(mb.data));
            glmV.push_back(glm::vec4(vv.x, vv.y, vv.z, vv.w));
            glmP.push_back(glm::quat(qp.w, qp.x, qp.y, qp.z));
            glmQ.push_back(glm::quat(qq.w, qq.x, qq.y, qq.z));

            eigenA.push_back(Eigen::Map<const Eigen::Matrix4f>(ma.data));
            eigenB.push_back(Eigen::Map<const Eigen::Matrix4f>(mb.data));
            eigenV.push_back(Eigen::Vector4f(vv.x, vv.y, vv.z, vv.w));
            eigenP.push_back(Eigen::Quaternionf(qp.w, qp.x, qp.y, qp.z));
            eigenQ.push_back(Eigen::Quaternionf(qq.w, qq.x, qq.y, qq.z));
        }
    }
};

const Inputs& inputs()
{
    static const Inputs instance;
    return instance;
}

// Raw pointers to the inputs, copied into each operation so that an out-of-line call cannot
// force them to be reloaded (the inlined glm and Eigen code keeps them in registers anyway).
struct Pointers
{
    const Matrix4x4* a;
    const Matrix4x4* b;
    const Vector4* v;
    const Quaternion* p;
    const Quaternion* q;
    const glm::mat4* glmA;
    const glm::mat4* glmB;
    const glm::vec4* glmV;
    const glm::quat* glmP;
    const glm::quat* glmQ;
    const Eigen::Matrix4f* eigenA;
    const Eigen::Matrix4f* eigenB;
    const Eigen::Vector4f* eigenV;
    const Eigen::Quaternionf* eigenP;
    const Eigen::Quaternionf* eigenQ;
};

Pointers pointers()
{
    const Inputs& in = inputs();
    return Pointers{in.a.data(),      in.b.data(),      in.v.data(),      in.p.data(),      in.q.data(),
                    in.glmA.data(),   in.glmB.data(),   in.glmV.data(),   in.glmP.data(),   in.glmQ.data(),
                    in.eigenA.data(), in.eigenB.data(), in.eigenV.data(), in.eigenP.data(), in.eigenQ.data()};
}

// The operation a benchmark times, for its check against glm.
enum class Operation
{
    MatrixProduct,
    MatrixVector,
    QuaternionProduct,
    Slerp,
    Inverse
};

std::vector<float> floats(const Matrix4x4& m)
{
    return std::vector<float>(m.data, m.data + 16);
}
std::vector<float> floats(const glm::mat4& m)
{
    return std::vector<float>(glm::value_ptr(m), glm::value_ptr(m) + 16);
}
std::vector<float> floats(const Eigen::Matrix4f& m)
{
    return std::vector<float>(m.data(), m.data() + 16);
}
std::vector<float> floats(const Vector4& v)
{
    return {v.x, v.y, v.z, v.w};
}
std::vector<float> floats(const glm::vec4& v)
{
    return {v.x, v.y, v.z, v.w};
}
std::vector<float> floats(const Eigen::Vector4f& v)
{
    return {v.x(), v.y(), v.z(), v.w()};
}
std::vector<float> floats(const Quaternion& q)
{
    return {q.x, q.y, q.z, q.w};
}
std::vector<float> floats(const glm::quat& q)
{
    return {q.x, q.y, q.z, q.w};
}
std::vector<float> floats(const Eigen::Quaternionf& q)
{
    return {q.x(), q.y(), q.z(), q.w()};
}

// glm's result for input i, the reference every variant is held to.
std::vector<float> reference(Operation operation, int i)
{
    const Inputs& in = inputs();
    switch (operation) {
    case Operation::MatrixProduct:
        return floats(glm::mat4(in.glmA[i] * in.glmB[i]));
    case Operation::MatrixVector:
        return floats(glm::vec4(in.glmA[i] * in.glmV[i]));
    case Operation::QuaternionProduct:
        return floats(glm::quat(in.glmP[i] * in.glmQ[i]));
    case Operation::Slerp:
        return floats(glm::slerp(in.glmP[i], in.glmQ[i], 0.3f));
    case Operation::Inverse:
        return floats(glm::inverse(in.glmA[i]));
    }
    return {};
}

// Float rounding differs between libraries (sums in another order, one division against a
// reciprocal): a relative tolerance well below any real error.
bool agrees(const std::vector<float>& got, const std::vector<float>& expected)
{
    if (got.size() != expected.size()) {
        return false;
    }
    for (std::size_t k = 0; k < got.size(); ++k) {
        const float scale = std::max(1.0f, std::fabs(expected[k]));
        if (!(std::fabs(got[k] - expected[k]) <= 1e-5f * scale)) {
            return false;
        }
    }
    return true;
}

template <typename Result, typename Kernel>
void run(benchmark::State& state, Operation operation, Kernel kernel)
{
    std::vector<Result, Eigen::aligned_allocator<Result>> results(COUNT);
    Result* out = results.data();
    for (int i = 0; i < COUNT; ++i) {
        kernel(out[i], i);
        if (!agrees(floats(out[i]), reference(operation, i))) {
            state.SkipWithError(("result " + std::to_string(i) + " differs from glm's").c_str());
            return;
        }
    }
    for (auto _ : state) {
        for (int i = 0; i < COUNT; ++i) {
            kernel(out[i], i);
        }
        benchmark::DoNotOptimize(results.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * COUNT);
}

// Matrix4x4 x Matrix4x4

void Mat4Mul_Traditional(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Matrix4x4>(state, Operation::MatrixProduct,
                   [in](Matrix4x4& r, int i) { mulMatrix4x4Traditional(r, in.a[i], in.b[i]); });
}

void Mat4Mul_SSE(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Matrix4x4>(state, Operation::MatrixProduct,
                   [in](Matrix4x4& r, int i) { mulMatrix4x4SSE(r, in.a[i], in.b[i]); });
}

void Mat4Mul_Glm(benchmark::State& state)
{
    const Pointers in = pointers();
    run<glm::mat4>(state, Operation::MatrixProduct,
                   [in](glm::mat4& r, int i) { r = in.glmA[i] * in.glmB[i]; });
}

void Mat4Mul_Eigen(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Eigen::Matrix4f>(state, Operation::MatrixProduct,
                         [in](Eigen::Matrix4f& r, int i) { r.noalias() = in.eigenA[i] * in.eigenB[i]; });
}

// Matrix4x4 x Vector4

void Mat4Vec4_Traditional(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Vector4>(state, Operation::MatrixVector,
                 [in](Vector4& r, int i) { mulVector4Matrix4x4Vector4Traditional(r, in.a[i], in.v[i]); });
}

void Mat4Vec4_SSE(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Vector4>(state, Operation::MatrixVector,
                 [in](Vector4& r, int i) { mulVector4Matrix4x4Vector4SSE(r, in.a[i], in.v[i]); });
}

void Mat4Vec4_Glm(benchmark::State& state)
{
    const Pointers in = pointers();
    run<glm::vec4>(state, Operation::MatrixVector,
                   [in](glm::vec4& r, int i) { r = in.glmA[i] * in.glmV[i]; });
}

void Mat4Vec4_Eigen(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Eigen::Vector4f>(state, Operation::MatrixVector,
                         [in](Eigen::Vector4f& r, int i) { r.noalias() = in.eigenA[i] * in.eigenV[i]; });
}

// Quaternion product

void QuatMul_Ours(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Quaternion>(state, Operation::QuaternionProduct,
                    [in](Quaternion& r, int i) { r = in.p[i] * in.q[i]; });
}

void QuatMul_Glm(benchmark::State& state)
{
    const Pointers in = pointers();
    run<glm::quat>(state, Operation::QuaternionProduct,
                   [in](glm::quat& r, int i) { r = in.glmP[i] * in.glmQ[i]; });
}

void QuatMul_Eigen(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Eigen::Quaternionf>(state, Operation::QuaternionProduct,
                            [in](Eigen::Quaternionf& r, int i) { r = in.eigenP[i] * in.eigenQ[i]; });
}

// Slerp

void Slerp_Ours(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Quaternion>(state, Operation::Slerp,
                    [in](Quaternion& r, int i) { Math::slerp(r, in.p[i], in.q[i], 0.3f); });
}

void Slerp_Glm(benchmark::State& state)
{
    const Pointers in = pointers();
    run<glm::quat>(state, Operation::Slerp,
                   [in](glm::quat& r, int i) { r = glm::slerp(in.glmP[i], in.glmQ[i], 0.3f); });
}

void Slerp_Eigen(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Eigen::Quaternionf>(state, Operation::Slerp, [in](Eigen::Quaternionf& r, int i) {
        r = in.eigenP[i].slerp(0.3f, in.eigenQ[i]);
    });
}

// Matrix4x4 inverse

void Mat4Inverse_Ours(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Matrix4x4>(state, Operation::Inverse, [in](Matrix4x4& r, int i) { Math::invert(r, in.a[i]); });
}

void Mat4Inverse_Glm(benchmark::State& state)
{
    const Pointers in = pointers();
    run<glm::mat4>(state, Operation::Inverse, [in](glm::mat4& r, int i) { r = glm::inverse(in.glmA[i]); });
}

void Mat4Inverse_Eigen(benchmark::State& state)
{
    const Pointers in = pointers();
    run<Eigen::Matrix4f>(state, Operation::Inverse,
                         [in](Eigen::Matrix4f& r, int i) { r = in.eigenA[i].inverse(); });
}

} // namespace

BENCHMARK(Mat4Mul_Traditional);
BENCHMARK(Mat4Mul_SSE);
BENCHMARK(Mat4Mul_Glm);
BENCHMARK(Mat4Mul_Eigen);
BENCHMARK(Mat4Vec4_Traditional);
BENCHMARK(Mat4Vec4_SSE);
BENCHMARK(Mat4Vec4_Glm);
BENCHMARK(Mat4Vec4_Eigen);
BENCHMARK(QuatMul_Ours);
BENCHMARK(QuatMul_Glm);
BENCHMARK(QuatMul_Eigen);
BENCHMARK(Slerp_Ours);
BENCHMARK(Slerp_Glm);
BENCHMARK(Slerp_Eigen);
BENCHMARK(Mat4Inverse_Ours);
BENCHMARK(Mat4Inverse_Glm);
BENCHMARK(Mat4Inverse_Eigen);
