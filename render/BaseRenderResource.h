#pragma once

#include "core/BaseResource.h"

namespace rezezaz::render {

// Base of a class that implements one or more render resource interfaces over the core BaseResource:
// the interfaces' Resource operations reach BaseResource's, so every view of the object shares one
// count, one name, one handle and one destroyed-listener.
template <class... Interfaces> class BaseRenderResource : public core::BaseResource, public Interfaces...
{
public:
    int32_t retain() override { return core::Object::retain(); }
    int32_t release() override { return core::Object::release(); }
    void destroy() override { core::BaseResource::destroy(); }
    void setDestroyedListener(core::ResourceDestroyedListener* listener) override
    {
        core::BaseResource::setDestroyedListener(listener);
    }
    void setName(const core::String& name) override { core::BaseResource::setName(name); }
    const core::String& getName() const override { return core::BaseResource::getName(); }
    void internal_setUniqueHandle(int handle) override { core::BaseResource::internal_setUniqueHandle(handle); }
    int getUniqueHandle() const override { return core::BaseResource::getUniqueHandle(); }
};

} // namespace rezezaz::render
