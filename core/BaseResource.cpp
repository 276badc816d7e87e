#include "core/BaseResource.h"

#include "core/ResourceDestroyedListener.h"

namespace rezezaz::core {

void BaseResource::destroy()
{
    ResourceDestroyedListener* listener = destroyedListener_;
    // Cleared before the call, so a listener that destroys the resource again is not told twice.
    destroyedListener_ = nullptr;
    if (listener != nullptr) {
        listener->resourceDestroyed(resourceThis());
    }
}

Resource* BaseResource::resourceThis()
{
    return this;
}

void BaseResource::setDestroyedListener(ResourceDestroyedListener* listener)
{
    destroyedListener_ = listener;
}

void BaseResource::setName(const String& name)
{
    name_ = name;
}

const String& BaseResource::getName() const
{
    return name_;
}

void BaseResource::internal_setUniqueHandle(int handle)
{
    uniqueHandle_ = handle;
}

int BaseResource::getUniqueHandle() const
{
    return uniqueHandle_;
}

} // namespace rezezaz::core
