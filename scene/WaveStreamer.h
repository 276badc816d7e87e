#pragma once

#include "core/Object.h"
#include "scene/AudioStreamer.h"

namespace rezezaz::scene {

// The streamer of RIFF WAVE files: each file becomes a WaveDecoder. The engine registers one on its
// audio manager for the extension "wav".
class WaveStreamer : public core::Object, public AudioStreamer
{
public:
    explicit WaveStreamer(AudioManager* audioManager) : AudioStreamer(audioManager) {}

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void destroy() override {}

    // A decoder that has parsed the whole file; the header's faults raise from WaveDecoder::startStream.
    core::IntrusivePointer<audio::AudioStream> createAudioStream(core::IntrusivePointer<core::io::Stream> stream,
                                                                 ResourceData* data) override;
};

} // namespace rezezaz::scene
