#pragma once

#include "core/Resource.h"
#include "core/math/Vector3.h"

namespace rezezaz::audio {

class AudioBuffer;
class AudioStream;

// One playing sound, bound to one decoded buffer or one stream; made by AudioDevice::createAudio.
class Audio : public core::Resource
{
public:
    // Plays from a decoded buffer.
    virtual bool create(AudioBuffer* buffer) = 0;
    // Plays by streaming from a stream.
    virtual bool create(AudioStream* stream) = 0;
    virtual AudioBuffer* getAudioBuffer() = 0;
    virtual AudioStream* getAudioStream() = 0;
    virtual bool play() = 0;
    virtual bool stop() = 0;
    virtual bool getPlaying() = 0;
    virtual bool getFinished() = 0;
    virtual void setLooping(bool looping) = 0;
    virtual bool getLooping() = 0;
    virtual void setGain(float gain) = 0;
    virtual float getGain() = 0;
    virtual void setPitch(float pitch) = 0;
    virtual float getPitch() = 0;
    // A global sound is heard at the listener, not placed in space.
    virtual void setGlobal(bool global) = 0;
    virtual bool getGlobal() = 0;
    virtual void setPosition(const core::math::Vector3& position) = 0;
    virtual core::math::Vector3 getPosition() = 0;
    virtual void setVelocity(const core::math::Vector3& velocity) = 0;
    virtual core::math::Vector3 getVelocity() = 0;
    virtual void setRolloffFactor(float factor) = 0;
    virtual float getRolloffFactor() = 0;
};

} // namespace rezezaz::audio
