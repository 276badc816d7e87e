#pragma once

namespace rezezaz {
namespace core {
namespace math {

// 4x4 float matrix stored column by column, as OpenGL loads it: element (row r, column c) is
// data[r + 4 * c] and the translation sits in data[12..14]. 16-byte aligned so that the SSE
// kernels load each column as one value. The identity by default.
struct alignas(16) Matrix4x4
{
    float data[16];

    constexpr Matrix4x4()
        : data{1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f}
    {}

    // Elements in reading order, row by row (not in storage order).
    constexpr Matrix4x4(float m00, float m01, float m02, float m03, float m10, float m11, float m12,
                        float m13, float m20, float m21, float m22, float m23, float m30, float m31,
                        float m32, float m33)
        : data{m00, m10, m20, m30, m01, m11, m21, m31, m02, m12, m22, m32, m03, m13, m23, m33}
    {}

    constexpr float at(int row, int column) const { return data[row + 4 * column]; }
    float& at(int row, int column) { return data[row + 4 * column]; }
    void setAt(int row, int column, float value) { data[row + 4 * column] = value; }

    bool operator==(const Matrix4x4& m) const
    {
        for (int i = 0; i < 16; ++i) {
            if (data[i] != m.data[i]) {
                return false;
            }
        }
        return true;
    }
    bool operator!=(const Matrix4x4& m) const { return !(*this == m); }
};

static_assert(sizeof(Matrix4x4) == 64, "Matrix4x4 is sixteen packed floats");
static_assert(alignof(Matrix4x4) == 16, "Matrix4x4 is 16-byte aligned");

} // namespace math
} // namespace core
} // namespace rezezaz
