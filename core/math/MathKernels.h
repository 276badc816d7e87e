#pragma once

// The bodies of the 4x4 product kernels declared in Math.h, plain and SSE. They are inline so that
// a caller that names a kernel directly gets it inlined like any header-only math library's
// product; the replaceable kernel pointers of Math.h point at the same functions. Both
// implementations compute every result element as (a0 * b0 + a1 * b1) + (a2 * b2 + a3 * b3), so
// with contraction off they round identically and either may be chosen at run time without
// changing results.

#include "core/math/Matrix4x4.h"
#include "core/math/Vector4.h"

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define REZEZAZ_MATH_HAS_SSE 1
#endif

namespace rezezaz {
namespace core {
namespace math {

namespace kernels {

// out = a b, with out distinct from a and b.
inline void productTraditional(float* out, const float* a, const float* b)
{
    for (int c = 0; c < 4; ++c) {
        const float b0 = b[4 * c];
        const float b1 = b[4 * c + 1];
        const float b2 = b[4 * c + 2];
        const float b3 = b[4 * c + 3];
        for (int r = 0; r < 4; ++r) {
            out[4 * c + r] = (a[r] * b0 + a[4 + r] * b1) + (a[8 + r] * b2 + a[12 + r] * b3);
        }
    }
}

// m v; reads v whole before the caller stores the result.
inline Vector4 transformTraditional(const float* m, const Vector4& v)
{
    const float v0 = v.x;
    const float v1 = v.y;
    const float v2 = v.z;
    const float v3 = v.w;
    return Vector4((m[0] * v0 + m[4] * v1) + (m[8] * v2 + m[12] * v3),
                   (m[1] * v0 + m[5] * v1) + (m[9] * v2 + m[13] * v3),
                   (m[2] * v0 + m[6] * v1) + (m[10] * v2 + m[14] * v3),
                   (m[3] * v0 + m[7] * v1) + (m[11] * v2 + m[15] * v3));
}

#ifdef REZEZAZ_MATH_HAS_SSE

// One result column: the four columns of a scaled by the four elements of b's column.
inline __m128 column(__m128 a0, __m128 a1, __m128 a2, __m128 a3, __m128 b)
{
    const __m128 s0 = _mm_mul_ps(a0, _mm_shuffle_ps(b, b, _MM_SHUFFLE(0, 0, 0, 0)));
    const __m128 s1 = _mm_mul_ps(a1, _mm_shuffle_ps(b, b, _MM_SHUFFLE(1, 1, 1, 1)));
    const __m128 s2 = _mm_mul_ps(a2, _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 2, 2, 2)));
    const __m128 s3 = _mm_mul_ps(a3, _mm_shuffle_ps(b, b, _MM_SHUFFLE(3, 3, 3, 3)));
    return _mm_add_ps(_mm_add_ps(s0, s1), _mm_add_ps(s2, s3));
}

// Loads all of a and b before storing, so out may be either of them.
inline void productSSE(float* out, const float* a, const float* b)
{
    const __m128 a0 = _mm_load_ps(a);
    const __m128 a1 = _mm_load_ps(a + 4);
    const __m128 a2 = _mm_load_ps(a + 8);
    const __m128 a3 = _mm_load_ps(a + 12);
    const __m128 b0 = _mm_load_ps(b);
    const __m128 b1 = _mm_load_ps(b + 4);
    const __m128 b2 = _mm_load_ps(b + 8);
    const __m128 b3 = _mm_load_ps(b + 12);
    _mm_store_ps(out, column(a0, a1, a2, a3, b0));
    _mm_store_ps(out + 4, column(a0, a1, a2, a3, b1));
    _mm_store_ps(out + 8, column(a0, a1, a2, a3, b2));
    _mm_store_ps(out + 12, column(a0, a1, a2, a3, b3));
}

// Vector4 is 16-byte aligned and four packed floats: one aligned load and store.
inline void transformSSE(Vector4& out, const float* m, const Vector4& v)
{
    const __m128 result = column(_mm_load_ps(m), _mm_load_ps(m + 4), _mm_load_ps(m + 8), _mm_load_ps(m + 12),
                                 _mm_load_ps(reinterpret_cast<const float*>(&v)));
    _mm_store_ps(reinterpret_cast<float*>(&out), result);
}

#endif

} // namespace kernels

inline void mulMatrix4x4Traditional(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b)
{
    Matrix4x4 product;
    kernels::productTraditional(product.data, a.data, b.data);
    result = product;
}

inline void postMulMatrix4x4Traditional(Matrix4x4& m, const Matrix4x4& b)
{
    Matrix4x4 product;
    kernels::productTraditional(product.data, m.data, b.data);
    m = product;
}

inline void preMulMatrix4x4Traditional(Matrix4x4& m, const Matrix4x4& a)
{
    Matrix4x4 product;
    kernels::productTraditional(product.data, a.data, m.data);
    m = product;
}

inline void mulVector4Matrix4x4Vector4Traditional(Vector4& result, const Matrix4x4& m, const Vector4& v)
{
    result = kernels::transformTraditional(m.data, v);
}

inline void mulVector4Matrix4x4Traditional(Vector4& v, const Matrix4x4& m)
{
    v = kernels::transformTraditional(m.data, v);
}

#ifdef REZEZAZ_MATH_HAS_SSE

inline void mulMatrix4x4SSE(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b)
{
    kernels::productSSE(result.data, a.data, b.data);
}

inline void postMulMatrix4x4SSE(Matrix4x4& m, const Matrix4x4& b)
{
    kernels::productSSE(m.data, m.data, b.data);
}

inline void preMulMatrix4x4SSE(Matrix4x4& m, const Matrix4x4& a)
{
    kernels::productSSE(m.data, a.data, m.data);
}

inline void mulVector4Matrix4x4Vector4SSE(Vector4& result, const Matrix4x4& m, const Vector4& v)
{
    kernels::transformSSE(result, m.data, v);
}

inline void mulVector4Matrix4x4SSE(Vector4& v, const Matrix4x4& m)
{
    kernels::transformSSE(v, m.data, v);
}

#else

inline void mulMatrix4x4SSE(Matrix4x4& result, const Matrix4x4& a, const Matrix4x4& b)
{
    mulMatrix4x4Traditional(result, a, b);
}

inline void postMulMatrix4x4SSE(Matrix4x4& m, const Matrix4x4& b)
{
    postMulMatrix4x4Traditional(m, b);
}

inline void preMulMatrix4x4SSE(Matrix4x4& m, const Matrix4x4& a)
{
    preMulMatrix4x4Traditional(m, a);
}

inline void mulVector4Matrix4x4Vector4SSE(Vector4& result, const Matrix4x4& m, const Vector4& v)
{
    mulVector4Matrix4x4Vector4Traditional(result, m, v);
}

inline void mulVector4Matrix4x4SSE(Vector4& v, const Matrix4x4& m)
{
    mulVector4Matrix4x4Traditional(v, m);
}

#endif

} // namespace math
} // namespace core
} // namespace rezezaz
