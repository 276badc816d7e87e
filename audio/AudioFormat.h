#pragma once

#include <cstdint>

namespace rezezaz::audio {

// The layout of sample data: bits per sample (8 unsigned with silence at 128, or 16 signed
// little-endian), interleaved channels (first channel first) and sample frames per second.
// A frame is one sample of every channel. Made with new and held through SharedPointer.
struct AudioFormat
{
    int32_t bitsPerSample = 0;
    int32_t channels = 0;
    int32_t samplesPerSecond = 0;

    AudioFormat() = default;
    AudioFormat(int32_t bits, int32_t channelCount, int32_t rate)
        : bitsPerSample(bits), channels(channelCount), samplesPerSecond(rate)
    {}

    // Bytes of one frame, computed without overflow; 0 for a width or channel count that
    // gives no whole byte.
    int64_t frameSize() const
    {
        if (bitsPerSample <= 0 || channels <= 0) {
            return 0;
        }
        return static_cast<int64_t>(bitsPerSample) * channels / 8;
    }
};

} // namespace rezezaz::audio
