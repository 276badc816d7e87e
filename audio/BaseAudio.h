#pragma once

#include "audio/Audio.h"
#include "core/BaseResource.h"

namespace rezezaz::audio {

// Implementation base of sounds: a BaseResource seen as an Audio. The Resource
// operations of both views run BaseResource's, and the sound is known to its destroyed-listener
// by its Audio view, the one that managers file.
class BaseAudio : public core::BaseResource, public Audio
{
public:
    core::Resource* resourceThis() override { return static_cast<Audio*>(this); }
    int32_t retain() override { return BaseResource::retain(); }
    int32_t release() override { return BaseResource::release(); }
    void destroy() override { BaseResource::destroy(); }
    void setDestroyedListener(core::ResourceDestroyedListener* listener) override
    {
        BaseResource::setDestroyedListener(listener);
    }
    void setName(const core::String& name) override { BaseResource::setName(name); }
    const core::String& getName() const override { return BaseResource::getName(); }
    void internal_setUniqueHandle(int handle) override { BaseResource::internal_setUniqueHandle(handle); }
    int getUniqueHandle() const override { return BaseResource::getUniqueHandle(); }
};

} // namespace rezezaz::audio
