#pragma once

#include "core/Iterator.h"
#include "core/PointerCollection.h"
#include "core/WrapPointerIterator.h"

#include <memory>

namespace rezezaz::core {

// A range over a collection of owning pointers: the begin, the end and a current position that
// starts at the begin, each an Iterator that the range owns. The collection must outlive the range.
template <class T> class PointerIteratorRange
{
public:
    using IteratorType = Iterator<IntrusivePointer<T>>;

    explicit PointerIteratorRange(const PointerCollection<T>& collection)
        : begin_(std::make_unique<WrapPointerIterator<T>>(collection.begin())),
          end_(std::make_unique<WrapPointerIterator<T>>(collection.end())),
          current_(std::make_unique<WrapPointerIterator<T>>(collection.begin()))
    {}

    const IteratorType& getBegin() const { return *begin_; }
    const IteratorType& getEnd() const { return *end_; }
    IteratorType& getCurrent() { return *current_; }
    const IteratorType& getCurrent() const { return *current_; }

private:
    std::unique_ptr<IteratorType> begin_;
    std::unique_ptr<IteratorType> end_;
    std::unique_ptr<IteratorType> current_;
};

} // namespace rezezaz::core
