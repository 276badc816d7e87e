#pragma once

#include <cstdint>

namespace support {

// Counts heap allocations for tests that prove a path allocates nothing, and the bytes held, for
// tests that bound what a path holds at its peak. Link the
// allocation_counter library: it replaces the global allocation functions (or, under a sanitizer,
// hooks the sanitizer's allocator).

// Heap allocations made through operator new (every form; under a sanitizer, malloc's too) by any
// thread since the program started.
int64_t allocationCount();

// Bytes held on the heap through the counted functions now (as the allocator sized the blocks), and
// the most held since the last resetPeakBytes().
int64_t allocatedBytes();
int64_t peakAllocatedBytes();
// Starts a new peak from what is held now.
void resetPeakBytes();

} // namespace support
