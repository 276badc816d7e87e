#pragma once

#include "audio/AudioStream.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"

#include <cstdint>

namespace rezezaz::scene {

// Turns a RIFF WAVE file (PCM, or IMA ADPCM expanded to 16 bits) into an AudioStream: startStream
// parses the whole file once, keeps the decoded samples in memory and the stream operations serve
// them. Sizes in the file are not trusted: nothing is allocated beyond what the source stream
// still holds, and a file cut short keeps what was read.
class WaveDecoder : public core::Object, public audio::AudioStream
{
public:
    // An empty decoder: no format, no data, no stream.
    WaveDecoder();
    ~WaveDecoder() override;

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }

    // Parses the whole file. Raises Error::unknown "unable to read header" when the first 12
    // bytes do not come and "not RIFF WAVE format" when they are not a RIFF WAVE header; faults
    // in the chunks that follow end parsing with what was read so far. Returns true.
    bool startStream(core::io::Stream* stream);

    // Copies up to length bytes from the position on; -1 when there is nothing to copy.
    int read(unsigned char* buffer, int length) override;
    bool reset() override;
    int length() override;
    int position() override;
    core::SharedPointer<audio::AudioFormat> getAudioFormat() override;

    void close() override;
    bool closed() override;
    bool readable() override;
    bool writeable() override;
    int write(const unsigned char* buffer, int length) override;
    bool seek(int offset) override;
    bool flush() override;

    // Reads and discards count bytes of the stream, or up to its end.
    static void skip(core::io::Stream* stream, int64_t count);

    // Expands count bytes of IMA ADPCM codes, low nibble first, into 2 x count 16-bit samples
    // with one predictor and one step index, both starting at 0.
    static void ADPCMDecoder(const unsigned char* source, int16_t* destination, int count);

private:
    void clearData();
    // Reads a "data" chunk of the given (padded) size under the last format; false when it was
    // cut short.
    bool readData(core::io::Stream* stream, int64_t size);

    core::SharedPointer<audio::AudioFormat> mFormat;
    unsigned char* mData = nullptr;
    int32_t mLength = 0;
    int32_t mPosition = 0;
    core::IntrusivePointer<core::io::Stream> mStream;
    // From the last "fmt " chunk.
    int32_t mFormatTag = 0;
    int32_t mBlockAlign = 0;
    bool mFormatUsable = false;
};

} // namespace rezezaz::scene
