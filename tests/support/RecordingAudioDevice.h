#pragma once

#include "audio/AudioStream.h"
#include "audio/BaseAudioBuffer.h"
#include "support/CountingObject.h"
#include "support/NullAudioDevice.h"

#include <string>
#include <vector>

namespace support {

// A buffer that reads its whole stream into memory, or refuses it when told to; its deletion goes to
// an optional LifeLog.
class RecordingAudioBuffer : public rezezaz::audio::BaseAudioBuffer
{
public:
    RecordingAudioBuffer(LifeLog* log, bool accept) : log_(log), accept_(accept) {}
    ~RecordingAudioBuffer() override
    {
        if (log_ != nullptr) {
            ++log_->deleted;
            log_->events.push_back("delete buffer");
        }
    }

    rezezaz::audio::AudioBuffer* getRootAudioBuffer() override { return this; }
    bool create(rezezaz::audio::AudioStream* stream) override
    {
        if (!accept_) {
            return false;
        }
        unsigned char chunk[256];
        for (int got = stream->read(chunk, sizeof chunk); got > 0; got = stream->read(chunk, sizeof chunk)) {
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return true;
    }
    int getLengthTime() override { return 0; }

    std::vector<unsigned char> bytes;

private:
    LifeLog* log_;
    bool accept_;
};

// An audio device whose buffers are RecordingAudioBuffers (or none at all), and which counts what it
// is asked to make. It lives on the stack of a test, so it carries no count.
class RecordingAudioDevice : public NullAudioDevice
{
public:
    rezezaz::audio::AudioBuffer* createAudioBuffer() override
    {
        ++buffersAsked;
        return makeBuffers ? new RecordingAudioBuffer(&life, acceptStreams) : nullptr;
    }
    rezezaz::audio::Audio* createAudio() override
    {
        ++audiosAsked;
        return nullptr;
    }

    bool makeBuffers = true;
    bool acceptStreams = true;
    int buffersAsked = 0;
    int audiosAsked = 0;
    LifeLog life;
};

} // namespace support
