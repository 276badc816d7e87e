#pragma once

#include "audio/AudioCaps.h"
#include "audio/AudioFormat.h"
#include "audio/BaseAudioDevice.h"
#include "core/Collection.h"
#include "core/math/Vector3.h"

#include <cstdint>

struct ALCdevice_struct;
struct ALCcontext_struct;

namespace rezezaz::audio {

class ALAudio;
class ALAudioBuffer;

// The OpenAL audio device: owns the one OpenAL device and context (at most one device is open at
// a time) and a pool of eight sources that its sounds check out and in. It knows every buffer and
// sound it made, without owning them, so that when it is destroyed first they make no further
// OpenAL calls. Made by new_ALAudioDevice; releasing the last reference closes it.
class ALAudioDevice : public BaseAudioDevice
{
public:
    // The source name of a sound that found the pool empty: such a sound stays silent.
    static constexpr uint32_t NO_SOURCE = 0xFFFFFFFFu;

    ALAudioDevice();
    ~ALAudioDevice() override;

    // Raises Error::unknown (audio category) "only 1 OpenAL context available at a time",
    // "invalid device" or "invalid context".
    bool create(int options) override;
    // Closes what this device opened; does nothing more when it is not open.
    void destroy() override;
    void activate() override;
    void deactivate() override;
    AudioBuffer* createAudioBuffer() override;
    Audio* createAudio() override;
    void setListenerTranslate(const core::math::Vector3& translate) override;
    void setListenerRotate(const core::math::Quaternion& rotate) override;
    void setListenerVelocity(const core::math::Vector3& velocity) override;
    void setListenerGain(float gain) override;
    void update(int milliseconds) override;
    bool getAudioCaps(AudioCaps& caps) override;

    // For ALAudio and ALAudioBuffer only.
    uint32_t checkoutSourceHandle(ALAudio* audio);
    void checkinSourceHandle(ALAudio* audio, uint32_t source);
    void preDestroyBuffer(ALAudioBuffer* buffer);
    // The OpenAL format of 8- or 16-bit mono or stereo data; 0 for anything else.
    static int getALFormat(const AudioFormat& format);
    bool opened() const { return mDevice != nullptr; }
    // Makes the device's context current, without resuming it, for the OpenAL calls that follow.
    void makeCurrent();
    int getBufferFadeTime() const { return mBufferFadeTime; }
    void forgetAudio(ALAudio* audio);
    void forgetBuffer(ALAudioBuffer* buffer);

private:
    core::math::Vector3 mScratch;
    ALCdevice_struct* mDevice = nullptr;
    // Sounds that hold a source (or found the pool empty), in checkout order.
    core::Collection<ALAudio*> mAudios;
    core::Collection<uint32_t> mFreeSources;
    core::Collection<uint32_t> mAllSources;
    int32_t mBufferFadeTime = 100;
    AudioCaps mCaps;
    // The context this device opened; the shared mContext is cleared only when it is this one.
    ALCcontext_struct* mOpenedContext = nullptr;
    // Every sound and buffer this device made that still exists.
    core::Collection<ALAudio*> mMadeAudios;
    core::Collection<ALAudioBuffer*> mMadeBuffers;

    static ALCcontext_struct* mContext;
};

// A new OpenAL device, not yet created.
AudioDevice* new_ALAudioDevice();

} // namespace rezezaz::audio
