#include "../../audio/al/ALTestSupport.h"

#include "audio/Audio.h"
#include "audio/al/ALAudioBuffer.h"
#include "content/EngineHandlers.h"
#include "scene/ArchiveManager.h"
#include "scene/AudioManager.h"
#include "scene/Engine.h"

#include <AL/al.h>

#include <string>

namespace {

using rezezaz::audio::ALAudioBuffer;
using rezezaz::audio::Audio;
using rezezaz::audio::AudioBuffer;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::Resource;
using rezezaz::scene::AudioManager;
using rezezaz::scene::Engine;

// An engine with its handlers on a freshly opened OpenAL device, finding files among the WAV
// fixtures of the audio tests.
class AudioManagerALTest : public altest::ALTest
{
protected:
    void SetUp() override
    {
        ALTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        engine = new Engine(nullptr, nullptr);
        installHandlers(*engine);
        engine->setAudioDevice(mDevice.get());
        engine->getArchiveManager()->addDirectory(PELOTUNE_TEST_DATA "/../../audio/data");
        manager = engine->getAudioManager();
    }

    void TearDown() override
    {
        if (engine) {
            engine->destroy();
            engine = nullptr;
        }
        ALTest::TearDown();
    }

    IntrusivePointer<Engine> engine;
    AudioManager* manager = nullptr;
};

TEST_F(AudioManagerALTest, FindGivesABufferOfTheFilesLength)
{
    struct Case
    {
        const char* file;
        int bytes;        // the decoded samples
        int milliseconds; // their whole frames at the file's rate
    };
    const Case cases[] = {
        {"pcm8Mono.wav", 400, 50},      // 400 frames at 8000 Hz
        {"pcm8Stereo.wav", 800, 50},    // 400 frames of 2 bytes
        {"pcm16Mono.wav", 1102, 49},    // 551 frames at 11025 Hz
        {"pcm16Stereo.wav", 2204, 49},  // 551 frames of 4 bytes
        {"imaMono.wav", 2020, 91},      // blocks of IMA ADPCM expanded to 1010 16-bit samples
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        IntrusivePointer<Resource> found = manager->find(c.file, nullptr);
        ASSERT_NE(found, nullptr);
        auto* buffer = dynamic_cast<ALAudioBuffer*>(found.get());
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->getDevice(), mDevice.get());
        EXPECT_EQ(buffer->getLengthTime(), c.milliseconds);
        ALint size = -1;
        alGetBufferi(static_cast<ALuint>(buffer->getBufferName()), AL_SIZE, &size);
        EXPECT_EQ(size, c.bytes);
        EXPECT_EQ(std::string(found->getName().c_str()), c.file);
        EXPECT_EQ(manager->find(c.file, nullptr), found);
    }
}

TEST_F(AudioManagerALTest, AFoundBufferPlaysInANewSound)
{
    IntrusivePointer<Resource> found = manager->find("pcm16Mono.wav", nullptr);
    ASSERT_NE(found, nullptr);
    IntrusivePointer<Audio> audio = manager->createAudio();
    ASSERT_NE(audio, nullptr);
    EXPECT_FALSE(audio->getPlaying());
    auto* buffer = dynamic_cast<AudioBuffer*>(found.get());
    ASSERT_TRUE(audio->create(buffer));
    EXPECT_EQ(audio->getAudioBuffer(), buffer);
    ASSERT_TRUE(audio->play());
    EXPECT_TRUE(waitUntil([&] { return audio->getFinished(); }));
}

} // namespace
