#pragma once

#include <memory>

namespace rezezaz::core {

// An abstract, heap-allocated iterator over elements of type T.
template <class T> class Iterator
{
public:
    virtual ~Iterator() = default;

    virtual void increment() = 0;
    virtual void decrement() = 0;
    // A new iterator at the same place, owned by the caller.
    virtual std::unique_ptr<Iterator> clone() const = 0;
    virtual T dereference() const = 0;
    // Whether other is at the same place; iterators of another kind never are.
    virtual bool equals(const Iterator& other) const = 0;
};

} // namespace rezezaz::core
