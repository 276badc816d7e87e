#pragma once

#include "core/Interface.h"

namespace rezezaz::core {

class ResourceDestroyedListener;
class String;

// A named engine resource with a unique handle, filed by a manager that listens for its destruction.
class Resource : public Interface
{
public:
    // Releases what the resource holds and tells the destroyed-listener, if any.
    virtual void destroy() = 0;
    // Replaces the listener; null clears it. The listener is not owned.
    virtual void setDestroyedListener(ResourceDestroyedListener* listener) = 0;
    virtual void setName(const String& name) = 0;
    virtual const String& getName() const = 0;
    // Set only by the manager that files the resource.
    virtual void internal_setUniqueHandle(int handle) = 0;
    virtual int getUniqueHandle() const = 0;
};

} // namespace rezezaz::core
