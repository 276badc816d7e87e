#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"

namespace rezezaz::core {

// A collection of owning pointers: each element holds a reference to its object, released when the
// element is erased, removed, cleared, resized away or the collection goes. remove() and findIndex()
// take a raw pointer or an owning pointer and compare addresses.
template <class T> using PointerCollection = Collection<IntrusivePointer<T>>;

} // namespace rezezaz::core
