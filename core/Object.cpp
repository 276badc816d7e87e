#include "core/Object.h"

#include <cstdlib>
#include <new>

namespace rezezaz::core {

int32_t Object::retain()
{
    return referenceCount_.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t Object::release()
{
    // acq_rel: the thread that deletes must see every write made before the other threads' releases.
    const int32_t count = referenceCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count <= 0) {
        fullyReleased();
        delete this;
    }
    return count;
}

void Object::destroy() {}

void Object::fullyReleased()
{
    destroy();
}

void* Object::operator new(std::size_t size)
{
    void* block = nullptr;
    if (posix_memalign(&block, 16, size == 0 ? 1 : size) != 0) {
        throw std::bad_alloc();
    }
    return block;
}

void Object::operator delete(void* block) noexcept
{
    std::free(block);
}

} // namespace rezezaz::core
