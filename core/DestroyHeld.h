#pragma once

#include "core/Collection.h"
#include "core/IntrusivePointer.h"

namespace rezezaz::core {

// How an owner lets go of what it holds: the object is taken out of the owner's pointer, the pointer
// is cleared, and only then is the object destroyed. A destroy that reaches back into the owner so
// finds nothing to destroy a second time, and the object lives until the call returns, even when the
// owner's pointer was its last holder. An empty pointer is left as it is.
template <class T, class S> void destroyHeld(IntrusivePointer<T, S>& pointer)
{
    IntrusivePointer<T, S> held = pointer;
    pointer = nullptr;
    if (held) {
        held->destroy();
    }
}

// The same, except that the object is only let go of, not destroyed, when it is spare: the one the
// owner is about to use in its place.
template <class T, class S, class U> void destroyHeld(IntrusivePointer<T, S>& pointer, const U* spare)
{
    IntrusivePointer<T, S> held = pointer;
    pointer = nullptr;
    if (held && held.get() != spare) {
        held->destroy();
    }
}

// For a list that does not own its objects: each is held, the list is emptied, then each is destroyed
// in list order and let go of. An object whose destroy reaches the list finds it empty.
template <class T> void destroyHeld(Collection<T*>& objects)
{
    Collection<IntrusivePointer<T>> held;
    for (int i = 0; i < objects.size(); ++i) {
        held.add(IntrusivePointer<T>(objects[i]));
    }
    objects.clear();
    for (int i = 0; i < held.size(); ++i) {
        held[i]->destroy();
    }
}

} // namespace rezezaz::core
