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
#endif

namespace {

std::atomic<int64_t> allocations{0};

} // namespace

namespace support {

int64_t allocationCount()
{
    return allocations.load(std::memory_order_relaxed);
}

} // namespace support

#ifdef SUPPORT_SANITIZED

namespace {

void countAllocation(const volatile void*, std::size_t)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
}

void ignoreFree(const volatile void*) {}

const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(countAllocation, ignoreFree);

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
    return block;
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
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(block);
}

#endif
