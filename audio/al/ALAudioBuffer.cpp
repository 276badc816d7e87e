#include "audio/al/ALAudioBuffer.h"

#include "audio/AudioFormatConversion.h"
#include "audio/AudioStream.h"
#include "audio/al/ALAudioDevice.h"
#include "core/Categories.h"
#include "core/Error.h"

#include <AL/al.h>

#include <memory>

namespace rezezaz::audio {

ALAudioBuffer::ALAudioBuffer(ALAudioDevice* device) : mDevice(device) {}

ALAudioBuffer::~ALAudioBuffer()
{
    if (mDevice != nullptr) {
        mDevice->forgetBuffer(this);
    }
}

AudioBuffer* ALAudioBuffer::getRootAudioBuffer()
{
    return this;
}

bool ALAudioBuffer::create(AudioStream* stream)
{
    if (mDevice == nullptr || !mDevice->opened()) {
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "invalid AudioDevice");
    }
    core::SharedPointer<AudioFormat> format;
    if (stream != nullptr) {
        format = stream->getAudioFormat();
    }
    if (format && (ALAudioDevice::getALFormat(*format) == 0 || format->samplesPerSecond <= 0)) {
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "unsupported AudioFormat");
    }
    unsigned char* bytes = nullptr;
    int length = 0;
    if (!format || !AudioFormatConversion::decode(stream, bytes, length)) {
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "unable to decode entire stream");
    }
    std::unique_ptr<unsigned char[]> data(bytes);
    // OpenAL takes whole frames only.
    const int frameSize = static_cast<int>(format->frameSize());
    length -= length % frameSize;
    mLengthTime = static_cast<int32_t>(static_cast<int64_t>(length / frameSize) * 1000 / format->samplesPerSecond);
    if (mDevice->getBufferFadeTime() > 0) {
        AudioFormatConversion::fade(data.get(), length, *format, mDevice->getBufferFadeTime());
    }
    // A deactivated device leaves no context current: buffers are made in the device's own.
    mDevice->makeCurrent();
    if (mBufferName != 0) {
        // A second create replaces the sound: what played the old one goes with it.
        mDevice->preDestroyBuffer(this);
        alDeleteBuffers(1, &mBufferName);
        mBufferName = 0;
    }
    alGenBuffers(1, &mBufferName);
    alBufferData(mBufferName, ALAudioDevice::getALFormat(*format), data.get(), length, format->samplesPerSecond);
    return true;
}

int ALAudioBuffer::getLengthTime()
{
    return mLengthTime;
}

void ALAudioBuffer::destroy()
{
    if (mBufferName != 0 && mDevice != nullptr) {
        mDevice->preDestroyBuffer(this);
        mDevice->makeCurrent();
        alDeleteBuffers(1, &mBufferName);
    }
    mBufferName = 0;
    BaseAudioBuffer::destroy();
}

void ALAudioBuffer::deviceDestroyed(bool open)
{
    if (open && mBufferName != 0) {
        alDeleteBuffers(1, &mBufferName);
    }
    mBufferName = 0;
    mDevice = nullptr;
}

} // namespace rezezaz::audio
