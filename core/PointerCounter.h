#pragma once

#include <cstdint>

namespace rezezaz::core {

template <class T, class Semantics> class SharedPointer;

// The separate count that SharedPointer keeps for a plain class without a count of its own: the shared
// count and the total count, both 1 when the first handle creates it. Not atomic: it belongs to the
// thread that uses the object.
class PointerCounter
{
public:
    PointerCounter() = default;
    PointerCounter(const PointerCounter&) = delete;
    PointerCounter& operator=(const PointerCounter&) = delete;
    virtual ~PointerCounter() = default;

    // Deletes the counter.
    virtual void destroy() { delete this; }

    int32_t getSharedCount() const { return sharedCount_; }
    int32_t getTotalCount() const { return totalCount_; }

private:
    template <class T, class Semantics> friend class SharedPointer;

    int32_t sharedCount_ = 1;
    int32_t totalCount_ = 1;
};

} // namespace rezezaz::core
