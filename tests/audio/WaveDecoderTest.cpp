#include "audio/WaveDecoder.h"

#include "RiffWriter.h"
#include "core/Exception.h"
#include "support/FaultyStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using audiotest::RiffWriter;
using rezezaz::audio::AudioFormat;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::scene::WaveDecoder;

namespace {

const std::string DATA = std::string(PELOTUNE_TEST_DATA) + "/data/";

struct Decoded
{
    AudioFormat format;
    std::vector<unsigned char> bytes;
};

// Parses the file and reads everything the decoder serves, in pieces of 1000 bytes.
Decoded decode(rezezaz::core::io::Stream* stream)
{
    IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
    EXPECT_TRUE(decoder->startStream(stream));
    Decoded result;
    result.format = *decoder->getAudioFormat();
    unsigned char piece[1000];
    for (;;) {
        const int got = decoder->read(piece, sizeof(piece));
        if (got < 0) {
            break;
        }
        EXPECT_GT(got, 0);
        result.bytes.insert(result.bytes.end(), piece, piece + got);
    }
    EXPECT_EQ(static_cast<int>(result.bytes.size()), decoder->length());
    EXPECT_EQ(decoder->position(), decoder->length());
    return result;
}

Decoded decode(const std::vector<unsigned char>& file)
{
    return decode(audiotest::memoryStream(file).get());
}

// The body of the file's "data" chunk, found by its id.
std::vector<unsigned char> dataChunk(const std::vector<unsigned char>& file)
{
    static const char id[] = "data";
    const auto at = std::search(file.begin(), file.end(), id, id + 4);
    const size_t start = static_cast<size_t>(at - file.begin()) + 8;
    const size_t size = file[start - 4] | (file[start - 3] << 8) | (file[start - 2] << 16) |
                        (static_cast<size_t>(file[start - 1]) << 24);
    return std::vector<unsigned char>(file.begin() + static_cast<long>(start),
                                      file.begin() + static_cast<long>(std::min(start + size, file.size())));
}

std::vector<unsigned char> ramp(int count)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<unsigned char>(i * 37 + 11);
    }
    return bytes;
}

} // namespace

TEST(WaveDecoderTest, DecodesTheFixturesAsTheirWritersMeantThem)
{
    struct Case
    {
        const char* file;
        AudioFormat format;
        // The samples the file must give: its own data chunk for PCM, sox's decode for IMA ADPCM.
        const char* reference;
    };
    const Case cases[] = {
        {"pcm8Mono.wav", AudioFormat(8, 1, 8000), nullptr},
        {"pcm8Stereo.wav", AudioFormat(8, 2, 8000), nullptr},
        {"pcm16Mono.wav", AudioFormat(16, 1, 11025), nullptr},
        {"pcm16Stereo.wav", AudioFormat(16, 2, 11025), nullptr},
        // The same samples as pcm16Mono.wav, behind a LIST chunk, and with the sizes a pipe leaves.
        {"listBeforeData.wav", AudioFormat(16, 1, 11025), "pcm16Mono.wav"},
        {"pipedSizes.wav", AudioFormat(16, 1, 11025), "pcm16Mono.wav"},
        {"imaMono.wav", AudioFormat(16, 1, 11025), "imaMono.raw"},
        {"imaStereo.wav", AudioFormat(16, 2, 11025), "imaStereo.raw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::vector<unsigned char> file = audiotest::readFileBytes(DATA + c.file);
        ASSERT_FALSE(file.empty());
        const Decoded decoded = decode(file);
        EXPECT_EQ(decoded.format.bitsPerSample, c.format.bitsPerSample);
        EXPECT_EQ(decoded.format.channels, c.format.channels);
        EXPECT_EQ(decoded.format.samplesPerSecond, c.format.samplesPerSecond);
        std::vector<unsigned char> expected;
        if (c.reference == nullptr) {
            expected = dataChunk(file);
        } else if (std::string(c.reference).find(".raw") != std::string::npos) {
            expected = audiotest::readFileBytes(DATA + c.reference);
        } else {
            expected = dataChunk(audiotest::readFileBytes(DATA + c.reference));
        }
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(decoded.bytes.size(), expected.size());
        EXPECT_TRUE(decoded.bytes == expected);
    }
}

TEST(WaveDecoderTest, ChunkListFaultsKeepWhatWasRead)
{
    const std::vector<unsigned char> body = ramp(600);
    const std::vector<unsigned char> odd = ramp(1001);
    // A PCM format whose last byte (the high byte of the width) is left to the pad byte.
    const std::vector<unsigned char> fmt15 = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8};
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        int length;
        // Expected data: the first `length` bytes of this, when given.
        const std::vector<unsigned char>* prefix;
        int bits;
    };
    const Case cases[] = {
        {"no chunks", RiffWriter().riffSize(4).bytes(), 0, nullptr, 16},
        {"odd data keeps its pad byte", RiffWriter().fmt(1, 1, 8000, 8).chunk("data", odd).bytes(), 1002, &odd, 8},
        {"unknown chunk between fmt and data",
         RiffWriter().fmt(1, 1, 8000, 8).chunk("junk", ramp(33)).chunk("data", body).bytes(), 600, &body, 8},
        {"data before fmt is not sound", RiffWriter().chunk("data", body).fmt(1, 1, 8000, 8).bytes(), 0, nullptr, 8},
        {"fmt under 16 bytes ends parsing", RiffWriter().chunk("fmt ", ramp(14)).chunk("data", body).bytes(), 0,
         nullptr, 16},
        {"fmt of 15 bytes ends parsing", RiffWriter().chunk("fmt ", fmt15).chunk("data", body).bytes(), 0, nullptr,
         16},
        {"fmt under 16 bytes after data keeps the data",
         RiffWriter().fmt(1, 1, 8000, 8).chunk("data", body).chunk("fmt ", ramp(14)).bytes(), 600, &body, 8},
        {"fmt cut short", RiffWriter().chunk("fmt ", 16, ramp(10)).bytes(), 0, nullptr, 16},
        {"data longer than the file", RiffWriter().fmt(1, 1, 8000, 8).chunk("data", 100000, body).bytes(), 600, &body,
         8},
        {"data of size 0xFFFFFFFF", RiffWriter().fmt(1, 1, 8000, 8).chunk("data", 0xFFFFFFFFu, body).bytes(), 600,
         &body, 8},
        {"RIFF size 0xFFFFFFFF", RiffWriter().fmt(1, 1, 8000, 8).chunk("data", body).riffSize(0xFFFFFFFFu).bytes(),
         600, &body, 8},
        {"RIFF size ends before data", RiffWriter().fmt(1, 1, 8000, 8).chunk("data", body).riffSize(4 + 24).bytes(), 0,
         nullptr, 8},
        {"second data chunk replaces the first",
         RiffWriter().fmt(1, 1, 8000, 8).chunk("data", ramp(5000)).chunk("data", body).bytes(), 600, &body, 8},
        {"fmt after data describes no data",
         RiffWriter().fmt(1, 1, 8000, 8).chunk("data", body).fmt(1, 2, 44100, 16).bytes(), 600, &body, 8},
        {"data of another format tag after data",
         RiffWriter().fmt(1, 1, 8000, 8).chunk("data", body).fmt(3, 1, 8000, 32).chunk("data", ramp(40)).bytes(), 600,
         &body, 8},
        {"no channels", RiffWriter().fmt(1, 0, 8000, 16).chunk("data", body).bytes(), 0, nullptr, 16},
        {"rate 0", RiffWriter().fmt(1, 1, 0, 16).chunk("data", body).bytes(), 0, nullptr, 16},
        {"width 0", RiffWriter().fmt(1, 1, 8000, 0).chunk("data", body).bytes(), 0, nullptr, 0},
        {"width 12", RiffWriter().fmt(1, 1, 8000, 12).chunk("data", body).bytes(), 0, nullptr, 12},
        {"IMA ADPCM of width 3", RiffWriter().fmt(17, 1, 8000, 3).chunk("data", body).bytes(), 0, nullptr, 16},
        {"IMA ADPCM without channels", RiffWriter().fmt(17, 0, 8000, 4).chunk("data", body).bytes(), 0, nullptr, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decode(c.file);
        EXPECT_EQ(decoded.format.bitsPerSample, c.bits);
        ASSERT_EQ(static_cast<int>(decoded.bytes.size()), c.length);
        if (c.prefix != nullptr) {
            const size_t n = std::min(decoded.bytes.size(), c.prefix->size());
            EXPECT_TRUE(std::equal(decoded.bytes.begin(), decoded.bytes.begin() + static_cast<long>(n),
                                   c.prefix->begin()));
        }
    }

    // The pad byte after an odd count of 8-bit samples is silence, whatever the file holds there.
    for (unsigned char pad : {0, 255}) {
        std::vector<unsigned char> file = RiffWriter().fmt(1, 1, 8000, 8).chunk("data", odd).bytes();
        file.back() = pad;
        const Decoded decoded = decode(file);
        ASSERT_EQ(decoded.bytes.size(), 1002u);
        EXPECT_EQ(decoded.bytes.back(), 128) << int(pad);
    }
}

TEST(WaveDecoderTest, SamplesOfOtherCodingsAreRefused)
{
    // Float, A-law, mu-law and extensible files: an error naming the tag, and no data.
    for (int tag : {3, 6, 7, 0xFFFE}) {
        SCOPED_TRACE(tag);
        IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
        const std::vector<unsigned char> file = RiffWriter().fmt(tag, 1, 8000, tag == 3 ? 32 : 8).chunk("data", ramp(64)).bytes();
        try {
            decoder->startStream(audiotest::memoryStream(file).get());
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.getDescription()), "unsupported WAVE format tag " + std::to_string(tag));
        }
        EXPECT_EQ(decoder->length(), 0);
    }
}

TEST(WaveDecoderTest, HeaderFaultsRaiseWithTheirTexts)
{
    struct Case
    {
        const char* name;
        std::vector<unsigned char> file;
        const char* text;
    };
    std::vector<unsigned char> rifx = RiffWriter().fmt(1, 1, 8000, 8).bytes();
    rifx[3] = 'X';
    std::vector<unsigned char> avi = RiffWriter().bytes();
    const std::vector<unsigned char> shortHeader(avi.begin(), avi.begin() + 11);
    std::memcpy(&avi[8], "AVI ", 4);
    const Case cases[] = {
        {"empty", {}, "unable to read header"},
        {"11 bytes", shortHeader, "unable to read header"},
        {"RIFX", rifx, "not RIFF WAVE format"},
        {"AVI", avi, "not RIFF WAVE format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
        try {
            decoder->startStream(audiotest::memoryStream(c.file).get());
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_STREQ(e.getDescription(), c.text);
        }
        EXPECT_EQ(decoder->length(), 0);
        unsigned char byte = 0;
        EXPECT_EQ(decoder->read(&byte, 1), -1);
    }
}

TEST(WaveDecoderTest, ReadServesTheDataOnceUntilReset)
{
    const std::vector<unsigned char> body = ramp(10);
    IntrusivePointer<WaveDecoder> decoder(new WaveDecoder());
    ASSERT_TRUE(decoder->startStream(audiotest::memoryStream(RiffWriter().fmt(1, 1, 8000, 8).chunk("data", body).bytes()).get()));

    unsigned char piece[16] = {};
    EXPECT_EQ(decoder->read(piece, 0), -1);
    EXPECT_EQ(decoder->read(piece, -5), -1);
    EXPECT_EQ(decoder->position(), 0);
    EXPECT_EQ(decoder->read(piece, 4), 4);
    EXPECT_EQ(decoder->read(piece + 4, 16), 6);
    EXPECT_EQ(std::vector<unsigned char>(piece, piece + 10), body);
    EXPECT_EQ(decoder->read(piece, 16), -1);
    EXPECT_EQ(decoder->position(), 10);

    EXPECT_TRUE(decoder->reset());
    unsigned char again[16] = {};
    EXPECT_EQ(decoder->read(again, 16), 10);
    EXPECT_EQ(std::vector<unsigned char>(again, again + 10), body);

    // A decoded file is only read: the writing and moving operations refuse.
    EXPECT_FALSE(decoder->seek(2));
    EXPECT_EQ(decoder->write(again, 1), -1);
    EXPECT_FALSE(decoder->writeable());
    EXPECT_TRUE(decoder->readable());
    EXPECT_FALSE(decoder->closed());
}

TEST(WaveDecoderTest, ReadsThroughStreamsThatGiveLittleAtATimeOrFail)
{
    const std::vector<unsigned char> file = audiotest::readFileBytes(DATA + "imaStereo.wav");
    const std::vector<unsigned char> reference = audiotest::readFileBytes(DATA + "imaStereo.raw");

    // One byte per read parses as the whole file does.
    IntrusivePointer<support::FaultyStream> trickle(new support::FaultyStream(file));
    trickle->setChunk(1);
    EXPECT_TRUE(decode(trickle.get()).bytes == reference);

    // A stream that fails inside the data keeps the whole blocks that arrived: here the header
    // of the one block (8 bytes) and 100 groups of eight bytes.
    const std::vector<unsigned char> data = dataChunk(file);
    const int dataStart = static_cast<int>(file.size() - data.size());
    IntrusivePointer<support::FaultyStream> failing(new support::FaultyStream(file));
    failing->setFailAfter(dataStart + 8 + 8 * 100 + 5);
    const Decoded cut = decode(failing.get());
    const size_t frames = 1 + 8 * 100;
    ASSERT_EQ(cut.bytes.size(), frames * 4);
    EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), reference.begin()));
}

TEST(WaveDecoderTest, ImaAdpcmWithoutBlocksIsOneStreamOfCodes)
{
    // Block align 0: every byte is two codes, low nibble first, one predictor for the whole chunk.
    std::vector<unsigned char> codes(100, 0);
    codes[0] = 0xC4;
    const Decoded decoded = decode(RiffWriter().fmt(17, 1, 8000, 4, 0).chunk("data", codes).bytes());
    EXPECT_EQ(decoded.format.bitsPerSample, 16);
    ASSERT_EQ(decoded.bytes.size(), 400u);
    const std::vector<int16_t> samples = audiotest::samples16(decoded.bytes.data(), 400);
    // Code 4 at step 7 gives +7 and moves the index to 2 (step 9); code 12 then gives -(1 + 9).
    EXPECT_EQ(samples[0], 7);
    EXPECT_EQ(samples[1], -3);

    // All-zero codes stay silent: the difference is 7 >> 3 = 0 and the index stays at 0.
    const Decoded silent = decode(RiffWriter().fmt(17, 1, 8000, 4, 0).chunk("data", std::vector<unsigned char>(50, 0)).bytes());
    EXPECT_EQ(silent.bytes, std::vector<unsigned char>(200, 0));

    // Codes that climb without end stop at the top of the 16-bit range and of the step table.
    std::vector<int16_t> out(400);
    const std::vector<unsigned char> climb(200, 0x77);
    WaveDecoder::ADPCMDecoder(climb.data(), out.data(), 200);
    EXPECT_EQ(out[399], 32767);
    std::vector<unsigned char> fall(200, 0xFF);
    WaveDecoder::ADPCMDecoder(fall.data(), out.data(), 200);
    EXPECT_EQ(out[399], -32768);
}

TEST(WaveDecoderTest, ImaAdpcmBlocksRestartFromTheirHeaders)
{
    // Two mono blocks of 8 bytes (header and one group of four bytes): each starts from its own
    // first sample and step index; a last block cut to its header gives only its first sample.
    std::vector<unsigned char> data = {0x10, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
                                       0x00, 0x80, 0x58, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0xFE, 0xFF, 0x02, 0x00};
    const Decoded decoded = decode(RiffWriter().fmt(17, 1, 8000, 4, 8).chunk("data", data).bytes());
    const std::vector<int16_t> samples = audiotest::samples16(decoded.bytes.data(), static_cast<int>(decoded.bytes.size()));
    ASSERT_EQ(samples.size(), 9u + 9u + 1u);
    EXPECT_EQ(samples[0], 16);
    EXPECT_EQ(samples[1], 16 + 7);
    EXPECT_EQ(samples[2], 16 + 7 + 1);
    // -32768 at index 88: zero codes add 32767 >> 3.
    EXPECT_EQ(samples[9], -32768);
    EXPECT_EQ(samples[10], -32768 + (32767 >> 3));
    EXPECT_EQ(samples[18], -2);

    // A step index beyond the table is taken as its last entry.
    const std::vector<unsigned char> wild = {0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
    const Decoded clamped = decode(RiffWriter().fmt(17, 1, 8000, 4, 8).chunk("data", wild).bytes());
    const std::vector<int16_t> fromTop = audiotest::samples16(clamped.bytes.data(), static_cast<int>(clamped.bytes.size()));
    ASSERT_EQ(fromTop.size(), 9u);
    EXPECT_EQ(fromTop[1], 32767 >> 3);
}
