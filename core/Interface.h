#pragma once

#include <cstdint>

namespace rezezaz::core {

// Root of every counted interface. Any Interface can be held by an IntrusivePointer; a class that
// derives from Object and from Interface-derived interfaces forwards retain and release to Object's so
// that all of its views share one count.
class Interface
{
public:
    virtual ~Interface() = default;

    // Returns the count after the increment.
    virtual int32_t retain() = 0;
    // Returns the count after the decrement.
    virtual int32_t release() = 0;
};

} // namespace rezezaz::core
