#pragma once

#include "audio/AudioDevice.h"
#include "core/Object.h"

namespace rezezaz::audio {

// Implementation base of audio devices: one count shared by the Object and AudioDevice views.
// Releasing the last reference runs destroy(), which closes the device.
class BaseAudioDevice : public core::Object, public AudioDevice
{
public:
    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
};

} // namespace rezezaz::audio
