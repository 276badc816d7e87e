#pragma once

namespace vbabel::data {

// Holds the latest decoded reading; `update` stores it as it is.
template <typename T> class Value
{
public:
    virtual ~Value() = default;
    virtual void update(T v) { current = v; }
    T value() const { return current; }

protected:
    T current{};
};

} // namespace vbabel::data
