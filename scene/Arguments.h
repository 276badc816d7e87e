#pragma once

#include "core/Categories.h"
#include "core/Error.h"
#include "core/String.h"

namespace rezezaz::scene {

// The scene's answer to a missing argument: Error::nullPointer at the call, logged with the text
// (the operation's name and what is missing), before anything has changed. A null let through would
// fail later, far from the caller: in a later update, a later logic step or the next frame.
inline void requireArgument(const void* argument, const char* text)
{
    if (argument == nullptr) {
        core::Error::nullPointer(core::Categories::REZEZAZ_SCENE, true, core::String(text));
    }
}

} // namespace rezezaz::scene
