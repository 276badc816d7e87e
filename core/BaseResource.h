#pragma once

#include "core/Object.h"
#include "core/Resource.h"
#include "core/String.h"

namespace rezezaz::core {

// Counted base of engine resources: an Object with a name, a unique handle and a destroyed-listener.
// Both views (Object and Resource) share the Object's single count. A subclass that overrides destroy()
// releases its own members first and ends with BaseResource::destroy(), so the listener hears of the
// resource after it has let go of what it held.
class BaseResource : public Object, public Resource
{
public:
    BaseResource() = default;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    // Tells the listener, once, with resourceThis(), and clears it; safe to run twice.
    void destroy() override;

    // This object as a Resource*: the identity by which managers file it.
    virtual Resource* resourceThis();

    void setDestroyedListener(ResourceDestroyedListener* listener) override;
    void setName(const String& name) override;
    const String& getName() const override;
    void internal_setUniqueHandle(int handle) override;
    int getUniqueHandle() const override;

private:
    ResourceDestroyedListener* destroyedListener_ = nullptr;
    String name_;
    int32_t uniqueHandle_ = 0;
};

} // namespace rezezaz::core
