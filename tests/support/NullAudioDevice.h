#pragma once

#include "audio/AudioDevice.h"

namespace support {

// An audio device that plays nothing and makes nothing: for code that only holds on to a device. It
// lives on the stack of a test, so it carries no count.
class NullAudioDevice : public rezezaz::audio::AudioDevice
{
public:
    int32_t retain() override { return 1; }
    int32_t release() override { return 1; }
    bool create(int) override { return true; }
    void destroy() override {}
    void activate() override {}
    void deactivate() override {}
    rezezaz::audio::AudioBuffer* createAudioBuffer() override { return nullptr; }
    rezezaz::audio::Audio* createAudio() override { return nullptr; }
    void setListenerTranslate(const rezezaz::core::math::Vector3&) override {}
    void setListenerRotate(const rezezaz::core::math::Quaternion&) override {}
    void setListenerVelocity(const rezezaz::core::math::Vector3&) override {}
    void setListenerGain(float) override {}
    void update(int) override {}
    bool getAudioCaps(rezezaz::audio::AudioCaps&) override { return true; }
};

} // namespace support
