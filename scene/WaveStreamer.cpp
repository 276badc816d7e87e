#include "scene/WaveStreamer.h"

#include "audio/WaveDecoder.h"

namespace rezezaz::scene {

core::IntrusivePointer<audio::AudioStream> WaveStreamer::createAudioStream(core::IntrusivePointer<core::io::Stream> stream,
                                                                           ResourceData*)
{
    core::IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
    if (!decoder->startStream(stream.get())) {
        return nullptr;
    }
    return core::IntrusivePointer<audio::AudioStream>(decoder.get());
}

} // namespace rezezaz::scene
