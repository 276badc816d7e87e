#pragma once

namespace rezezaz {
namespace core {
namespace math {

// 3x3 float matrix stored column by column: element (row r, column c) is data[r + 3 * c].
// The identity by default.
struct Matrix3x3
{
    float data[9];

    constexpr Matrix3x3() : data{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f} {}

    // Elements in reading order, row by row (not in storage order).
    constexpr Matrix3x3(float m00, float m01, float m02, float m10, float m11, float m12, float m20,
                        float m21, float m22)
        : data{m00, m10, m20, m01, m11, m21, m02, m12, m22}
    {}

    constexpr float at(int row, int column) const { return data[row + 3 * column]; }
    float& at(int row, int column) { return data[row + 3 * column]; }
    void setAt(int row, int column, float value) { data[row + 3 * column] = value; }

    bool operator==(const Matrix3x3& m) const
    {
        for (int i = 0; i < 9; ++i) {
            if (data[i] != m.data[i]) {
                return false;
            }
        }
        return true;
    }
    bool operator!=(const Matrix3x3& m) const { return !(*this == m); }
};

static_assert(sizeof(Matrix3x3) == 36, "Matrix3x3 is nine packed floats");

} // namespace math
} // namespace core
} // namespace rezezaz
