#include "audio/al/ALAudioDevice.h"

#include "audio/al/ALAudio.h"
#include "audio/al/ALAudioBuffer.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <cmath>

namespace rezezaz::audio {

ALCcontext_struct* ALAudioDevice::mContext = nullptr;

namespace {

void logAlert(const char* text)
{
    core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_AUDIO, core::Logger::ALERT, text);
}

// A recycled source starts as a fresh one, whatever the sound before it set.
void resetSource(ALuint source)
{
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    alSourcei(source, AL_LOOPING, AL_FALSE);
    alSourcef(source, AL_PITCH, 1.0f);
    alSourcef(source, AL_GAIN, 1.0f);
    alSourcef(source, AL_ROLLOFF_FACTOR, 1.0f);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(source, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    alSourcei(source, AL_SOURCE_RELATIVE, AL_FALSE);
}

} // namespace

ALAudioDevice::ALAudioDevice() = default;

ALAudioDevice::~ALAudioDevice() = default;

AudioDevice* new_ALAudioDevice()
{
    return new ALAudioDevice();
}

bool ALAudioDevice::create(int)
{
    logAlert("creating ALAudioDevice");
    if (mContext != nullptr) {
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "only 1 OpenAL context available at a time");
    }
    mDevice = alcOpenDevice(nullptr);
    if (mDevice == nullptr) {
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "invalid device");
    }
    ALCcontext* context = alcCreateContext(mDevice, nullptr);
    if (context == nullptr) {
        alcCloseDevice(mDevice);
        mDevice = nullptr;
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "invalid context");
    }
    mContext = context;
    mOpenedContext = context;
    alcMakeContextCurrent(context);
    mCaps.maxSources = 8;
    mCaps.positional = true;
    mCaps.streaming = true;

    alListenerf(AL_GAIN, 1.0f);
    alDopplerFactor(1.0f);
    alDopplerVelocity(10.0f);

    ALuint sources[8] = {};
    alGenSources(mCaps.maxSources, sources);
    mAllSources.clear();
    for (int i = 0; i < mCaps.maxSources; ++i) {
        mAllSources.add(sources[i]);
    }
    mFreeSources = mAllSources;
    for (int i = 0; i < mAllSources.size(); ++i) {
        const ALuint source = mAllSources[i];
        alSourcei(source, AL_LOOPING, AL_FALSE);
        alSourcef(source, AL_PITCH, 1.0f);
        alSourcef(source, AL_GAIN, 1.0f);
        alSourcef(source, AL_ROLLOFF_FACTOR, 1.0f);
        alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    }
    return true;
}

void ALAudioDevice::destroy()
{
    const bool open = mDevice != nullptr;
    if (open) {
        logAlert("destroying ALAudioDevice");
        alcMakeContextCurrent(mOpenedContext);
    }
    // Sounds first (they let go of the sources and their stream buffers), then the sources, then the
    // buffers, which no source uses any more.
    const core::Collection<ALAudio*> audios = mMadeAudios;
    for (int i = 0; i < audios.size(); ++i) {
        audios[i]->deviceDestroyed(open);
    }
    mMadeAudios.clear();
    mAudios.clear();
    if (open && mAllSources.size() > 0) {
        alDeleteSources(mAllSources.size(), &mAllSources[0]);
    }
    mAllSources.clear();
    mFreeSources.clear();
    const core::Collection<ALAudioBuffer*> buffers = mMadeBuffers;
    for (int i = 0; i < buffers.size(); ++i) {
        buffers[i]->deviceDestroyed(open);
    }
    mMadeBuffers.clear();
    if (!open) {
        return;
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(mOpenedContext);
    if (mContext == mOpenedContext) {
        mContext = nullptr;
    }
    mOpenedContext = nullptr;
    alcCloseDevice(mDevice);
    mDevice = nullptr;
}

void ALAudioDevice::activate()
{
    if (mOpenedContext == nullptr) {
        return;
    }
    alcMakeContextCurrent(mOpenedContext);
    alcProcessContext(mOpenedContext);
}

void ALAudioDevice::makeCurrent()
{
    if (mOpenedContext != nullptr) {
        alcMakeContextCurrent(mOpenedContext);
    }
}

void ALAudioDevice::deactivate()
{
    if (mOpenedContext == nullptr) {
        return;
    }
    alcSuspendContext(mOpenedContext);
    alcMakeContextCurrent(nullptr);
}

AudioBuffer* ALAudioDevice::createAudioBuffer()
{
    ALAudioBuffer* buffer = new ALAudioBuffer(this);
    mMadeBuffers.add(buffer);
    return buffer;
}

Audio* ALAudioDevice::createAudio()
{
    ALAudio* audio = new ALAudio(this);
    mMadeAudios.add(audio);
    return audio;
}

void ALAudioDevice::setListenerTranslate(const core::math::Vector3& translate)
{
    mScratch = translate;
    if (std::isnan(mScratch.x) || !opened()) {
        return;
    }
    alListener3f(AL_POSITION, mScratch.x, mScratch.y, mScratch.z);
}

void ALAudioDevice::setListenerRotate(const core::math::Quaternion& q)
{
    // The rotated +Y axis is forward ("at"), the rotated +Z axis is up.
    const float orientation[6] = {
        2.0f * (q.x * q.y - q.w * q.z), 1.0f - 2.0f * (q.x * q.x + q.z * q.z), 2.0f * (q.y * q.z + q.w * q.x),
        2.0f * (q.x * q.z + q.w * q.y), 2.0f * (q.y * q.z - q.w * q.x), 1.0f - 2.0f * (q.x * q.x + q.y * q.y)};
    if (std::isnan(orientation[0]) || !opened()) {
        return;
    }
    alListenerfv(AL_ORIENTATION, orientation);
}

void ALAudioDevice::setListenerVelocity(const core::math::Vector3&) {}

void ALAudioDevice::setListenerGain(float gain)
{
    if (opened()) {
        alListenerf(AL_GAIN, gain);
    }
}

void ALAudioDevice::update(int milliseconds)
{
    if (!opened()) {
        return;
    }
    makeCurrent();
    const core::Collection<ALAudio*> audios = mAudios;
    for (int i = 0; i < audios.size(); ++i) {
        audios[i]->update(milliseconds);
    }
}

bool ALAudioDevice::getAudioCaps(AudioCaps& caps)
{
    caps = mCaps;
    return true;
}

uint32_t ALAudioDevice::checkoutSourceHandle(ALAudio* audio)
{
    mAudios.add(audio);
    if (mFreeSources.size() == 0) {
        return NO_SOURCE;
    }
    const uint32_t source = mFreeSources[0];
    mFreeSources.erase(mFreeSources.begin());
    return source;
}

void ALAudioDevice::checkinSourceHandle(ALAudio* audio, uint32_t source)
{
    // Only a source of the pool goes back to it: a sound that drew none gives nothing back.
    if (source != NO_SOURCE && mAllSources.findIndex(source) >= 0 && mFreeSources.findIndex(source) < 0) {
        if (opened()) {
            resetSource(source);
        }
        mFreeSources.add(source);
    }
    mAudios.remove(audio);
}

void ALAudioDevice::preDestroyBuffer(ALAudioBuffer* buffer)
{
    // Destroying a sound takes it off the list: walk a copy.
    const core::Collection<ALAudio*> audios = mAudios;
    AudioBuffer* target = buffer;
    for (int i = 0; i < audios.size(); ++i) {
        if (audios[i]->getAudioBuffer() == target) {
            audios[i]->destroy();
        }
    }
}

int ALAudioDevice::getALFormat(const AudioFormat& format)
{
    if (format.bitsPerSample == 8 && format.channels == 1) {
        return AL_FORMAT_MONO8;
    }
    if (format.bitsPerSample == 16 && format.channels == 1) {
        return AL_FORMAT_MONO16;
    }
    if (format.bitsPerSample == 8 && format.channels == 2) {
        return AL_FORMAT_STEREO8;
    }
    if (format.bitsPerSample == 16 && format.channels == 2) {
        return AL_FORMAT_STEREO16;
    }
    return 0;
}

void ALAudioDevice::forgetAudio(ALAudio* audio)
{
    mMadeAudios.remove(audio);
    mAudios.remove(audio);
}

void ALAudioDevice::forgetBuffer(ALAudioBuffer* buffer)
{
    mMadeBuffers.remove(buffer);
}

} // namespace rezezaz::audio
