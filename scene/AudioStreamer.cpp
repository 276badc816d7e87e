#include "scene/AudioStreamer.h"

#include "scene/AudioManager.h"

namespace rezezaz::scene {

core::IntrusivePointer<core::Resource> AudioStreamer::load(core::IntrusivePointer<core::io::Stream> stream,
                                                           ResourceData* data, ProgressListener*)
{
    core::IntrusivePointer<audio::AudioStream> audioStream = createAudioStream(stream, data);
    core::IntrusivePointer<audio::AudioBuffer> buffer = audioManager_->createAudioBuffer(audioStream.get());
    return core::IntrusivePointer<core::Resource>(static_cast<audio::AudioBuffer*>(buffer.get()));
}

} // namespace rezezaz::scene
