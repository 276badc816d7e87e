#pragma once

#include "audio/AudioStream.h"
#include "core/IntrusivePointer.h"
#include "core/Resource.h"
#include "core/io/Stream.h"
#include "scene/ResourceStreamer.h"

namespace rezezaz::scene {

class AudioManager;

// A streamer of one sound file format: it opens a file as an audio stream, and loads it as a whole
// decoded buffer on the engine's audio device through the audio manager it was made for (which holds
// the streamer; the streamer does not own the manager).
class AudioStreamer : public ResourceStreamer
{
public:
    explicit AudioStreamer(AudioManager* audioManager) : audioManager_(audioManager) {}

    // The file read as an audio stream, or null when it cannot be; may raise the engine's error.
    virtual core::IntrusivePointer<audio::AudioStream> createAudioStream(core::IntrusivePointer<core::io::Stream> stream,
                                                                         ResourceData* data) = 0;

    // The file decoded into a new buffer on the audio manager's device; the stream goes when this
    // returns. Raises what the manager raises (no device, a file that gives no stream).
    core::IntrusivePointer<core::Resource> load(core::IntrusivePointer<core::io::Stream> stream, ResourceData* data,
                                                ProgressListener* listener) override;

    AudioManager* getAudioManager() const { return audioManager_; }

protected:
    AudioManager* audioManager_;
};

} // namespace rezezaz::scene
