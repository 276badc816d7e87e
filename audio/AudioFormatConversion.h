#pragma once

#include "audio/AudioFormat.h"

namespace rezezaz::audio {

class AudioStream;

// Stateless helpers over sample data: read a whole stream into memory, convert between formats
// and fade a sound in and out. Only 8- and 16-bit samples and the first two channels of a frame
// are converted; nothing is filtered or interpolated.
class AudioFormatConversion
{
public:
    AudioFormatConversion() = delete;

    // Reads the stream to its end into a new array (freed with delete[]) and its length in bytes.
    // False, with a null array, for a null, empty or unreadable stream; never raises.
    static bool decode(AudioStream* stream, unsigned char*& data, int& length);

    // Writes the source frames into the destination, frame k at destination frame
    // k x destination rate / source rate; frames no source frame reaches keep their bytes.
    // Raises Error::unknown "invalid destination length" (audio category), writing nothing, when
    // the destination is shorter than findConvertedLength rounded up. False, writing nothing,
    // for formats other than 8 or 16 bits with at least one channel and a positive rate.
    static bool convert(const unsigned char* source, int sourceLength, const AudioFormat& sourceFormat,
                        unsigned char* destination, int destinationLength, const AudioFormat& destinationFormat);

    // The length in bytes that length bytes of the source format take in the destination format,
    // as a whole number of destination frames (rounded down, or up with roundUp). 0 for a length
    // or a format that gives none; at most INT_MAX.
    static int findConvertedLength(int length, const AudioFormat& sourceFormat,
                                   const AudioFormat& destinationFormat, bool roundUp);

    // Linear fade in and out over fadeTime milliseconds at each end, in place: the first and the
    // last frame become silent. Widths other than 8 and 16 bits are left untouched.
    static void fade(unsigned char* data, int length, const AudioFormat& format, int fadeTime);
};

} // namespace rezezaz::audio
