#pragma once

#include "audio/BaseAudioBuffer.h"

#include <cstdint>

namespace rezezaz::audio {

class ALAudioDevice;

// A whole sound decoded into one OpenAL buffer, faded in and out by the device's fade time. Made
// by ALAudioDevice::createAudioBuffer; knows its device without owning it.
class ALAudioBuffer : public BaseAudioBuffer
{
public:
    explicit ALAudioBuffer(ALAudioDevice* device);
    ~ALAudioBuffer() override;

    AudioBuffer* getRootAudioBuffer() override;
    // Raises Error::unknown (audio category) "invalid AudioDevice" when the device is gone or not
    // open, "unsupported AudioFormat" for data OpenAL does not take and "unable to decode entire
    // stream" when the stream gives nothing.
    bool create(AudioStream* stream) override;
    int getLengthTime() override;
    // Destroys the sounds that play the buffer, then the OpenAL buffer.
    void destroy() override;

    // The OpenAL buffer name, 0 when there is none.
    uint32_t getBufferName() const { return mBufferName; }
    ALAudioDevice* getDevice() const { return mDevice; }
    // Told by the device as it closes: with open true the OpenAL buffer is deleted now; after this
    // the buffer makes no OpenAL calls.
    void deviceDestroyed(bool open);

private:
    ALAudioDevice* mDevice;
    uint32_t mBufferName = 0;
    int32_t mLengthTime = 0;
};

} // namespace rezezaz::audio
