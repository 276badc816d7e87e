#include "audio/AudioFormatConversion.h"

#include "audio/AudioStream.h"
#include "core/Categories.h"
#include "core/Error.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace rezezaz::audio {

namespace {

bool convertible(const AudioFormat& format)
{
    return (format.bitsPerSample == 8 || format.bitsPerSample == 16) && format.channels > 0 &&
           format.samplesPerSecond > 0;
}

// Bits per second, never overflowing: each factor is below 2^31 and only the rate may be large.
uint64_t bitRate(const AudioFormat& format)
{
    if (format.bitsPerSample <= 0 || format.channels <= 0 || format.samplesPerSecond <= 0) {
        return 0;
    }
    return static_cast<uint64_t>(format.bitsPerSample) * static_cast<uint64_t>(format.channels) *
           static_cast<uint64_t>(format.samplesPerSecond);
}

// length x a / b without overflow: a length below 2^31 times a bit rate below 2^93 fits in 128 bits.
uint64_t scale(uint64_t length, uint64_t a, uint64_t b)
{
    const unsigned __int128 product = static_cast<unsigned __int128>(length) * a;
    const unsigned __int128 result = product / b;
    return result > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(result);
}

int readSample(const unsigned char* at, int bits)
{
    if (bits == 8) {
        return static_cast<int>(at[0]) - 128;
    }
    return static_cast<int16_t>(static_cast<uint16_t>(at[0] | (at[1] << 8)));
}

int widen(int value, int fromBits, int toBits)
{
    if (fromBits == 8 && toBits == 16) {
        return std::clamp(value * 256, -32768, 32767);
    }
    if (fromBits == 16 && toBits == 8) {
        // Arithmetic shift, rounding toward minus infinity.
        return std::clamp(value >= 0 ? value / 256 : -((-value + 255) / 256), -128, 127);
    }
    return value;
}

void writeSample(unsigned char* at, int bits, int value)
{
    if (bits == 8) {
        at[0] = static_cast<unsigned char>(value + 128);
        return;
    }
    const uint16_t word = static_cast<uint16_t>(static_cast<int16_t>(value));
    at[0] = static_cast<unsigned char>(word & 0xFF);
    at[1] = static_cast<unsigned char>(word >> 8);
}

} // namespace

bool AudioFormatConversion::decode(AudioStream* stream, unsigned char*& data, int& length)
{
    data = nullptr;
    length = 0;
    if (stream == nullptr || stream->length() < 1) {
        return false;
    }
    // An audio stream ends its data with a negative read, which is the end here, not a failure.
    std::vector<unsigned char> bytes;
    // The length is a hint for the first allocation only; what arrives decides the size.
    bytes.reserve(static_cast<size_t>(std::min(stream->length(), 1 << 24)));
    unsigned char piece[4096];
    for (;;) {
        const int got = stream->read(piece, static_cast<int>(sizeof(piece)));
        if (got <= 0) {
            break;
        }
        if (static_cast<size_t>(got) > static_cast<size_t>(INT_MAX) - bytes.size()) {
            return false;
        }
        bytes.insert(bytes.end(), piece, piece + std::min(got, static_cast<int>(sizeof(piece))));
    }
    if (bytes.empty()) {
        return false;
    }
    data = new unsigned char[bytes.size()];
    std::memcpy(data, bytes.data(), bytes.size());
    length = static_cast<int>(bytes.size());
    return true;
}

int AudioFormatConversion::findConvertedLength(int length, const AudioFormat& sourceFormat,
                                              const AudioFormat& destinationFormat, bool roundUp)
{
    const uint64_t sourceRate = bitRate(sourceFormat);
    const uint64_t destinationRate = bitRate(destinationFormat);
    if (length <= 0 || sourceRate == 0 || destinationRate == 0) {
        return 0;
    }
    const uint64_t result = scale(static_cast<uint64_t>(length), destinationRate, sourceRate);
    const uint64_t frameSize = static_cast<uint64_t>(destinationFormat.frameSize());
    uint64_t rounded = result;
    if (frameSize > 0 && result % frameSize != 0) {
        rounded = (result / frameSize + (roundUp ? 1 : 0)) * frameSize;
    }
    if (rounded > static_cast<uint64_t>(INT_MAX)) {
        // The largest whole number of frames that an int can count.
        return frameSize > 0 ? static_cast<int>(INT_MAX / frameSize * frameSize) : INT_MAX;
    }
    return static_cast<int>(rounded);
}

bool AudioFormatConversion::convert(const unsigned char* source, int sourceLength, const AudioFormat& sourceFormat,
                                    unsigned char* destination, int destinationLength,
                                    const AudioFormat& destinationFormat)
{
    if (!convertible(sourceFormat) || !convertible(destinationFormat) || sourceLength < 0) {
        return false;
    }
    const int needed = findConvertedLength(sourceLength, sourceFormat, destinationFormat, true);
    if (destinationLength < needed) {
        core::Error::unknown(core::Categories::REZEZAZ_AUDIO, true, "invalid destination length");
    }
    const int sourceBits = sourceFormat.bitsPerSample;
    const int destinationBits = destinationFormat.bitsPerSample;
    const int64_t sourceFrameSize = sourceFormat.frameSize();
    const int64_t destinationFrameSize = destinationFormat.frameSize();
    const int64_t frames = sourceLength / sourceFrameSize;
    const int sourceSampleSize = sourceBits / 8;
    const int destinationSampleSize = destinationBits / 8;
    for (int64_t k = 0; k < frames; ++k) {
        const int64_t target = k * destinationFormat.samplesPerSecond / sourceFormat.samplesPerSecond;
        const int64_t offset = target * destinationFrameSize;
        if (offset + destinationFrameSize > destinationLength) {
            break;
        }
        const unsigned char* in = source + k * sourceFrameSize;
        unsigned char* out = destination + offset;
        const int first = widen(readSample(in, sourceBits), sourceBits, destinationBits);
        writeSample(out, destinationBits, first);
        if (destinationFormat.channels >= 2) {
            const int second = sourceFormat.channels >= 2
                                   ? widen(readSample(in + sourceSampleSize, sourceBits), sourceBits, destinationBits)
                                   : first;
            writeSample(out + destinationSampleSize, destinationBits, second);
        }
    }
    return true;
}

void AudioFormatConversion::fade(unsigned char* data, int length, const AudioFormat& format, int fadeTime)
{
    const int bits = format.bitsPerSample;
    if ((bits != 8 && bits != 16) || format.channels <= 0 || data == nullptr || length <= 0 || fadeTime <= 0 ||
        format.samplesPerSecond <= 0) {
        return;
    }
    const int64_t frameSize = format.frameSize();
    const int64_t frames = length / frameSize;
    const int64_t fadeFrames = static_cast<int64_t>(fadeTime) * format.samplesPerSecond / 1000;
    const int64_t n = std::min(frames, fadeFrames);
    const int sampleSize = bits / 8;
    const auto scaleFrame = [&](int64_t frame, int64_t i) {
        unsigned char* at = data + frame * frameSize;
        for (int c = 0; c < format.channels; ++c, at += sampleSize) {
            // Integer division truncates toward zero, as the ramp asks.
            if (bits == 16) {
                const int64_t sample = readSample(at, 16);
                writeSample(at, 16, static_cast<int>(sample * i / n));
            } else {
                const int64_t sample = static_cast<int64_t>(at[0]) - 128;
                at[0] = static_cast<unsigned char>(sample * i / n + 128);
            }
        }
    };
    for (int64_t i = 0; i < n; ++i) {
        scaleFrame(i, i);
        scaleFrame(frames - 1 - i, i);
    }
}

} // namespace rezezaz::audio
