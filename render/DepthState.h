#pragma once

#include <cstdint>

namespace rezezaz::render {

// The depth test and depth writes.
struct DepthState
{
    enum DepthTest : int32_t
    {
        DepthTest_NEVER = 0,
        DepthTest_LESS = 1,
        DepthTest_EQUAL = 2,
        DepthTest_LESS_EQUAL = 3,
        DepthTest_GREATER = 4,
        DepthTest_NOT_EQUAL = 5,
        DepthTest_GREATER_EQUAL = 6,
        DepthTest_ALWAYS = 7,
    };

    int32_t test = DepthTest_LESS_EQUAL;
    bool write = true;
};

} // namespace rezezaz::render
