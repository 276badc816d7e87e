#pragma once

#include "core/Resource.h"

namespace rezezaz::audio {

class AudioStream;

// A whole decoded sound held by an audio device, made by AudioDevice::createAudioBuffer.
class AudioBuffer : public core::Resource
{
public:
    // The implementation object behind the interface.
    virtual AudioBuffer* getRootAudioBuffer() = 0;
    // Decodes the whole stream into the buffer.
    virtual bool create(AudioStream* stream) = 0;
    // The length of the sound in milliseconds.
    virtual int getLengthTime() = 0;
};

} // namespace rezezaz::audio
