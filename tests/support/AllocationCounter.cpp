#include "support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Under a sanitizer the runtime owns operator new and malloc: its allocation hook does the counting
// (of every allocation, malloc's included). Elsewhere the global allocation functions are replaced
// by ones that count and forward to malloc.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SUPPORT_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SUPPORT_SANITIZED 1
#endif

#ifdef SUPPORT_SANITIZED
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

namespace {

std::atomic<int64_t> allocations{0};
std::atomic<int64_t> heldBytes{0};
std::atomic<int64_t> peakBytes{0};

void holdBytes(int64_t bytes)
{
    const int64_t now = heldBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    int64_t peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void dropBytes(int64_t bytes)
{
    heldBytes.fetch_sub(bytes, std::memory_order_relaxed);
}

} // namespace

namespace support {

int64_t allocationCount()
{
    return allocations.load(std::memory_order_relaxed);
}

int64_t allocatedBytes()
{
    return heldBytes.load(std::memory_order_relaxed);
}

int64_t peakAllocatedBytes()
{
    return peakBytes.load(std::memory_order_relaxed);
}

void resetPeakBytes()
{
    peakBytes.store(heldBytes.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

} // namespace support

#ifdef SUPPORT_SANITIZED

namespace {

void countAllocation(const volatile void*, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    holdBytes(static_cast<int64_t>(size));
}

// Called before the block is released, while the allocator still knows its size.
void countFree(const volatile void* block)
{
    if (block != nullptr) {
        dropBytes(static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(block))));
    }
}

const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(countAllocation, countFree);

} // namespace

#else

namespace {

void* allocate(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    holdBytes(static_cast<int64_t>(malloc_usable_size(block)));
    return block;
}

void* allocateAligned(std::size_t size, std::align_val_t alignment)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* block = nullptr;
    const std::size_t align = static_cast<std::size_t>(alignment) < sizeof(void*)
                                  ? sizeof(void*)
                                  : static_cast<std::size_t>(alignment);
    if (posix_memalign(&block, align, size == 0 ? 1 : size) != 0) {
        throw std::bad_alloc();
    }
    holdBytes(static_cast<int64_t>(malloc_usable_size(block)));
    return block;
}

void release(void* block) noexcept
{
    if (block != nullptr) {
        dropBytes(static_cast<int64_t>(malloc_usable_size(block)));
        std::free(block);
    }
}

} // namespace

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return allocateAligned(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    try {
        return allocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    try {
        return allocateAligned(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* block) noexcept
{
    release(block);
}
void operator delete[](void* block) noexcept
{
    release(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete(void* block, std::align_val_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept
{
    release(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    release(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    release(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    release(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    release(block);
}

#endif
