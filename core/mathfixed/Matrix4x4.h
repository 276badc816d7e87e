#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {
namespace mathfixed {

// 4x4 16.16 fixed-point matrix stored column by column: element (row r, column c) is
// data[r + 4 * c], the translation in data[12..14]. 16-byte aligned; the identity by default.
struct alignas(16) Matrix4x4
{
    int32_t data[16];

    constexpr Matrix4x4() : data{65536, 0, 0, 0, 0, 65536, 0, 0, 0, 0, 65536, 0, 0, 0, 0, 65536} {}

    constexpr int32_t at(int row, int column) const { return data[row + 4 * column]; }
    int32_t& at(int row, int column) { return data[row + 4 * column]; }

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

static_assert(sizeof(Matrix4x4) == 64, "Matrix4x4 has the layout of its float twin");
static_assert(alignof(Matrix4x4) == 16, "Matrix4x4 is 16-byte aligned");

} // namespace mathfixed
} // namespace core
} // namespace rezezaz
