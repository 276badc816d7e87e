#pragma once

#include "core/Interface.h"
#include "core/math/Quaternion.h"
#include "core/math/Vector3.h"

namespace rezezaz::audio {

class Audio;
class AudioBuffer;
struct AudioCaps;

// The sound device the engine talks to; the only one is made by new_ALAudioDevice. Buffers and
// sounds it makes are new objects with a count of 0, for the caller to hold.
class AudioDevice : public core::Interface
{
public:
    // Opens the device; the argument is not used.
    virtual bool create(int options) = 0;
    // Closes the device.
    virtual void destroy() = 0;
    // Makes the device's context current and running.
    virtual void activate() = 0;
    // Suspends the context and makes no context current.
    virtual void deactivate() = 0;
    // A new, empty buffer bound to this device.
    virtual AudioBuffer* createAudioBuffer() = 0;
    // A new, idle sound bound to this device.
    virtual Audio* createAudio() = 0;
    virtual void setListenerTranslate(const core::math::Vector3& translate) = 0;
    virtual void setListenerRotate(const core::math::Quaternion& rotate) = 0;
    virtual void setListenerVelocity(const core::math::Vector3& velocity) = 0;
    // The master gain.
    virtual void setListenerGain(float gain) = 0;
    // Pumps streaming; called once per frame with the elapsed milliseconds.
    virtual void update(int milliseconds) = 0;
    virtual bool getAudioCaps(AudioCaps& caps) = 0;
};

} // namespace rezezaz::audio
