#pragma once

#include <cstdint>

namespace physicstest {

// Heap allocations made through operator new (every form; under a sanitizer, malloc's too) by any
// thread since the program started.
int64_t allocationCount();

} // namespace physicstest
