#pragma once

#include <cstdint>

namespace support {

// Counts heap allocations for tests that prove a path allocates nothing. Link the
// allocation_counter library: it replaces the global allocation functions (or, under a sanitizer,
// hooks the sanitizer's allocator).

// Heap allocations made through operator new (every form; under a sanitizer, malloc's too) by any
// thread since the program started.
int64_t allocationCount();

} // namespace support
