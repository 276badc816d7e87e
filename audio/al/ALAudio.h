#pragma once

#include "audio/AudioFormat.h"
#include "audio/BaseAudio.h"
#include "core/IntrusivePointer.h"
#include "core/SharedPointer.h"

#include <cstdint>
#include <vector>

namespace rezezaz::audio {

class ALAudioDevice;

// One sound on one pooled OpenAL source, played from an ALAudioBuffer or streamed from an
// AudioStream through a ring of four OpenAL buffers that the device's update refills. A sound that
// found the pool empty, or whose device is gone, makes no OpenAL calls. Made by
// ALAudioDevice::createAudio; knows its device without owning it.
class ALAudio : public BaseAudio
{
public:
    explicit ALAudio(ALAudioDevice* device);
    ~ALAudio() override;

    // Stops the sound and gives its source back.
    void destroy() override;
    // Both raise Error::unknown (audio category): "invalid AudioBuffer" or "invalid AudioStream"
    // for a null or foreign argument, "invalid AudioDevice" when the device is gone or not open,
    // "unsupported AudioFormat" for a stream OpenAL cannot play.
    bool create(AudioBuffer* buffer) override;
    bool create(AudioStream* stream) override;
    AudioBuffer* getAudioBuffer() override;
    AudioStream* getAudioStream() override;
    bool play() override;
    bool stop() override;
    bool getPlaying() override;
    bool getFinished() override;
    void setLooping(bool looping) override;
    bool getLooping() override;
    void setGain(float gain) override;
    float getGain() override;
    void setPitch(float pitch) override;
    float getPitch() override;
    void setGlobal(bool global) override;
    bool getGlobal() override;
    void setPosition(const core::math::Vector3& position) override;
    core::math::Vector3 getPosition() override;
    void setVelocity(const core::math::Vector3& velocity) override;
    core::math::Vector3 getVelocity() override;
    void setRolloffFactor(float factor) override;
    float getRolloffFactor() override;

    // Used by the device's update and by play.
    void update(int milliseconds);
    void updateStreaming();
    int readAudioData(unsigned char* buffer, int length);
    // Fills the OpenAL buffer from the stream and queues it; false when the stream gave nothing.
    bool refill(uint32_t buffer);

    // Channels of the stream buffers being filled now: the stream's when global, else 1 (0 for a
    // sound that streams nothing). A change by setGlobal shows once the buffers queued before it
    // have played.
    int32_t getStreamChannels() const { return mAudioStream && mFormat ? mFormat->channels : 0; }

    // The pooled source name: 0 before create and after destroy, NO_SOURCE when the pool was empty.
    uint32_t getSourceHandle() const { return mSource; }

    // Told by the device as it closes: with open true the source is stopped and the stream ring
    // deleted now; after this the sound makes no OpenAL calls.
    void deviceDestroyed(bool open);

private:
    bool hasSource();
    // Checks out a source, or keeps the one held, and stops what it played.
    void takeSource();
    // Fills and queues the stream ring; only buffers that received data are queued.
    void startRing();
    // Stops the source and deletes the stream ring.
    void stopRing();
    // The stream's channel count if it can be played as it is and the sound is global, else 1.
    int32_t soundChannels() const;

    ALAudioDevice* mDevice;
    bool mGlobal = false;
    bool mLooping = false;
    uint32_t mSource = 0;
    uint32_t* mStreamBuffers = nullptr;
    int32_t mQueuedTotal = 0;
    unsigned char* mStaging;
    int32_t mStagingSize = 4096;
    int32_t mBufferCount = 4;
    float mGain = 1.0f;
    core::IntrusivePointer<AudioBuffer> mAudioBuffer;
    core::IntrusivePointer<AudioStream> mAudioStream;
    core::SharedPointer<AudioFormat> mFormat;
    // Set when the stream gave no more data (and the sound does not loop).
    bool mStreamEnded = false;
    // A channel count set while streaming, waiting for the queued buffers of the old count to play
    // out (OpenAL queues buffers of one format only); 0 when none waits. The buffers they free
    // wait, unfilled, in mHeldBuffers, so that nothing read from the stream is thrown away.
    int32_t mPendingChannels = 0;
    std::vector<uint32_t> mHeldBuffers;
    std::vector<unsigned char> mConverted;
};

} // namespace rezezaz::audio
