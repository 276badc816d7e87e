// Feeds arbitrary bytes to the WAV decoder as a file, then reads back what it decoded and converts
// and fades it as the audio device would. Header faults raise and are expected; nothing else may
// go wrong.
#include "audio/AudioFormatConversion.h"
#include "audio/WaveDecoder.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using rezezaz::audio::AudioFormat;
using rezezaz::audio::AudioFormatConversion;
using rezezaz::core::IntrusivePointer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        // The decoder logs each header fault; thousands of runs need no console lines.
        rezezaz::core::Log::getInstance()->setMasterReportingLevel(0);
        return true;
    }();
    (void)quiet;
    if (size > (1u << 20)) {
        return 0;
    }
    unsigned char* copy = new unsigned char[size + 1];
    if (size > 0) {
        std::memcpy(copy, data, size);
    }
    IntrusivePointer<rezezaz::core::io::MemoryStream> file(
        new rezezaz::core::io::MemoryStream(copy, static_cast<int>(size), static_cast<int>(size), true));
    IntrusivePointer<rezezaz::scene::WaveDecoder> decoder(new rezezaz::scene::WaveDecoder());
    try {
        decoder->startStream(file.get());
    } catch (const rezezaz::core::Exception&) {
        return 0;
    }

    unsigned char* bytes = nullptr;
    int length = 0;
    if (!AudioFormatConversion::decode(decoder.get(), bytes, length)) {
        return 0;
    }
    std::unique_ptr<unsigned char[]> owned(bytes);
    if (length != decoder->length()) {
        __builtin_trap();
    }
    const AudioFormat format = *decoder->getAudioFormat();
    AudioFormatConversion::fade(bytes, length, format, 100);
    // Down to mono, as a positioned sound plays a stereo stream.
    AudioFormat mono(format);
    mono.channels = 1;
    const int converted = AudioFormatConversion::findConvertedLength(length, format, mono, true);
    if (converted > 0 && converted <= (1 << 24)) {
        std::vector<unsigned char> out(static_cast<size_t>(converted));
        AudioFormatConversion::convert(bytes, length, format, out.data(), converted, mono);
    }
    return 0;
}
