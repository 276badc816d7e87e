#pragma once

#include "audio/AudioBuffer.h"
#include "core/BaseResource.h"

namespace rezezaz::audio {

// Implementation base of audio buffers: a BaseResource seen as an AudioBuffer. The Resource
// operations of both views run BaseResource's, and the buffer is known to its destroyed-listener
// by its AudioBuffer view, the one that managers file.
class BaseAudioBuffer : public core::BaseResource, public AudioBuffer
{
public:
    core::Resource* resourceThis() override { return static_cast<AudioBuffer*>(this); }
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
