#include "content/EngineHandlers.h"
#include "core/Exception.h"
#include "scene/ArchiveManager.h"
#include "scene/AudioManager.h"
#include "scene/Engine.h"
#include "scene/WaveStreamer.h"
#include "support/LogRecorder.h"
#include "support/MemoryArchive.h"
#include "support/Raised.h"
#include "support/RecordingAudioDevice.h"
#include "support/RecordingStreamer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using rezezaz::core::IntrusivePointer;
using rezezaz::core::Logger;
using rezezaz::core::Resource;
using rezezaz::core::String;
using rezezaz::audio::AudioBuffer;
using rezezaz::audio::AudioStream;
using rezezaz::scene::AudioManager;
using rezezaz::scene::Engine;
using rezezaz::scene::WaveStreamer;
using support::MemoryArchive;
using support::RecordingAudioBuffer;
using support::RecordingAudioDevice;
using support::RecordingStreamer;

const std::string SCENE = "rezezaz.scene";

// A RIFF WAVE file of 8-bit mono PCM at 8000 frames per second holding the samples (and the pad
// byte after an odd count, which the decoder serves as a sample).
std::string waveFile(const std::string& samples)
{
    auto le32 = [](uint32_t v) {
        return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    };
    const std::string fmt = std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(8000) + std::string("\x01\x00\x08\x00", 4);
    std::string body = "WAVE" + std::string("fmt ") + le32(16) + fmt + "data" +
                       le32(static_cast<uint32_t>(samples.size())) + samples;
    if (samples.size() % 2 != 0) {
        body += '\0';
    }
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

std::string readAll(AudioStream* stream)
{
    std::string bytes;
    unsigned char chunk[64];
    for (int got = stream->read(chunk, sizeof chunk); got > 0; got = stream->read(chunk, sizeof chunk)) {
        bytes.append(reinterpret_cast<char*>(chunk), static_cast<std::size_t>(got));
    }
    return bytes;
}

using support::raised;
using support::Raised;

// An engine with its handlers and an archive of sound files; the device is the test's to set.
class AudioManagerTest : public ::testing::Test
{
protected:
    AudioManagerTest() : engine(new Engine(nullptr, nullptr))
    {
        installHandlers(*engine);
        engine->getArchiveManager()->manage(static_cast<rezezaz::core::io::Archive*>(archive.get()), "");
        manager = engine->getAudioManager();
        archive->files["click.wav"] = waveFile(SAMPLES);
    }

    const std::string SAMPLES = "\x80\x90\xA0\x90\x80\x70\x60";
    // Outlives the engine, which keeps a plain pointer to it.
    RecordingAudioDevice device;
    IntrusivePointer<Engine> engine;
    IntrusivePointer<MemoryArchive> archive{new MemoryArchive()};
    AudioManager* manager = nullptr;
};

TEST_F(AudioManagerTest, TheEngineRegistersTheWaveStreamerForWav)
{
    auto* wave = dynamic_cast<WaveStreamer*>(manager->getStreamer("wav").get());
    ASSERT_NE(wave, nullptr);
    EXPECT_EQ(wave->getAudioManager(), manager);
    EXPECT_EQ(manager->getDefaultStreamer(), nullptr);
    EXPECT_EQ(manager->getEngine(), engine.get());
}

TEST_F(AudioManagerTest, EachFaultRaisesItsOwnText)
{
    archive->files["broken.wav"] = "RIFX" + waveFile(SAMPLES).substr(4);
    IntrusivePointer<AudioStream> stream = manager->findAudioStream("click.wav", nullptr);
    ASSERT_NE(stream, nullptr);

    struct Case
    {
        const char* label;
        bool withDevice;
        std::function<void()> action;
        int code;
        std::string category;
        std::string text;
    };
    const Case cases[] = {
        // Without a device the device is missed first, even with no stream.
        {"buffer without device", false, [&] { manager->createAudioBuffer(nullptr); }, 3, "",
         "createAudioBuffer called without a valid AudioDevice"},
        {"buffer of a stream without device", false, [&] { manager->createAudioBuffer(stream.get()); }, 3, "",
         "createAudioBuffer called without a valid AudioDevice"},
        {"sound without device", false, [&] { manager->createAudio(); }, 3, "",
         "createAudio called without a valid AudioDevice"},
        {"buffer of no stream", true, [&] { manager->createAudioBuffer(nullptr); }, 3, "",
         "createAudioBuffer called with a null stream"},
        {"no streamer", true, [&] { manager->findAudioStream("music/theme.ogg", nullptr); }, -1, SCENE,
         "streamer for \"music/theme.ogg\" not found"},
        {"no file", true, [&] { manager->findAudioStream("./sounds/../gone.wav", nullptr); }, -1, SCENE,
         "file gone.wav not found"},
        // The decoder's own fault passes through.
        {"not a wave file", true, [&] { manager->findAudioStream("broken.wav", nullptr); }, -1, "",
         "not RIFF WAVE format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        // The engine takes one device only: the cases without it come first.
        if (c.withDevice && engine->getAudioDevice() == nullptr) {
            engine->setAudioDevice(&device);
        }
        support::LogRecorder log;
        const Raised r = raised(c.action);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.text, c.text);
        EXPECT_TRUE(log.has(c.category, Logger::ERROR, c.text));
    }
    EXPECT_EQ(device.buffersAsked, 0);
    EXPECT_EQ(device.audiosAsked, 0);
}

TEST_F(AudioManagerTest, ANameWithoutExtensionGetsTheDefaultOne)
{
    archive->files["sounds/click.wav"] = waveFile(SAMPLES);
    manager->setDefaultExtension("wav");
    support::LogRecorder log;

    IntrusivePointer<AudioStream> stream = manager->findAudioStream("./sounds/click", nullptr);
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(log.has(SCENE, Logger::DEBUG, "finding audio stream:./sounds/click"));
    EXPECT_EQ(archive->streamsAsked, std::vector<std::string>{"sounds/click.wav"});
    EXPECT_EQ(stream->length(), static_cast<int>(SAMPLES.size()) + 1); // with the pad byte, served as silence
    EXPECT_EQ(stream->getAudioFormat()->bitsPerSample, 8);
    EXPECT_EQ(stream->getAudioFormat()->samplesPerSecond, 8000);
    EXPECT_EQ(readAll(stream.get()), SAMPLES + '\x80');

    // An extension of any case finds the streamer; the path is opened as it is written.
    archive->files["Sounds/Click.WAV"] = waveFile(SAMPLES);
    EXPECT_NE(manager->findAudioStream("Sounds/Click.WAV", nullptr), nullptr);
    EXPECT_EQ(archive->streamsAsked.back(), "Sounds/Click.WAV");
}

TEST_F(AudioManagerTest, AMissingStreamerIsReportedBeforeAnyFileOpens)
{
    archive->files["theme.ogg"] = waveFile(SAMPLES);
    IntrusivePointer<RecordingStreamer> other(new RecordingStreamer());
    IntrusivePointer<WaveStreamer> wave(new WaveStreamer(manager));
    const std::string missing = "streamer for \"theme.ogg\" not found";

    // Streamers that make no audio streams count as none, for the extension and as the default.
    struct Case
    {
        const char* label;
        rezezaz::scene::ResourceStreamer* forOgg;
        rezezaz::scene::ResourceStreamer* byDefault;
        bool opens;
    };
    const Case cases[] = {
        {"none at all", nullptr, nullptr, false},
        {"another kind for ogg", other.get(), nullptr, false},
        {"another kind by default", nullptr, other.get(), false},
        {"another kind for ogg, audio by default", other.get(), wave.get(), true},
        {"audio for ogg", wave.get(), other.get(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        manager->setStreamer(c.forOgg, "ogg");
        manager->setDefaultStreamer(c.byDefault);
        archive->streamsAsked.clear();
        IntrusivePointer<AudioStream> stream;
        const Raised r = raised([&] { stream = manager->findAudioStream("theme.ogg", nullptr); });
        if (c.opens) {
            EXPECT_EQ(r.text, "");
            ASSERT_NE(stream, nullptr);
            EXPECT_EQ(readAll(stream.get()), SAMPLES + '\x80');
            EXPECT_EQ(archive->streamsAsked, std::vector<std::string>{"theme.ogg"});
        } else {
            EXPECT_EQ(r.text, missing);
            EXPECT_TRUE(archive->streamsAsked.empty());
        }
    }
    EXPECT_EQ(other->loads, 0);
}

TEST_F(AudioManagerTest, ABufferHoldsTheWholeStreamOrGoes)
{
    engine->setAudioDevice(&device);

    device.makeBuffers = false;
    EXPECT_EQ(manager->createAudioBuffer(manager->findAudioStream("click.wav", nullptr).get()), nullptr);
    EXPECT_EQ(device.buffersAsked, 1);

    device.makeBuffers = true;
    device.acceptStreams = false;
    EXPECT_EQ(manager->createAudioBuffer(manager->findAudioStream("click.wav", nullptr).get()), nullptr);
    EXPECT_EQ(device.life.deleted, 1);

    device.acceptStreams = true;
    IntrusivePointer<AudioBuffer> buffer = manager->createAudioBuffer(manager->findAudioStream("click.wav", nullptr).get());
    ASSERT_NE(buffer, nullptr);
    const auto& bytes = static_cast<RecordingAudioBuffer*>(buffer.get())->bytes;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), SAMPLES + '\x80');
    buffer = nullptr;
    EXPECT_EQ(device.life.deleted, 2);

    // A sound is whatever the device makes.
    EXPECT_EQ(manager->createAudio(), nullptr);
    EXPECT_EQ(device.audiosAsked, 1);
}

TEST_F(AudioManagerTest, FindLoadsAWaveFileAsABufferFiledUnderItsName)
{
    archive->files["broken.wav"] = "RIFF";

    // Without a device, and for a file that is no sound, the look-up answers null and files nothing.
    support::LogRecorder log;
    EXPECT_EQ(manager->find("click.wav", nullptr), nullptr);
    EXPECT_TRUE(log.has("", Logger::ERROR, "createAudioBuffer called without a valid AudioDevice"));
    engine->setAudioDevice(&device);
    EXPECT_EQ(manager->find("broken.wav", nullptr), nullptr);
    EXPECT_TRUE(log.has("", Logger::ERROR, "unable to read header"));
    EXPECT_EQ(manager->get(1), nullptr);
    EXPECT_EQ(device.buffersAsked, 0);

    IntrusivePointer<Resource> found = manager->find("click.wav", nullptr);
    ASSERT_NE(found, nullptr);
    auto* buffer = dynamic_cast<RecordingAudioBuffer*>(found.get());
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::string(buffer->bytes.begin(), buffer->bytes.end()), SAMPLES + '\x80');
    EXPECT_EQ(std::string(found->getName().c_str()), "click.wav");
    EXPECT_EQ(manager->get(String("click.wav")), found);
    EXPECT_EQ(manager->find("click.wav", nullptr), found);
    EXPECT_EQ(device.buffersAsked, 1);

    // The engine's destroy takes it off the registry.
    engine->destroy();
    EXPECT_EQ(manager->get(String("click.wav")), nullptr);
}

} // namespace
