#pragma once

#include "core/BaseResource.h"
#include "core/String.h"
#include "core/io/Archive.h"

namespace rezezaz::core::io {

// Counted base of the engine's archives: a BaseResource that is an Archive. The Resource calls both
// bases declare are answered by the BaseResource, and resourceThis() is the Archive view, the one by
// which the archive manager files it. A subclass that overrides destroy() ends with
// BaseResource::destroy().
class BaseArchive : public BaseResource, public Archive
{
public:
    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void destroy() override { BaseResource::destroy(); }
    void setDestroyedListener(ResourceDestroyedListener* listener) override;
    void setName(const String& name) override;
    const String& getName() const override;
    void internal_setUniqueHandle(int handle) override;
    int getUniqueHandle() const override;
    Resource* resourceThis() override;
};

} // namespace rezezaz::core::io
