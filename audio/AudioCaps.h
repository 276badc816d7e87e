#pragma once

#include <cstdint>

namespace rezezaz::audio {

// What an audio device offers, filled by AudioDevice::getAudioCaps.
struct AudioCaps
{
    // How many sounds can play at once.
    int32_t maxSources = 0;
    // Sounds can be placed in space around the listener.
    bool positional = false;
    // Sounds can be fed from a stream while they play.
    bool streaming = false;
};

} // namespace rezezaz::audio
