#pragma once

#include "ant/babel/Value.h"

namespace vbabel::data {

// Unwraps a counter that wraps at `range` (256 for an 8-bit count): each time a reading is smaller than
// the previous one, `range` is added to a running total; the value is the reading plus that total.
template <typename T> class OverflowValue : public Value<T>
{
public:
    explicit OverflowValue(T range) : range(range) {}

    void update(T v) override
    {
        if (v < previous)
            total += range;
        this->current = v + total;
        previous = v;
    }

private:
    T range;
    T previous{};
    T total{};
};

} // namespace vbabel::data
