#pragma once

#include "ant/babel/Value.h"

namespace vbabel::data {

// Turns an accumulated raw reading into the delta since the previous reading. The first update yields
// the raw reading itself (the previous reading starts at 0).
//
// With a `range` (e.g. 65536 for a 16-bit counter) the delta is taken modulo that range, so a counter
// that wrapped gives the true positive delta; with range 0 it is a plain signed subtraction.
template <typename T> class AccumValue : public Value<T>
{
public:
    explicit AccumValue(T range = 0) : range(range) {}

    void update(T v) override
    {
        T delta = v - previous;
        if (range > 0) {
            delta %= range;
            if (delta < 0)
                delta += range;
        }
        this->current = delta;
        previous = v;
    }

private:
    T range;
    T previous{};
};

} // namespace vbabel::data
