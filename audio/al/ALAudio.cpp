#include "audio/al/ALAudio.h"

#include "audio/AudioFormatConversion.h"
#include "audio/AudioStream.h"
#include "audio/al/ALAudioBuffer.h"
#include "audio/al/ALAudioDevice.h"
#include "core/Categories.h"
#include "core/Error.h"

#include <AL/al.h>

#include <algorithm>
#include <cstring>

namespace rezezaz::audio {

namespace {

[[noreturn]] void raise(const char* text)
{
    core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, text);
}

bool playable(const AudioFormat& format)
{
    return ALAudioDevice::getALFormat(format) != 0 && format.samplesPerSecond > 0;
}

} // namespace

ALAudio::ALAudio(ALAudioDevice* device) : mDevice(device), mStaging(new unsigned char[4096]) {}

ALAudio::~ALAudio()
{
    delete[] mStreamBuffers;
    delete[] mStaging;
    if (mDevice != nullptr) {
        mDevice->forgetAudio(this);
    }
}

bool ALAudio::hasSource()
{
    return mDevice != nullptr && mSource != 0 && mSource != ALAudioDevice::NO_SOURCE && alIsSource(mSource);
}

void ALAudio::destroy()
{
    if (mDevice != nullptr && mSource != 0) {
        mDevice->activate();
        stop();
        if (hasSource()) {
            alSourceStop(mSource);
            alSourcei(mSource, AL_BUFFER, 0);
        }
        mDevice->checkinSourceHandle(this, mSource);
        mSource = 0;
    }
    BaseAudio::destroy();
}

void ALAudio::deviceDestroyed(bool open)
{
    if (open && hasSource()) {
        alSourceStop(mSource);
        alSourcei(mSource, AL_BUFFER, 0);
    }
    if (open && mStreamBuffers != nullptr) {
        alDeleteBuffers(mBufferCount, mStreamBuffers);
    }
    delete[] mStreamBuffers;
    mStreamBuffers = nullptr;
    mSource = 0;
    mDevice = nullptr;
}

void ALAudio::takeSource()
{
    if (mDevice == nullptr || !mDevice->opened()) {
        raise("invalid AudioDevice");
    }
    mDevice->activate();
    if (mSource == ALAudioDevice::NO_SOURCE) {
        // The pool was empty last time: a source freed since then is this sound's now.
        mDevice->checkinSourceHandle(this, mSource);
        mSource = 0;
    }
    if (mSource == 0) {
        mSource = mDevice->checkoutSourceHandle(this);
    } else {
        // A second create keeps its source; what it played before stops here.
        stop();
    }
}

int32_t ALAudio::soundChannels() const
{
    const core::SharedPointer<AudioFormat> format = mAudioStream->getAudioFormat();
    if (mGlobal && format && playable(*format)) {
        return format->channels;
    }
    return 1;
}

bool ALAudio::create(AudioBuffer* buffer)
{
    if (buffer == nullptr) {
        raise("invalid AudioBuffer");
    }
    ALAudioBuffer* root = dynamic_cast<ALAudioBuffer*>(buffer->getRootAudioBuffer());
    if (root == nullptr || root->getDevice() != mDevice) {
        raise("invalid AudioBuffer");
    }
    takeSource();
    mAudioStream = nullptr;
    mAudioBuffer = buffer;
    mFormat = core::SharedPointer<AudioFormat>();
    mStreamEnded = false;
    if (hasSource()) {
        alSourceStop(mSource);
        alSourcei(mSource, AL_BUFFER, static_cast<ALint>(root->getBufferName()));
        alSourcei(mSource, AL_LOOPING, mLooping ? AL_TRUE : AL_FALSE);
        alSourcef(mSource, AL_GAIN, mGain);
    }
    return true;
}

bool ALAudio::create(AudioStream* stream)
{
    if (stream == nullptr) {
        raise("invalid AudioStream");
    }
    const core::SharedPointer<AudioFormat> streamFormat = stream->getAudioFormat();
    if (!streamFormat) {
        raise("invalid AudioStream");
    }
    AudioFormat mono(*streamFormat);
    mono.channels = 1;
    if (!playable(mono)) {
        raise("unsupported AudioFormat");
    }
    takeSource();
    mAudioStream = stream;
    mAudioBuffer = nullptr;
    mFormat = core::SharedPointer<AudioFormat>(new AudioFormat(*streamFormat));
    mFormat->channels = soundChannels();
    mPendingChannels = 0;
    mStreamEnded = false;
    updateStreaming();
    if (hasSource()) {
        alSourceStop(mSource);
        alSourcei(mSource, AL_BUFFER, 0);
        // A stream loops by starting the stream again, never the source.
        alSourcei(mSource, AL_LOOPING, AL_FALSE);
        alSourcef(mSource, AL_GAIN, mGain);
    }
    return true;
}

AudioBuffer* ALAudio::getAudioBuffer()
{
    return mAudioBuffer.get();
}

AudioStream* ALAudio::getAudioStream()
{
    return mAudioStream.get();
}

void ALAudio::startRing()
{
    mStreamBuffers = new uint32_t[static_cast<size_t>(mBufferCount)];
    alGenBuffers(mBufferCount, mStreamBuffers);
    mQueuedTotal = 0;
    const ALenum format = ALAudioDevice::getALFormat(*mFormat);
    for (int i = 0; i < mBufferCount; ++i) {
        const int got = readAudioData(mStaging, mStagingSize);
        if (got > 0) {
            alBufferData(mStreamBuffers[i], format, mStaging, got, mFormat->samplesPerSecond);
            alSourceQueueBuffers(mSource, 1, &mStreamBuffers[i]);
            ++mQueuedTotal;
        }
    }
}

void ALAudio::stopRing()
{
    if (hasSource()) {
        alSourceStop(mSource);
        // On a stopped source this takes every queued buffer off, processed or not.
        alSourcei(mSource, AL_BUFFER, 0);
    }
    if (mStreamBuffers != nullptr) {
        if (mDevice != nullptr) {
            alDeleteBuffers(mBufferCount, mStreamBuffers);
        }
        delete[] mStreamBuffers;
        mStreamBuffers = nullptr;
    }
    mQueuedTotal = 0;
    mHeldBuffers.clear();
    if (mPendingChannels != 0 && mFormat) {
        mFormat->channels = mPendingChannels;
    }
    mPendingChannels = 0;
}

bool ALAudio::play()
{
    if (mDevice == nullptr || !mDevice->opened()) {
        return false;
    }
    // No source means no streaming: nothing is read from the stream.
    if (mAudioStream && mStreamBuffers == nullptr && hasSource()) {
        mStreamEnded = false;
        startRing();
    }
    if (hasSource()) {
        alSourcePlay(mSource);
    }
    return true;
}

bool ALAudio::stop()
{
    if (hasSource()) {
        alSourceStop(mSource);
    }
    if (mStreamBuffers != nullptr) {
        stopRing();
    }
    return true;
}

int ALAudio::readAudioData(unsigned char* buffer, int length)
{
    const core::SharedPointer<AudioFormat> streamFormat = mAudioStream->getAudioFormat();
    // Whole frames of the stream, no more than fit the buffer once converted: a refill that took
    // part of a frame would start the next one on another channel.
    const int streamFrame = std::max(1, static_cast<int>(streamFormat->frameSize()));
    const int soundFrame = std::max(1, static_cast<int>(mFormat->frameSize()));
    length = std::min(length / streamFrame, length / soundFrame) * streamFrame;
    int got = mAudioStream->read(buffer, length);
    if (got < 0) {
        if (!mLooping) {
            mStreamEnded = true;
            return got;
        }
        mAudioStream->reset();
        got = mAudioStream->read(buffer, length);
        if (got < 1) {
            mStreamEnded = true;
            return got;
        }
    }
    if (got == 0) {
        // Four bytes of silence (whole frames in every playable format), or one frame of a wider
        // stream.
        got = streamFrame * ((4 + streamFrame - 1) / streamFrame);
        std::memset(buffer, streamFormat->bitsPerSample == 8 ? 128 : 0, static_cast<size_t>(got));
    }
    got = std::min(got, length);
    if (streamFormat->channels != mFormat->channels) {
        const int converted = AudioFormatConversion::findConvertedLength(got, *streamFormat, *mFormat, true);
        mConverted.assign(static_cast<size_t>(std::max(converted, 1)), 0);
        AudioFormatConversion::convert(buffer, got, *streamFormat, mConverted.data(), converted, *mFormat);
        got = std::min(converted, length);
        std::memcpy(buffer, mConverted.data(), static_cast<size_t>(got));
    }
    // OpenAL takes whole frames only.
    const int frameSize = static_cast<int>(mFormat->frameSize());
    return got - got % frameSize;
}

void ALAudio::updateStreaming()
{
    if (mStreamBuffers == nullptr || !hasSource()) {
        return;
    }
    ALint processed = 0;
    alGetSourcei(mSource, AL_BUFFERS_PROCESSED, &processed);
    bool queued = false;
    for (ALint i = 0; i < processed; ++i) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(mSource, 1, &buffer);
        if (mPendingChannels != 0) {
            mHeldBuffers.push_back(buffer);
        } else {
            queued = refill(buffer) || queued;
        }
    }
    mQueuedTotal += std::max(processed, 0);
    if (mPendingChannels != 0) {
        ALint left = 0;
        alGetSourcei(mSource, AL_BUFFERS_QUEUED, &left);
        if (left == 0) {
            // The old channel count has played out: the new one starts with the next data.
            mFormat->channels = mPendingChannels;
            mPendingChannels = 0;
        }
    }
    if (mPendingChannels == 0 && !mHeldBuffers.empty()) {
        for (uint32_t buffer : mHeldBuffers) {
            queued = refill(buffer) || queued;
        }
        mHeldBuffers.clear();
    }
    if (queued) {
        // The source stops when its queue runs dry before a refill: start it again.
        ALint state = 0;
        alGetSourcei(mSource, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) {
            alSourcePlay(mSource);
        }
    }
}

bool ALAudio::refill(uint32_t buffer)
{
    const int got = readAudioData(mStaging, mStagingSize);
    if (got <= 0) {
        return false;
    }
    ALuint name = buffer;
    alBufferData(name, ALAudioDevice::getALFormat(*mFormat), mStaging, got, mFormat->samplesPerSecond);
    alSourceQueueBuffers(mSource, 1, &name);
    return true;
}

void ALAudio::update(int)
{
    if (mAudioStream) {
        updateStreaming();
    }
}

bool ALAudio::getPlaying()
{
    if (!hasSource()) {
        return false;
    }
    ALint state = 0;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

bool ALAudio::getFinished()
{
    if (mLooping) {
        return false;
    }
    if (!hasSource()) {
        return true;
    }
    ALint state = 0;
    alGetSourcei(mSource, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING || state == AL_PAUSED) {
        return false;
    }
    // A stream whose source ran dry between two updates has not finished while it has data left.
    return !(mAudioStream && mStreamBuffers != nullptr && !mStreamEnded);
}

void ALAudio::setLooping(bool looping)
{
    mLooping = looping;
    if (mAudioBuffer && hasSource()) {
        alSourcei(mSource, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
    }
}

bool ALAudio::getLooping()
{
    if (hasSource()) {
        ALint looping = 0;
        alGetSourcei(mSource, AL_LOOPING, &looping);
        if (looping > 0) {
            return true;
        }
    }
    return mLooping;
}

void ALAudio::setGain(float gain)
{
    mGain = gain;
    if (hasSource()) {
        alSourcef(mSource, AL_GAIN, gain);
    }
}

float ALAudio::getGain()
{
    return mGain;
}

void ALAudio::setPitch(float pitch)
{
    if (hasSource()) {
        alSourcef(mSource, AL_PITCH, pitch);
    }
}

float ALAudio::getPitch()
{
    float pitch = 0.0f;
    if (hasSource()) {
        alGetSourcef(mSource, AL_PITCH, &pitch);
    }
    return pitch;
}

void ALAudio::setGlobal(bool global)
{
    mGlobal = global;
    if (mAudioStream && mFormat) {
        const int32_t channels = soundChannels();
        if (mStreamBuffers == nullptr) {
            mFormat->channels = channels;
        } else {
            // Buffers of another channel count cannot join the queue: the new count takes effect
            // with the refill after the queued buffers have played, none of them thrown away.
            mPendingChannels = channels != mFormat->channels ? channels : 0;
        }
    }
    if (hasSource()) {
        if (global) {
            alSource3f(mSource, AL_POSITION, 0.0f, 0.0f, 0.0f);
            alSourcei(mSource, AL_SOURCE_RELATIVE, AL_TRUE);
        } else {
            alSourcei(mSource, AL_SOURCE_RELATIVE, AL_FALSE);
        }
    }
}

bool ALAudio::getGlobal()
{
    return mGlobal;
}

void ALAudio::setPosition(const core::math::Vector3& position)
{
    if (hasSource()) {
        const core::math::Vector3 v = mGlobal ? core::math::Vector3() : position;
        alSource3f(mSource, AL_POSITION, v.x, v.y, v.z);
    }
}

core::math::Vector3 ALAudio::getPosition()
{
    core::math::Vector3 v;
    if (hasSource()) {
        alGetSource3f(mSource, AL_POSITION, &v.x, &v.y, &v.z);
    }
    return v;
}

void ALAudio::setVelocity(const core::math::Vector3& velocity)
{
    if (hasSource()) {
        const core::math::Vector3 v = mGlobal ? core::math::Vector3() : velocity;
        alSource3f(mSource, AL_VELOCITY, v.x, v.y, v.z);
    }
}

core::math::Vector3 ALAudio::getVelocity()
{
    core::math::Vector3 v;
    if (hasSource()) {
        alGetSource3f(mSource, AL_VELOCITY, &v.x, &v.y, &v.z);
    }
    return v;
}

void ALAudio::setRolloffFactor(float factor)
{
    if (hasSource()) {
        alSourcef(mSource, AL_ROLLOFF_FACTOR, factor);
    }
}

float ALAudio::getRolloffFactor()
{
    float factor = 0.0f;
    if (hasSource()) {
        alGetSourcef(mSource, AL_ROLLOFF_FACTOR, &factor);
    }
    return factor;
}

} // namespace rezezaz::audio
