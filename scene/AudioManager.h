#pragma once

#include "audio/Audio.h"
#include "audio/AudioBuffer.h"
#include "audio/AudioStream.h"
#include "core/IntrusivePointer.h"
#include "core/String.h"
#include "scene/ResourceManager.h"

namespace rezezaz::audio {
class AudioDevice;
}

namespace rezezaz::scene {

class ResourceData;

// The engine's resource manager for sound: it turns a named sound file into an audio stream through
// the streamer of the file's extension, a stream into a decoded buffer, and makes playing sounds. It
// holds no device of its own and asks the engine for the current one on every call, so it works only
// once the engine has an audio device. Owned by the engine; the buffers and sounds it makes belong to
// their holders and to the device.
class AudioManager : public ResourceManager
{
public:
    explicit AudioManager(Engine* engine);

    // The engine's audio device; null when it has none.
    audio::AudioDevice* getAudioDevice() const;

    // A new buffer on the device holding the whole decoded stream; null when the device makes no
    // buffer or cannot decode the stream. Raises Error::nullPointer without a device or a stream.
    core::IntrusivePointer<audio::AudioBuffer> createAudioBuffer(audio::AudioStream* stream);
    // A new, idle sound on the device. Raises Error::nullPointer without a device.
    core::IntrusivePointer<audio::Audio> createAudio();

    // The named file opened as an audio stream by the streamer of its extension (or the default
    // streamer). A streamer that makes no audio streams counts as none. Raises the engine's error
    // when no streamer fits (before any file is opened) and when the file is not found.
    core::IntrusivePointer<audio::AudioStream> findAudioStream(const core::String& name, ResourceData* data);
};

} // namespace rezezaz::scene
