#pragma once

#include <cstdint>

namespace rezezaz {
namespace core {

// What the processor offers the math kernels.
struct SystemCaps
{
    // 0 none, 1 SSE, 2 SSE2, 3 SSE3, 4 SSE4.1 or SSE4.2.
    uint32_t sseLevel = 0;
};

} // namespace core
} // namespace rezezaz
