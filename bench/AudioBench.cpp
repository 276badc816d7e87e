// Decoding speed of the WAV decoder against libsndfile on the same files (10 s of 44.1 kHz
// stereo, as 16-bit PCM and as IMA ADPCM), after checking that both give the same samples; and
// the CPU time of one device update with eight streams playing on OpenAL Soft's null backend.
#include "audio/Audio.h"
#include "audio/WaveDecoder.h"
#include "audio/al/ALAudioDevice.h"
#include "core/IntrusivePointer.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/io/MemoryStream.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::core::io::MemoryStream;
using rezezaz::scene::WaveDecoder;

namespace {

const int RATE = 44100;
const int FRAMES = 10 * RATE;

// A virtual file for libsndfile over a byte vector: read in place, or grown by writing.
struct VirtualFile
{
    std::vector<unsigned char> bytes;
    const std::vector<unsigned char>* source = nullptr;
    sf_count_t position = 0;

    const std::vector<unsigned char>& content() const { return source != nullptr ? *source : bytes; }
};

sf_count_t vLength(void* user)
{
    return static_cast<sf_count_t>(static_cast<VirtualFile*>(user)->content().size());
}
sf_count_t vSeek(sf_count_t offset, int whence, void* user)
{
    VirtualFile* f = static_cast<VirtualFile*>(user);
    const sf_count_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? f->position
                                                 : static_cast<sf_count_t>(f->content().size());
    f->position = base + offset;
    return f->position;
}
sf_count_t vRead(void* out, sf_count_t count, void* user)
{
    VirtualFile* f = static_cast<VirtualFile*>(user);
    const std::vector<unsigned char>& bytes = f->content();
    const sf_count_t left = static_cast<sf_count_t>(bytes.size()) - f->position;
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, left));
    std::memcpy(out, bytes.data() + f->position, static_cast<size_t>(n));
    f->position += n;
    return n;
}
sf_count_t vWrite(const void* in, sf_count_t count, void* user)
{
    VirtualFile* f = static_cast<VirtualFile*>(user);
    const size_t end = static_cast<size_t>(f->position + count);
    if (end > f->bytes.size()) {
        f->bytes.resize(end);
    }
    std::memcpy(f->bytes.data() + f->position, in, static_cast<size_t>(count));
    f->position += count;
    return count;
}
sf_count_t vTell(void* user)
{
    return static_cast<VirtualFile*>(user)->position;
}
SF_VIRTUAL_IO virtualIO = {vLength, vSeek, vRead, vWrite, vTell};

std::vector<short> signal()
{
    std::vector<short> samples(static_cast<size_t>(FRAMES) * 2);
    uint32_t noise = 12345;
    for (int i = 0; i < FRAMES; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / RATE;
        const double tone = 9000.0 * std::sin(2.0 * M_PI * (220.0 + 40.0 * t) * t);
        const int jitter = static_cast<int>(noise >> 22) - 512;
        samples[2 * static_cast<size_t>(i)] = static_cast<short>(tone + jitter);
        samples[2 * static_cast<size_t>(i) + 1] = static_cast<short>(-tone / 2 + jitter);
    }
    return samples;
}

// The signal written by libsndfile as a WAV file of the given subtype.
std::vector<unsigned char> wavFile(int subtype)
{
    static const std::vector<short> samples = signal();
    VirtualFile file;
    SF_INFO info = {};
    info.samplerate = RATE;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* out = sf_open_virtual(&virtualIO, SFM_WRITE, &info, &file);
    if (out == nullptr) {
        return {};
    }
    sf_writef_short(out, samples.data(), FRAMES);
    sf_close(out);
    return file.bytes;
}

const std::vector<unsigned char>& pcmFile()
{
    static const std::vector<unsigned char> file = wavFile(SF_FORMAT_PCM_16);
    return file;
}

const std::vector<unsigned char>& imaFile()
{
    static const std::vector<unsigned char> file = wavFile(SF_FORMAT_IMA_ADPCM);
    return file;
}

std::vector<short> decodeWithDecoder(const std::vector<unsigned char>& file)
{
    IntrusivePointer<MemoryStream> stream(new MemoryStream(const_cast<unsigned char*>(file.data()),
                                                           static_cast<int>(file.size()), static_cast<int>(file.size()), false));
    IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
    decoder->startStream(stream.get());
    std::vector<short> samples(static_cast<size_t>(decoder->length()) / 2);
    const int got = decoder->read(reinterpret_cast<unsigned char*>(samples.data()), decoder->length());
    samples.resize(got > 0 ? static_cast<size_t>(got) / 2 : 0);
    return samples;
}

std::vector<short> decodeWithSndfile(const std::vector<unsigned char>& bytes)
{
    VirtualFile file;
    file.source = &bytes;
    SF_INFO info = {};
    SNDFILE* in = sf_open_virtual(&virtualIO, SFM_READ, &info, &file);
    if (in == nullptr) {
        return {};
    }
    std::vector<short> samples(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_short(in, samples.data(), info.frames);
    samples.resize(static_cast<size_t>(got) * static_cast<size_t>(info.channels));
    sf_close(in);
    return samples;
}

// Both decoders must agree before either is timed. libsndfile stops at the sample count of the
// "fact" chunk; the decoder serves the whole last block, so only libsndfile's samples are compared.
bool agree(const std::vector<unsigned char>& file, benchmark::State& state)
{
    const std::vector<short> ours = decodeWithDecoder(file);
    const std::vector<short> theirs = decodeWithSndfile(file);
    if (theirs.empty() || ours.size() < theirs.size() ||
        !std::equal(theirs.begin(), theirs.end(), ours.begin())) {
        state.SkipWithError("the decoders disagree");
        return false;
    }
    return true;
}

// Each timed run opens the file and reads every sample in pieces of 4096 bytes, as a streaming
// sound reads, into the same scratch buffer.
void decoderBench(benchmark::State& state, const std::vector<unsigned char>& file)
{
    if (!agree(file, state)) {
        return;
    }
    std::vector<unsigned char> scratch(4096);
    int64_t bytes = 0;
    for (auto _ : state) {
        IntrusivePointer<MemoryStream> stream(new MemoryStream(const_cast<unsigned char*>(file.data()),
                                                               static_cast<int>(file.size()),
                                                               static_cast<int>(file.size()), false));
        IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
        decoder->startStream(stream.get());
        for (int got; (got = decoder->read(scratch.data(), 4096)) > 0;) {
            benchmark::DoNotOptimize(scratch.data());
            bytes += got;
        }
    }
    state.SetBytesProcessed(bytes);
}

void sndfileBench(benchmark::State& state, const std::vector<unsigned char>& bytesOfFile)
{
    if (!agree(bytesOfFile, state)) {
        return;
    }
    std::vector<short> scratch(2048);
    int64_t bytes = 0;
    for (auto _ : state) {
        VirtualFile file;
        file.source = &bytesOfFile;
        SF_INFO info = {};
        SNDFILE* in = sf_open_virtual(&virtualIO, SFM_READ, &info, &file);
        for (sf_count_t got; (got = sf_read_short(in, scratch.data(), 2048)) > 0;) {
            benchmark::DoNotOptimize(scratch.data());
            bytes += got * 2;
        }
        sf_close(in);
    }
    state.SetBytesProcessed(bytes);
}

void BM_DecodePcm_WaveDecoder(benchmark::State& state)
{
    decoderBench(state, pcmFile());
}
void BM_DecodePcm_Sndfile(benchmark::State& state)
{
    sndfileBench(state, pcmFile());
}
void BM_DecodeImaAdpcm_WaveDecoder(benchmark::State& state)
{
    decoderBench(state, imaFile());
}
void BM_DecodeImaAdpcm_Sndfile(benchmark::State& state)
{
    sndfileBench(state, imaFile());
}

// One update of a device with eight looping streams of the PCM file, each played as mono, after
// 10 ms of mixing (not timed) so that the updates find played buffers to refill.
void BM_DeviceUpdate_EightStreams(benchmark::State& state)
{
    setenv("ALSOFT_DRIVERS", "null", 0);
    rezezaz::core::Log::getInstance()->setMasterReportingLevel(rezezaz::core::Logger::ERROR);
    IntrusivePointer<rezezaz::audio::AudioDevice> device(rezezaz::audio::new_ALAudioDevice());
    try {
        device->create(0);
    } catch (...) {
        state.SkipWithError("no OpenAL device");
        return;
    }
    std::vector<IntrusivePointer<rezezaz::audio::Audio>> sounds;
    std::vector<IntrusivePointer<WaveDecoder>> streams;
    const std::vector<unsigned char>& file = pcmFile();
    for (int i = 0; i < 8; ++i) {
        IntrusivePointer<MemoryStream> bytes(new MemoryStream(const_cast<unsigned char*>(file.data()),
                                                              static_cast<int>(file.size()),
                                                              static_cast<int>(file.size()), false));
        IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
        decoder->startStream(bytes.get());
        IntrusivePointer<rezezaz::audio::Audio> sound(device->createAudio());
        sound->create(decoder.get());
        sound->setLooping(true);
        sound->play();
        sounds.push_back(sound);
        streams.push_back(decoder);
    }
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        state.ResumeTiming();
        device->update(10);
    }
    int playing = 0;
    for (const auto& sound : sounds) {
        playing += sound->getPlaying() ? 1 : 0;
    }
    state.counters["playing"] = playing;
    sounds.clear();
    device->destroy();
}

} // namespace

BENCHMARK(BM_DecodePcm_WaveDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePcm_Sndfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeImaAdpcm_WaveDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeImaAdpcm_Sndfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceUpdate_EightStreams)->Unit(benchmark::kMicrosecond)->Iterations(300);
