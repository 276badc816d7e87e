#include "ALTestSupport.h"

#include "audio/al/ALAudio.h"
#include "audio/al/ALAudioBuffer.h"
#include "audio/al/ALAudioDevice.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

using altest::ALTest;
using altest::MemoryAudioStream;
using rezezaz::audio::ALAudio;
using rezezaz::audio::ALAudioBuffer;
using rezezaz::audio::AudioFormat;
using rezezaz::core::IntrusivePointer;

// OpenAL Soft runs with the wave backend (see wave.conf): everything mixed is written, sample for
// sample, to a mono 16-bit file at 22050 frames per second, which the tests read once the device
// is closed. The file's name is fixed for the whole process when OpenAL first reads its settings,
// so it is chosen before any test runs, in a folder of this process's own.
namespace {

support::TemporaryFolder* folder = nullptr;

class WaveFileEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        folder = new support::TemporaryFolder();
        setenv("PELOTUNE_AL_WAVE_FILE", folder->file("mix.wav").c_str(), 1);
    }
    void TearDown() override
    {
        delete folder;
        folder = nullptr;
    }
};

const ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new WaveFileEnvironment());

const AudioFormat MONO16(16, 1, 22050);

// The samples of the mix file's "data" chunk.
std::vector<int16_t> mixedSamples()
{
    std::ifstream in(folder->file("mix.wav"), std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const uint32_t size = file[at + 4] | (file[at + 5] << 8) | (file[at + 6] << 16) |
                              (static_cast<uint32_t>(file[at + 7]) << 24);
        if (std::memcmp(&file[at], "data", 4) == 0) {
            std::vector<int16_t> samples;
            for (size_t i = at + 8; i + 1 < file.size() && i + 1 < at + 8 + size; i += 2) {
                samples.push_back(static_cast<int16_t>(file[i] | (file[i + 1] << 8)));
            }
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// Where the expected samples start in the mix, or -1.
long find(const std::vector<int16_t>& mix, const std::vector<int16_t>& expected)
{
    const auto at = std::search(mix.begin(), mix.end(), expected.begin(), expected.end());
    return at == mix.end() ? -1 : static_cast<long>(at - mix.begin());
}

// Where the expected samples start in the mix, or -1, allowing runs of silence between them: a
// streamed sound whose ring ran dry (the test process stalled, say) goes silent until its next
// refill and then goes on where it stopped. Every expected sample must still come, in order, with
// nothing but silence in between. (The patterns never hold the same value twice in a row, so a
// zero of the pattern is told from inserted silence by what follows it.)
long findAllowingSilence(const std::vector<int16_t>& mix, const std::vector<int16_t>& expected)
{
    if (expected.empty()) {
        return 0;
    }
    for (size_t start = 0; start < mix.size(); ++start) {
        if (mix[start] != expected[0]) {
            continue;
        }
        size_t j = 1;
        for (size_t i = start + 1; i < mix.size() && j < expected.size(); ++i) {
            if (mix[i] == expected[j]) {
                ++j;
            } else if (mix[i] != 0) {
                break;
            }
        }
        if (j == expected.size()) {
            return static_cast<long>(start);
        }
    }
    return -1;
}

} // namespace

class ALAudioWaveTest : public ALTest
{
protected:
    // Closes the device, so that the file is complete, and returns what was mixed.
    std::vector<int16_t> closeAndReadMix()
    {
        mDevice->destroy();
        return mixedSamples();
    }
};

TEST_F(ALAudioWaveTest, ABufferIsFadedInAndOutOverItsFirstAndLast100Milliseconds)
{
    const int frames = 11025;
    std::vector<int16_t> constant(frames, 12000);
    IntrusivePointer<MemoryAudioStream> source(new MemoryAudioStream(MONO16, altest::bytes16(constant)));
    IntrusivePointer<ALAudioBuffer> buffer(static_cast<ALAudioBuffer*>(device().createAudioBuffer()));
    ASSERT_TRUE(buffer->create(source.get()));
    EXPECT_EQ(buffer->getLengthTime(), 500);
    IntrusivePointer<ALAudio> audio(static_cast<ALAudio*>(device().createAudio()));
    ASSERT_TRUE(audio->create(buffer.get()));
    ASSERT_TRUE(audio->play());
    ASSERT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    audio = nullptr;

    // 2205 frames of ramp at each end; the first and last frames are silent.
    std::vector<int16_t> expected(frames, 12000);
    for (int i = 0; i < 2205; ++i) {
        expected[static_cast<size_t>(i)] = static_cast<int16_t>(12000 * i / 2205);
        expected[static_cast<size_t>(frames - 1 - i)] = static_cast<int16_t>(12000 * i / 2205);
    }
    const std::vector<int16_t> mix = closeAndReadMix();
    const long at = find(mix, std::vector<int16_t>(expected.begin() + 1, expected.end() - 1));
    ASSERT_GE(at, 1) << "the faded sound is not in the mix of " << mix.size() << " samples";
    EXPECT_EQ(mix[static_cast<size_t>(at - 1)], 0);
    EXPECT_EQ(mix[static_cast<size_t>(at) + expected.size() - 2], 0);
}

TEST_F(ALAudioWaveTest, ALoopingStreamWrapsWithoutAGap)
{
    // 3000 frames, not a whole number of ring buffers, so the wrap falls inside a buffer.
    const std::vector<int16_t> once = altest::pattern(3000, 7);
    IntrusivePointer<MemoryAudioStream> source(new MemoryAudioStream(MONO16, altest::bytes16(once)));
    IntrusivePointer<ALAudio> audio(static_cast<ALAudio*>(device().createAudio()));
    ASSERT_TRUE(audio->create(source.get()));
    audio->setLooping(true);
    ASSERT_TRUE(audio->play());
    ASSERT_TRUE(waitUntil([&] { return source->resets() >= 8; }));
    EXPECT_FALSE(audio->getFinished());
    audio->stop();

    std::vector<int16_t> threeTimes;
    for (int i = 0; i < 3; ++i) {
        threeTimes.insert(threeTimes.end(), once.begin(), once.end());
    }
    const std::vector<int16_t> mix = closeAndReadMix();
    EXPECT_GE(find(mix, threeTimes), 0) << "three loops back to back are not in the mix of " << mix.size()
                                        << " samples";
}

TEST_F(ALAudioWaveTest, APositionedStereoStreamPlaysItsLeftChannel)
{
    const std::vector<int16_t> left = altest::pattern(6000, 3);
    const std::vector<int16_t> right = altest::pattern(6000, 4);
    std::vector<int16_t> interleaved;
    for (size_t i = 0; i < left.size(); ++i) {
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    IntrusivePointer<MemoryAudioStream> source(
        new MemoryAudioStream(AudioFormat(16, 2, 22050), altest::bytes16(interleaved)));
    IntrusivePointer<ALAudio> audio(static_cast<ALAudio*>(device().createAudio()));
    ASSERT_TRUE(audio->create(source.get()));
    ASSERT_TRUE(audio->play());
    ASSERT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    audio = nullptr;

    const std::vector<int16_t> mix = closeAndReadMix();
    EXPECT_GE(findAllowingSilence(mix, left), 0) << "the left channel is not in the mix of " << mix.size() << " samples";
}

TEST_F(ALAudioWaveTest, APositionedStreamOfThreeChannelsPlaysItsFirst)
{
    // 6-byte frames: the ring's refills must stay on frame boundaries for the first channel to
    // come through whole.
    const std::vector<int16_t> channels[3] = {altest::pattern(6000, 5), altest::pattern(6000, 6), altest::pattern(6000, 8)};
    std::vector<int16_t> interleaved;
    for (size_t i = 0; i < channels[0].size(); ++i) {
        for (const auto& channel : channels) {
            interleaved.push_back(channel[i]);
        }
    }
    IntrusivePointer<MemoryAudioStream> source(
        new MemoryAudioStream(AudioFormat(16, 3, 22050), altest::bytes16(interleaved)));
    IntrusivePointer<ALAudio> audio(static_cast<ALAudio*>(device().createAudio()));
    ASSERT_TRUE(audio->create(source.get()));
    ASSERT_TRUE(audio->play());
    ASSERT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    audio = nullptr;

    const std::vector<int16_t> mix = closeAndReadMix();
    EXPECT_GE(findAllowingSilence(mix, channels[0]), 0)
        << "the first channel is not in the mix of " << mix.size() << " samples";
}
