#include "audio/AudioFormatConversion.h"

#include "RiffWriter.h"
#include "audio/WaveDecoder.h"
#include "core/Exception.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using rezezaz::audio::AudioFormat;
using rezezaz::audio::AudioFormatConversion;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::scene::WaveDecoder;

namespace {

const AudioFormat MONO8(8, 1, 22050);
const AudioFormat STEREO8(8, 2, 22050);
const AudioFormat MONO16(16, 1, 22050);
const AudioFormat STEREO16(16, 2, 22050);

std::vector<unsigned char> le16(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values) {
        audiotest::RiffWriter::put16(out, v);
    }
    return out;
}

} // namespace

TEST(AudioFormatConversionTest, ConvertedLengthsAreWholeDestinationFrames)
{
    struct Case
    {
        const char* name;
        int length;
        AudioFormat source;
        AudioFormat destination;
        bool roundUp;
        int expected;
    };
    const Case cases[] = {
        {"same format", 1000, MONO16, MONO16, false, 1000},
        {"16 to 8 bits", 1000, MONO16, MONO8, true, 500},
        {"mono to stereo", 4, MONO16, STEREO16, false, 8},
        {"stereo to mono", 4, STEREO16, MONO16, false, 2},
        {"part frame rounded down", 3, MONO8, AudioFormat(16, 1, 11025), false, 2},
        {"part frame rounded up", 3, MONO8, AudioFormat(16, 1, 11025), true, 4},
        {"double rate", 10, MONO16, AudioFormat(16, 1, 44100), false, 20},
        {"no length", 0, MONO16, MONO16, true, 0},
        {"negative length", -8, MONO16, MONO16, true, 0},
        {"source without rate", 100, AudioFormat(16, 1, 0), MONO16, true, 0},
        {"source without channels", 100, AudioFormat(16, 0, 22050), MONO16, true, 0},
        // A result beyond an int is the largest whole number of frames an int holds.
        {"beyond an int", INT_MAX, AudioFormat(8, 1, 1), AudioFormat(16, 2, 1000), false, INT_MAX / 4 * 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AudioFormatConversion::findConvertedLength(c.length, c.source, c.destination, c.roundUp),
                  c.expected);
    }
}

TEST(AudioFormatConversionTest, ConvertsSampleWidthsAndChannels)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> source;
        AudioFormat sourceFormat;
        AudioFormat destinationFormat;
        std::vector<unsigned char> expected;
    };
    const Case cases[] = {
        {"8-bit top to 16 bits", {255, 128, 0}, MONO8, MONO16, le16({32512, 0, -32768})},
        {"16-bit extremes to 8 bits", le16({-32768, 32767, 0, -1, 255, 256}), MONO16, MONO8, {0, 255, 128, 127, 128, 129}},
        {"stereo to mono keeps the left channel", le16({100, -100, 200, -200}), STEREO16, MONO16, le16({100, 200})},
        {"mono to stereo duplicates", le16({7, -9}), MONO16, STEREO16, le16({7, 7, -9, -9})},
        {"8-bit stereo to 16-bit mono", {10, 250, 200, 0}, STEREO8, MONO16, le16({-118 * 256, 72 * 256})},
        {"16-bit mono to 8-bit stereo", le16({0x1234}), MONO16, STEREO8, {0x12 + 128, 0x12 + 128}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> destination(c.expected.size(), 0xAA);
        ASSERT_TRUE(AudioFormatConversion::convert(c.source.data(), static_cast<int>(c.source.size()), c.sourceFormat,
                                                   destination.data(), static_cast<int>(destination.size()),
                                                   c.destinationFormat));
        EXPECT_EQ(destination, c.expected);
    }
}

TEST(AudioFormatConversionTest, RateChangesPlaceFramesWithoutFiltering)
{
    // Double the rate: source frame k lands on frame 2k; the frames between keep their bytes.
    const std::vector<unsigned char> source = le16({1, 2, 3});
    std::vector<unsigned char> up(12, 0xEE);
    ASSERT_TRUE(AudioFormatConversion::convert(source.data(), 6, MONO16, up.data(), 12, AudioFormat(16, 1, 44100)));
    const std::vector<unsigned char> kept = {0xEE, 0xEE};
    std::vector<unsigned char> expected = le16({1});
    for (int v : {2, 3}) {
        expected.insert(expected.end(), kept.begin(), kept.end());
        const std::vector<unsigned char> sample = le16({v});
        expected.insert(expected.end(), sample.begin(), sample.end());
    }
    expected.insert(expected.end(), kept.begin(), kept.end());
    EXPECT_EQ(up, expected);

    // Halve the rate: frames 0 and 1 both reach frame 0, and the last one wins.
    const std::vector<unsigned char> four = le16({10, 20, 30, 40});
    std::vector<unsigned char> down(4, 0);
    ASSERT_TRUE(AudioFormatConversion::convert(four.data(), 8, MONO16, down.data(), 4, AudioFormat(16, 1, 11025)));
    EXPECT_EQ(down, le16({20, 40}));
}

TEST(AudioFormatConversionTest, RefusesADestinationTooShortAndWritesNothing)
{
    const std::vector<unsigned char> source = le16({1, 2, 3, 4});
    struct Case
    {
        const char* name;
        AudioFormat destinationFormat;
        int needed;
    };
    const Case cases[] = {
        {"same format", MONO16, 8},
        {"to stereo", STEREO16, 16},
        {"to 8 bits", MONO8, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> destination(static_cast<size_t>(c.needed), 0xAA);
        try {
            AudioFormatConversion::convert(source.data(), 8, MONO16, destination.data(), c.needed - 1,
                                           c.destinationFormat);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_STREQ(e.getDescription(), "invalid destination length");
        }
        EXPECT_EQ(destination, std::vector<unsigned char>(static_cast<size_t>(c.needed), 0xAA));
        EXPECT_TRUE(AudioFormatConversion::convert(source.data(), 8, MONO16, destination.data(), c.needed,
                                                   c.destinationFormat));
    }
}

TEST(AudioFormatConversionTest, WidthsOtherThan8And16BitsAreNotConverted)
{
    const std::vector<unsigned char> source(12, 0x40);
    std::vector<unsigned char> destination(64, 0xAA);
    for (const AudioFormat& odd : {AudioFormat(24, 1, 22050), AudioFormat(16, 0, 22050), AudioFormat(16, 1, 0)}) {
        EXPECT_FALSE(AudioFormatConversion::convert(source.data(), 12, odd, destination.data(), 64, MONO16));
        EXPECT_FALSE(AudioFormatConversion::convert(source.data(), 12, MONO16, destination.data(), 64, odd));
    }
    EXPECT_EQ(destination, std::vector<unsigned char>(64, 0xAA));
}

TEST(AudioFormatConversionTest, FadeRampsBothEndsLinearly)
{
    // 100 ms at 22050 frames per second: 2205 frames at each end.
    const int frames = 22050;
    std::vector<int16_t> samples(frames, 10000);
    AudioFormatConversion::fade(reinterpret_cast<unsigned char*>(samples.data()), frames * 2, MONO16, 100);
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[frames - 1], 0);
    EXPECT_EQ(samples[1], 10000 * 1 / 2205);
    EXPECT_EQ(samples[1000], 10000 * 1000 / 2205);
    EXPECT_EQ(samples[frames - 1 - 1000], 10000 * 1000 / 2205);
    EXPECT_EQ(samples[2204], 10000 * 2204 / 2205);
    EXPECT_EQ(samples[2205], 10000);
    EXPECT_EQ(samples[frames - 2206], 10000);

    // Negative samples truncate toward zero; both channels of a frame are scaled.
    std::vector<int16_t> stereo(2 * 3000, -10000);
    AudioFormatConversion::fade(reinterpret_cast<unsigned char*>(stereo.data()), 2 * 3000 * 2, STEREO16, 100);
    EXPECT_EQ(stereo[2 * 7], -10000 * 7 / 2205);
    EXPECT_EQ(stereo[2 * 7 + 1], -10000 * 7 / 2205);

    // 8-bit samples ramp around 128.
    std::vector<unsigned char> bytes(5000, 228);
    AudioFormatConversion::fade(bytes.data(), 5000, MONO8, 100);
    EXPECT_EQ(bytes[0], 128);
    EXPECT_EQ(bytes[4999], 128);
    EXPECT_EQ(bytes[1100], 128 + 100 * 1100 / 2205);
    EXPECT_EQ(bytes[2500], 228);
}

TEST(AudioFormatConversionTest, FadeOfAShortSoundOverlapsItsRamps)
{
    // 1000 frames, shorter than the 2205-frame ramp: both ramps run over every frame, so each
    // frame is scaled from the start and again from the end.
    std::vector<int16_t> samples(1000, 30000);
    AudioFormatConversion::fade(reinterpret_cast<unsigned char*>(samples.data()), 2000, MONO16, 100);
    for (int i : {0, 1, 250, 500, 999}) {
        SCOPED_TRACE(i);
        const int once = 30000 * i / 1000;
        EXPECT_EQ(samples[static_cast<size_t>(i)], once * (999 - i) / 1000);
    }

    // Other widths and an empty fade are left untouched.
    std::vector<unsigned char> wide(300, 77);
    AudioFormatConversion::fade(wide.data(), 300, AudioFormat(24, 1, 22050), 100);
    AudioFormatConversion::fade(wide.data(), 300, MONO8, 0);
    EXPECT_EQ(wide, std::vector<unsigned char>(300, 77));
}

TEST(AudioFormatConversionTest, DecodeReadsAnAudioStreamToItsEnd)
{
    // 5001 bytes of 8-bit data (5002 with the pad byte): not a whole number of 4096-byte pieces,
    // so the stream's last read is short and the one after it ends the data.
    std::vector<unsigned char> body(5001);
    for (size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<unsigned char>(i * 31);
    }
    audiotest::RiffWriter file;
    file.fmt(1, 1, 8000, 8).chunk("data", body);
    IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
    decoder->startStream(audiotest::memoryStream(file.bytes()).get());

    unsigned char* data = nullptr;
    int length = 0;
    ASSERT_TRUE(AudioFormatConversion::decode(decoder.get(), data, length));
    std::unique_ptr<unsigned char[]> owned(data);
    ASSERT_EQ(length, 5002);
    EXPECT_EQ(std::memcmp(data, body.data(), body.size()), 0);
    // The pad byte is served as 8-bit silence.
    EXPECT_EQ(data[5001], 128);
}

TEST(AudioFormatConversionTest, DecodeOfAnEmptyOrMissingStreamFails)
{
    audiotest::RiffWriter file;
    file.fmt(1, 1, 8000, 8);
    IntrusivePointer<WaveDecoder> empty(new WaveDecoder());
    empty->startStream(audiotest::memoryStream(file.bytes()).get());

    unsigned char* data = reinterpret_cast<unsigned char*>(&file);
    int length = 99;
    EXPECT_FALSE(AudioFormatConversion::decode(empty.get(), data, length));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(AudioFormatConversion::decode(nullptr, data, length));
    EXPECT_EQ(data, nullptr);
}
