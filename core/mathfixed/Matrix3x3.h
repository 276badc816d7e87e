#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 3x3 16.16 fixed-point matrix stored column by column: element (row r, column c) is
// data[r + 3 * c]. The identity (65536 on the diagonal) by default.
struct Matrix3x3
{
    int32_t data[9];

    constexpr Matrix3x3() : data{65536, 0, 0, 0, 65536, 0, 0, 0, 65536} {}

    constexpr int32_t at(int row, int column) const { return data[row + 3 * column]; }
    int32_t& at(int row, int column) { return data[row + 3 * column]; }

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

static_assert(sizeof(Matrix3x3) == 36, "Matrix3x3 has the layout of its float twin");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
