#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"
#include "core/Iterator.h"

#include <memory>

namespace rezezaz::core {

// An Iterator over a collection of owning pointers, wrapping one collection iterator. Dereferencing
// returns the owning pointer at the current place, which holds a reference for the caller. The
// collection must outlive the iterator.
template <class T, class Pointer = IntrusivePointer<T>,
          class CollectionIteratorType = typename Collection<Pointer>::const_iterator>
class WrapPointerIterator : public Iterator<Pointer>
{
public:
    explicit WrapPointerIterator(CollectionIteratorType position) : position_(position) {}

    void increment() override { ++position_; }
    void decrement() override { --position_; }
    std::unique_ptr<Iterator<Pointer>> clone() const override
    {
        return std::make_unique<WrapPointerIterator>(position_);
    }
    Pointer dereference() const override { return *position_; }
    bool equals(const Iterator<Pointer>& other) const override
    {
        const auto* wrap = dynamic_cast<const WrapPointerIterator*>(&other);
        return wrap != nullptr && wrap->position_ == position_;
    }

    const CollectionIteratorType& getPosition() const { return position_; }

private:
    CollectionIteratorType position_;
};

} // namespace rezezaz::core
