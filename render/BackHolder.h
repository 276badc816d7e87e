#pragma once

#include "core/DestroyHeld.h"
#include "core/IntrusivePointer.h"

namespace rezezaz::render {

// The back of a device-independent wrapper: the device object that stands behind it while a render
// context exists. Base of the Backable* wrappers. A wrapper that owns its back hands it over in its
// setBack with replaceBack whenever a context comes or goes, fills a new back from what it keeps itself
// (a copy, code, records), and ends it in its destroy with destroyBack. A texture's level buffer,
// which follows a back its texture owns, only holds it.
template <class Back> class BackHolder
{
protected:
    BackHolder() = default;
    ~BackHolder() = default;

    // Destroys the back held when back is another object (whichever of its interfaces either is seen
    // through), then holds back. True when there is a back now, to be filled.
    bool replaceBack(Back* back)
    {
        if (back_ && identity(back_.get()) != identity(back)) {
            back_->destroy();
        }
        back_ = back;
        return back_ != nullptr;
    }

    // Takes the back out, then destroys it: a destroy that reaches the wrapper finds it without one.
    void destroyBack() { core::destroyHeld(back_); }

    core::IntrusivePointer<Back> back_;

private:
    static const void* identity(Back* back) { return dynamic_cast<const void*>(back); }
};

} // namespace rezezaz::render
