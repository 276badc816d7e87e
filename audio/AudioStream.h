#pragma once

#include "audio/AudioFormat.h"
#include "core/SharedPointer.h"
#include "core/io/Stream.h"

namespace rezezaz::audio {

// A byte stream of decoded sample data in a known format. read returns the bytes copied and a
// negative value at the end of the data; length is the number of decoded bytes; reset returns
// to the first byte.
class AudioStream : public core::io::Stream
{
public:
    virtual core::SharedPointer<AudioFormat> getAudioFormat() = 0;
};

} // namespace rezezaz::audio
