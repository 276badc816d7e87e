#include "scene/AudioManager.h"

#include "audio/AudioDevice.h"
#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "scene/ArchiveManager.h"
#include "scene/AudioStreamer.h"
#include "scene/Engine.h"

namespace rezezaz::scene {

using core::Categories;
using core::IntrusivePointer;
using core::String;

namespace {

// The streamer as one that makes audio streams, or null when it is none.
AudioStreamer* asAudioStreamer(const IntrusivePointer<ResourceStreamer>& streamer)
{
    return dynamic_cast<AudioStreamer*>(streamer.get());
}

} // namespace

AudioManager::AudioManager(Engine* engine) : ResourceManager(engine) {}

audio::AudioDevice* AudioManager::getAudioDevice() const
{
    return engine_->getAudioDevice();
}

IntrusivePointer<audio::AudioBuffer> AudioManager::createAudioBuffer(audio::AudioStream* stream)
{
    audio::AudioDevice* device = getAudioDevice();
    if (device == nullptr) {
        core::Error::nullPointer(String(), true, "createAudioBuffer called without a valid AudioDevice");
    }
    if (stream == nullptr) {
        core::Error::nullPointer(String(), true, "createAudioBuffer called with a null stream");
    }
    // Held from here on, so that a buffer that cannot take the stream (by answer or by error) goes.
    IntrusivePointer<audio::AudioBuffer> buffer(device->createAudioBuffer());
    if (!buffer || !buffer->create(stream)) {
        return nullptr;
    }
    return buffer;
}

IntrusivePointer<audio::Audio> AudioManager::createAudio()
{
    audio::AudioDevice* device = getAudioDevice();
    if (device == nullptr) {
        core::Error::nullPointer(String(), true, "createAudio called without a valid AudioDevice");
    }
    return IntrusivePointer<audio::Audio>(device->createAudio());
}

IntrusivePointer<audio::AudioStream> AudioManager::findAudioStream(const String& name, ResourceData* data)
{
    core::Log::getInstance()->addLogEntry(Categories::REZEZAZ_SCENE, core::Logger::DEBUG,
                                          "finding audio stream:" + name);
    const String path = checkDefaultExtension(cleanPath(name, false));
    const String extension = findExtension(path);

    IntrusivePointer<ResourceStreamer> streamer = getStreamer(extension);
    AudioStreamer* audioStreamer = asAudioStreamer(streamer);
    if (audioStreamer == nullptr) {
        streamer = getDefaultStreamer();
        audioStreamer = asAudioStreamer(streamer);
    }
    if (audioStreamer == nullptr) {
        core::Error::unknown(Categories::REZEZAZ_SCENE, true, "streamer for \"" + name + "\" not found");
    }

    IntrusivePointer<core::io::Stream> stream = engine_->getArchiveManager()->openStream(path);
    if (!stream) {
        core::Error::unknown(Categories::REZEZAZ_SCENE, true, "file " + path + " not found");
    }
    // The audio stream holds the file stream for as long as it needs it.
    return audioStreamer->createAudioStream(stream, data);
}

} // namespace rezezaz::scene
