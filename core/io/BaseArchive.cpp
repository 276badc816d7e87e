#include "core/io/BaseArchive.h"

namespace rezezaz::core::io {

void BaseArchive::setDestroyedListener(ResourceDestroyedListener* listener)
{
    BaseResource::setDestroyedListener(listener);
}

void BaseArchive::setName(const String& name)
{
    BaseResource::setName(name);
}

const String& BaseArchive::getName() const
{
    return BaseResource::getName();
}

void BaseArchive::internal_setUniqueHandle(int handle)
{
    BaseResource::internal_setUniqueHandle(handle);
}

int BaseArchive::getUniqueHandle() const
{
    return BaseResource::getUniqueHandle();
}

Resource* BaseArchive::resourceThis()
{
    return static_cast<Archive*>(this);
}

} // namespace rezezaz::core::io
