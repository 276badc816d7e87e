#pragma once

#include "core/Interface.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace rezezaz::core {

// Base of every shared object of the engine and the ANT library. It lives on the heap, on a 16-byte
// boundary, as long as its reference count says. The count is 0 at birth: the first owner (as a rule an
// IntrusivePointer) retains it. The release that brings the count to 0 or below runs fullyReleased(),
// which runs destroy(), and then deletes the object. Subclasses let go of what they hold in destroy();
// their destructors release nothing beyond their own members.
//
// retain and release may be called from any thread; everything else belongs to the thread that uses
// the object.
class Object : public Interface
{
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    ~Object() override = default;

    // One atomic increment; returns the new count.
    int32_t retain() override;
    // One atomic decrement; at 0 or below runs fullyReleased() and deletes the object. Returns the new
    // count in every case.
    int32_t release() override;
    // Releases what the object holds. Does nothing here.
    virtual void destroy();
    // Runs destroy().
    virtual void fullyReleased();

    // 16-byte-aligned storage; throws std::bad_alloc when none is to be had.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;

private:
    std::atomic<int32_t> referenceCount_{0};
};

} // namespace rezezaz::core
