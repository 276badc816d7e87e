#include "ALTestSupport.h"
#include "../RiffWriter.h"

#include "audio/AudioCaps.h"
#include "audio/WaveDecoder.h"
#include "audio/al/ALAudio.h"
#include "audio/al/ALAudioBuffer.h"
#include "audio/al/ALAudioDevice.h"
#include "core/Exception.h"
#include "core/Categories.h"
#include "core/ResourceDestroyedListener.h"
#include "support/LogRecorder.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using altest::ALTest;
using altest::MemoryAudioStream;
using rezezaz::audio::ALAudio;
using rezezaz::audio::ALAudioBuffer;
using rezezaz::audio::ALAudioDevice;
using rezezaz::audio::AudioCaps;
using rezezaz::audio::AudioFormat;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;
using rezezaz::core::math::Quaternion;
using rezezaz::core::math::Vector3;

namespace {

const AudioFormat MONO16(16, 1, 22050);
const AudioFormat STEREO16(16, 2, 22050);

IntrusivePointer<MemoryAudioStream> stream(const AudioFormat& format, int bytes, int seed = 1)
{
    std::vector<int16_t> samples = altest::pattern(bytes / 2, seed);
    std::vector<unsigned char> data = altest::bytes16(samples);
    data.resize(static_cast<size_t>(bytes), 0);
    return new MemoryAudioStream(format, data);
}

// Runs the call and returns the description of the Exception it raised, or "" when none.
std::string raised(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        return e.getDescription();
    }
    return "";
}

ALint sourceInt(const IntrusivePointer<ALAudio>& audio, ALenum what)
{
    ALint value = -1;
    alGetSourcei(static_cast<ALuint>(audio->getSourceHandle()), what, &value);
    return value;
}

struct Recorder : rezezaz::core::ResourceDestroyedListener
{
    void resourceDestroyed(rezezaz::core::Resource* resource) override { destroyed.push_back(resource); }
    std::vector<rezezaz::core::Resource*> destroyed;
};

} // namespace

class ALAudioDeviceTest : public ALTest
{
protected:
    IntrusivePointer<ALAudio> newAudio() { return static_cast<ALAudio*>(device().createAudio()); }
    IntrusivePointer<ALAudioBuffer> newBuffer(const AudioFormat& format, int bytes)
    {
        IntrusivePointer<ALAudioBuffer> buffer(static_cast<ALAudioBuffer*>(device().createAudioBuffer()));
        buffer->create(stream(format, bytes).get());
        return buffer;
    }
};

TEST_F(ALAudioDeviceTest, CreateSetsUpEightSourcesAndTheCaps)
{
    AudioCaps caps;
    EXPECT_TRUE(device().getAudioCaps(caps));
    EXPECT_EQ(caps.maxSources, 8);
    EXPECT_TRUE(caps.positional);
    EXPECT_TRUE(caps.streaming);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);

    // The listener and every pooled source start from the same settings.
    EXPECT_EQ(alGetFloat(AL_DOPPLER_FACTOR), 1.0f);
    EXPECT_EQ(alGetFloat(AL_DOPPLER_VELOCITY), 10.0f);
    float listenerGain = 0;
    alGetListenerf(AL_GAIN, &listenerGain);
    EXPECT_EQ(listenerGain, 1.0f);
    std::vector<IntrusivePointer<ALAudio>> sounds;
    for (int i = 0; i < 8; ++i) {
        sounds.push_back(newAudio());
        const ALuint source = device().checkoutSourceHandle(sounds.back().get());
        ASSERT_TRUE(alIsSource(source));
        float pitch = 0, gain = 0, rolloff = 0, position[3] = {1, 1, 1};
        ALint looping = -1;
        alGetSourcef(source, AL_PITCH, &pitch);
        alGetSourcef(source, AL_GAIN, &gain);
        alGetSourcef(source, AL_ROLLOFF_FACTOR, &rolloff);
        alGetSourcefv(source, AL_POSITION, position);
        alGetSourcei(source, AL_LOOPING, &looping);
        EXPECT_EQ(pitch, 1.0f);
        EXPECT_EQ(gain, 1.0f);
        EXPECT_EQ(rolloff, 1.0f);
        EXPECT_EQ(looping, AL_FALSE);
        EXPECT_EQ(position[0] + position[1] + position[2], 0.0f);
    }

    ALCcontext* context = alcGetCurrentContext();
    ASSERT_NE(context, nullptr);
    device().deactivate();
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
    device().activate();
    EXPECT_EQ(alcGetCurrentContext(), context);
}

TEST_F(ALAudioDeviceTest, FailuresRaiseTheirTexts)
{
    IntrusivePointer<ALAudio> audio = newAudio();
    IntrusivePointer<ALAudioBuffer> buffer(static_cast<ALAudioBuffer*>(device().createAudioBuffer()));
    audiotest::RiffWriter header;
    header.fmt(1, 1, 8000, 8);
    IntrusivePointer<rezezaz::scene::WaveDecoder> emptyFile(new rezezaz::scene::WaveDecoder());
    emptyFile->startStream(audiotest::memoryStream(header.bytes()).get());
    IntrusivePointer<MemoryAudioStream> wide(new MemoryAudioStream(AudioFormat(24, 1, 22050), std::vector<unsigned char>(300, 1)));
    IntrusivePointer<MemoryAudioStream> surround(new MemoryAudioStream(AudioFormat(16, 6, 22050), std::vector<unsigned char>(300, 1)));
    IntrusivePointer<ALAudioDevice> other(new ALAudioDevice());

    struct Case
    {
        const char* name;
        std::function<void()> call;
        const char* text;
    };
    const Case cases[] = {
        {"second device", [&] { other->create(0); }, "only 1 OpenAL context available at a time"},
        {"sound of a null buffer", [&] { audio->create(static_cast<rezezaz::audio::AudioBuffer*>(nullptr)); },
         "invalid AudioBuffer"},
        {"sound of a null stream", [&] { audio->create(static_cast<rezezaz::audio::AudioStream*>(nullptr)); },
         "invalid AudioStream"},
        {"buffer of an empty stream", [&] { buffer->create(emptyFile.get()); }, "unable to decode entire stream"},
        {"buffer of no stream", [&] { buffer->create(nullptr); }, "unable to decode entire stream"},
        {"buffer of 24-bit samples", [&] { buffer->create(wide.get()); }, "unsupported AudioFormat"},
        {"stream of 24-bit samples", [&] { audio->create(wide.get()); }, "unsupported AudioFormat"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(raised(c.call), c.text);
    }
    // Six channels play as mono unless global; as a buffer they cannot be played at all.
    EXPECT_EQ(raised([&] { buffer->create(surround.get()); }), "unsupported AudioFormat");
    EXPECT_EQ(raised([&] { audio->create(surround.get()); }), "");
    EXPECT_EQ(buffer->getBufferName(), 0u);

    // The device that failed to open leaves the open one alone, however often it is destroyed.
    other->destroy();
    other->destroy();
    IntrusivePointer<ALAudioBuffer> playable = newBuffer(MONO16, 22050);
    IntrusivePointer<ALAudio> sound = newAudio();
    ASSERT_TRUE(sound->create(playable.get()));
    EXPECT_TRUE(sound->play());
    EXPECT_TRUE(sound->getPlaying());
}

TEST_F(ALAudioDeviceTest, ASecondDeviceOpensOnceTheFirstIsDestroyed)
{
    support::LogRecorder log;
    const std::string category = rezezaz::core::Categories::REZEZAZ_AUDIO.c_str();
    IntrusivePointer<ALAudioDevice> second(new ALAudioDevice());
    EXPECT_EQ(raised([&] { second->create(0); }), "only 1 OpenAL context available at a time");
    EXPECT_TRUE(log.has(category, rezezaz::core::Logger::ALERT, "creating ALAudioDevice"));
    device().destroy();
    device().destroy();
    EXPECT_TRUE(log.has(category, rezezaz::core::Logger::ALERT, "destroying ALAudioDevice"));
    EXPECT_EQ(raised([&] { second->create(0); }), "");
    IntrusivePointer<ALAudioBuffer> buffer(static_cast<ALAudioBuffer*>(second->createAudioBuffer()));
    EXPECT_TRUE(buffer->create(stream(MONO16, 4410).get()));
    EXPECT_NE(buffer->getBufferName(), 0u);
    second->destroy();
    EXPECT_TRUE(mDevice->create(0));
}

TEST_F(ALAudioDeviceTest, SourcePoolHandsOutEightSourcesInOrder)
{
    // Sounds only as keys of the pool: none is created.
    std::vector<IntrusivePointer<ALAudio>> sounds;
    for (int i = 0; i < 12; ++i) {
        sounds.push_back(newAudio());
    }
    std::vector<uint32_t> first;
    for (int i = 0; i < 2; ++i) {
        first.push_back(device().checkoutSourceHandle(sounds[static_cast<size_t>(i)].get()));
    }
    device().checkinSourceHandle(sounds[0].get(), first[0]);
    std::vector<uint32_t> next;
    for (int i = 2; i < 9; ++i) {
        next.push_back(device().checkoutSourceHandle(sounds[static_cast<size_t>(i)].get()));
    }
    // s1 went back to the end of the list: s3..s8, then s1.
    EXPECT_EQ(next.back(), first[0]);
    for (uint32_t source : next) {
        EXPECT_TRUE(alIsSource(source));
        EXPECT_NE(source, first[1]);
    }
    // The pool is empty now; a sound that drew nothing gives nothing back, so the pool is not
    // poisoned with a source that does not exist.
    EXPECT_EQ(device().checkoutSourceHandle(sounds[9].get()), ALAudioDevice::NO_SOURCE);
    device().checkinSourceHandle(sounds[9].get(), ALAudioDevice::NO_SOURCE);
    device().checkinSourceHandle(sounds[1].get(), first[1]);
    EXPECT_EQ(device().checkoutSourceHandle(sounds[10].get()), first[1]);
    EXPECT_EQ(device().checkoutSourceHandle(sounds[11].get()), ALAudioDevice::NO_SOURCE);
}

TEST_F(ALAudioDeviceTest, TheNinthSoundStaysSilentAndTheFirstFreedSourceServesAgain)
{
    IntrusivePointer<ALAudioBuffer> buffer = newBuffer(MONO16, 44100);
    std::vector<IntrusivePointer<ALAudio>> sounds;
    for (int i = 0; i < 9; ++i) {
        sounds.push_back(newAudio());
        ASSERT_TRUE(sounds.back()->create(buffer.get()));
    }
    const IntrusivePointer<ALAudio>& ninth = sounds[8];
    EXPECT_EQ(ninth->getSourceHandle(), ALAudioDevice::NO_SOURCE);
    ninth->setPitch(2.0f);
    ninth->setRolloffFactor(3.0f);
    ninth->setPosition(Vector3(1, 2, 3));
    EXPECT_TRUE(ninth->play());
    EXPECT_FALSE(ninth->getPlaying());
    EXPECT_TRUE(ninth->getFinished());
    EXPECT_EQ(ninth->getPitch(), 0.0f);
    EXPECT_EQ(ninth->getRolloffFactor(), 0.0f);
    EXPECT_EQ(ninth->getPosition().x, 0.0f);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);

    // A second create keeps the source a sound holds.
    const uint32_t held = sounds[0]->getSourceHandle();
    ASSERT_TRUE(sounds[0]->create(buffer.get()));
    EXPECT_EQ(sounds[0]->getSourceHandle(), held);

    // The silent sound leaves; a freed source serves a new sound, set up afresh.
    sounds[3]->setPitch(0.5f);
    sounds[3]->setLooping(true);
    const uint32_t freed = sounds[3]->getSourceHandle();
    ninth->destroy();
    sounds[3]->destroy();
    EXPECT_EQ(sounds[3]->getSourceHandle(), 0u);
    IntrusivePointer<ALAudio> late = newAudio();
    ASSERT_TRUE(late->create(buffer.get()));
    EXPECT_EQ(late->getSourceHandle(), freed);
    EXPECT_EQ(late->getPitch(), 1.0f);
    EXPECT_FALSE(late->getLooping());
}

TEST_F(ALAudioDeviceTest, ListenerOrientationIsTheRotatedYAndZAxes)
{
    struct Case
    {
        const char* name;
        Quaternion rotation;
        float expected[6];
    };
    const float h = std::sqrt(0.5f);
    const Case cases[] = {
        {"identity", Quaternion(0, 0, 0, 1), {0, 1, 0, 0, 0, 1}},
        {"quarter turn about z", Quaternion(0, 0, h, h), {-1, 0, 0, 0, 0, 1}},
        {"quarter turn about x", Quaternion(h, 0, 0, h), {0, 0, 1, 0, -1, 0}},
        {"half turn about y", Quaternion(0, 1, 0, 0), {0, 1, 0, 0, 0, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device().setListenerRotate(c.rotation);
        float orientation[6] = {};
        alGetListenerfv(AL_ORIENTATION, orientation);
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(orientation[i], c.expected[i], 1e-6f) << i;
        }
    }
    // A rotation that is not a number is not sent.
    device().setListenerRotate(Quaternion(NAN, 0, 0, 1));
    float orientation[6] = {};
    alGetListenerfv(AL_ORIENTATION, orientation);
    EXPECT_NEAR(orientation[5], -1.0f, 1e-6f);

    device().setListenerTranslate(Vector3(1, 2, 3));
    device().setListenerTranslate(Vector3(NAN, 5, 5));
    float position[3] = {};
    alGetListenerfv(AL_POSITION, position);
    EXPECT_EQ(position[0], 1.0f);
    EXPECT_EQ(position[2], 3.0f);
    device().setListenerGain(0.25f);
    float gain = 0;
    alGetListenerf(AL_GAIN, &gain);
    EXPECT_EQ(gain, 0.25f);
}

TEST_F(ALAudioDeviceTest, ABufferPlaysToItsEnd)
{
    // One second of 16-bit mono at 22050 frames per second, and 1001 bytes of which OpenAL takes
    // the 500 whole frames.
    IntrusivePointer<ALAudioBuffer> second = newBuffer(MONO16, 44100);
    EXPECT_EQ(second->getLengthTime(), 1000);
    IntrusivePointer<ALAudioBuffer> odd = newBuffer(MONO16, 1001);
    ALint size = 0;
    alGetBufferi(odd->getBufferName(), AL_SIZE, &size);
    EXPECT_EQ(size, 1000);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);

    IntrusivePointer<ALAudioBuffer> shortBuffer = newBuffer(MONO16, 4410);
    IntrusivePointer<ALAudio> audio = newAudio();
    ASSERT_TRUE(audio->create(shortBuffer.get()));
    EXPECT_EQ(audio->getAudioBuffer(), shortBuffer.get());
    EXPECT_TRUE(audio->getFinished());
    ASSERT_TRUE(audio->play());
    EXPECT_TRUE(audio->getPlaying());
    EXPECT_FALSE(audio->getFinished());
    EXPECT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    EXPECT_FALSE(audio->getPlaying());

    // Looping, it never finishes.
    audio->setLooping(true);
    EXPECT_TRUE(audio->getLooping());
    ASSERT_TRUE(audio->play());
    EXPECT_FALSE(waitUntil([&] { return !audio->getPlaying(); }, 300));
    EXPECT_FALSE(audio->getFinished());
    EXPECT_TRUE(audio->stop());
    EXPECT_FALSE(audio->getPlaying());
}

TEST_F(ALAudioDeviceTest, SoundPropertiesReachTheSource)
{
    IntrusivePointer<ALAudioBuffer> buffer = newBuffer(MONO16, 4410);
    IntrusivePointer<ALAudio> audio = newAudio();
    ASSERT_TRUE(audio->create(buffer.get()));
    audio->setGain(0.5f);
    audio->setPitch(1.5f);
    audio->setRolloffFactor(2.0f);
    audio->setPosition(Vector3(1, 2, 3));
    audio->setVelocity(Vector3(4, 5, 6));
    EXPECT_EQ(audio->getGain(), 0.5f);
    EXPECT_EQ(audio->getPitch(), 1.5f);
    EXPECT_EQ(audio->getRolloffFactor(), 2.0f);
    EXPECT_EQ(audio->getPosition().y, 2.0f);
    EXPECT_EQ(audio->getVelocity().z, 6.0f);
    EXPECT_EQ(sourceInt(audio, AL_SOURCE_RELATIVE), AL_FALSE);

    // A global sound sits at the listener, whatever it is told.
    audio->setGlobal(true);
    EXPECT_TRUE(audio->getGlobal());
    EXPECT_EQ(sourceInt(audio, AL_SOURCE_RELATIVE), AL_TRUE);
    EXPECT_EQ(audio->getPosition().x, 0.0f);
    audio->setPosition(Vector3(7, 8, 9));
    audio->setVelocity(Vector3(7, 8, 9));
    EXPECT_EQ(audio->getPosition().x, 0.0f);
    EXPECT_EQ(audio->getVelocity().x, 0.0f);
    audio->setGlobal(false);
    EXPECT_EQ(sourceInt(audio, AL_SOURCE_RELATIVE), AL_FALSE);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(ALAudioDeviceTest, AStreamPlaysToItsEndThroughTheRing)
{
    // Half a second of 16-bit mono: about five ring buffers' worth.
    IntrusivePointer<MemoryAudioStream> source = stream(MONO16, 22050);
    IntrusivePointer<ALAudio> audio = newAudio();
    ASSERT_TRUE(audio->create(source.get()));
    EXPECT_EQ(audio->getAudioStream(), source.get());
    EXPECT_EQ(source->position(), 0);
    ASSERT_TRUE(audio->play());
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 4);
    EXPECT_EQ(source->position(), 4 * 4096);
    // Every update that finds a buffer played fills it again, until the stream runs out.
    EXPECT_TRUE(waitUntil([&] { return source->position() == 22050; }));
    EXPECT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(ALAudioDeviceTest, AStreamShorterThanTheRingQueuesOnlyWhatItFilled)
{
    IntrusivePointer<MemoryAudioStream> source = stream(MONO16, 5000);
    IntrusivePointer<ALAudio> audio = newAudio();
    ASSERT_TRUE(audio->create(source.get()));
    ASSERT_TRUE(audio->play());
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 2);
    // Stop takes off what is queued, so the next play starts a fresh ring where the stream is.
    EXPECT_TRUE(audio->stop());
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 0);
    source->reset();
    ASSERT_TRUE(audio->play());
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 2);
    EXPECT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(ALAudioDeviceTest, AStreamThatRanDryIsRestartedAndNotFinished)
{
    // Two seconds of data; the device is not updated for longer than the ring lasts (about 370 ms).
    IntrusivePointer<MemoryAudioStream> source = stream(MONO16, 88200);
    IntrusivePointer<ALAudio> audio = newAudio();
    ASSERT_TRUE(audio->create(source.get()));
    ASSERT_TRUE(audio->play());
    const auto dry = [&] { return sourceInt(audio, AL_SOURCE_STATE) == AL_STOPPED; };
    for (int i = 0; i < 200 && !dry(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(dry());
    EXPECT_FALSE(audio->getFinished());
    device().update(10);
    EXPECT_TRUE(audio->getPlaying());
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 4);
}

TEST_F(ALAudioDeviceTest, AStereoStreamPlaysAsMonoUnlessGlobal)
{
    IntrusivePointer<MemoryAudioStream> source = stream(STEREO16, 88200);
    IntrusivePointer<ALAudio> audio = newAudio();
    ASSERT_TRUE(audio->create(source.get()));
    ASSERT_TRUE(audio->play());
    // Each ring buffer takes 4096 bytes of the stream, 2048 bytes once made mono.
    EXPECT_EQ(source->position(), 4 * 4096);
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 4);
    auto playingChannels = [&] { return audio->getStreamChannels(); };
    EXPECT_EQ(playingChannels(), 1);

    // Global, the sound turns stereo with the refills after the mono buffers queued have played:
    // stereo buffers cannot join a queue of mono ones, and nothing read from the stream is
    // thrown away (the position does not move at the change).
    audio->setGlobal(true);
    EXPECT_EQ(source->position(), 4 * 4096);
    EXPECT_EQ(sourceInt(audio, AL_BUFFERS_QUEUED), 4);
    ASSERT_TRUE(waitUntil([&] { return playingChannels() == 2; }));
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    const int before = source->position();
    audio->setGlobal(false);
    EXPECT_EQ(source->position(), before);
    ASSERT_TRUE(waitUntil([&] { return playingChannels() == 1; }));
    EXPECT_EQ(alGetError(), AL_NO_ERROR);

    // Set and taken back before it took effect, the change leaves the ring as it was.
    audio->setGlobal(true);
    audio->setGlobal(false);
    ASSERT_TRUE(waitUntil([&] { return audio->getFinished(); }));
    EXPECT_EQ(source->position(), 88200);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(ALAudioDeviceTest, ASoundThatFoundThePoolEmptyTakesAFreedSourceWhenCreatedAgain)
{
    IntrusivePointer<ALAudioBuffer> buffer = newBuffer(MONO16, 44100);
    std::vector<IntrusivePointer<ALAudio>> sounds;
    for (int i = 0; i < 9; ++i) {
        sounds.push_back(newAudio());
        ASSERT_TRUE(sounds.back()->create(buffer.get()));
    }
    ASSERT_EQ(sounds[8]->getSourceHandle(), ALAudioDevice::NO_SOURCE);
    // Created again while the pool is still empty, it stays without one.
    ASSERT_TRUE(sounds[8]->create(buffer.get()));
    EXPECT_EQ(sounds[8]->getSourceHandle(), ALAudioDevice::NO_SOURCE);
    const uint32_t freed = sounds[2]->getSourceHandle();
    sounds[2]->destroy();
    ASSERT_TRUE(sounds[8]->create(buffer.get()));
    EXPECT_EQ(sounds[8]->getSourceHandle(), freed);
    ASSERT_TRUE(sounds[8]->play());
    EXPECT_TRUE(sounds[8]->getPlaying());
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(ALAudioDeviceTest, EmptyReadsGiveSilenceInTheSoundsWidth)
{
    struct Case
    {
        AudioFormat format;
        unsigned char silence;
    };
    for (const Case& c : {Case{AudioFormat(8, 1, 22050), 128}, Case{MONO16, 0}}) {
        SCOPED_TRACE(c.format.bitsPerSample);
        IntrusivePointer<MemoryAudioStream> source(new MemoryAudioStream(c.format, std::vector<unsigned char>(100, 7)));
        source->setEmptyReads(1);
        IntrusivePointer<ALAudio> audio = newAudio();
        ASSERT_TRUE(audio->create(source.get()));
        unsigned char bytes[4096];
        std::fill(bytes, bytes + 8, 0x55);
        EXPECT_EQ(audio->readAudioData(bytes, 4096), 4);
        EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 4), std::vector<unsigned char>(4, c.silence));
        audio->destroy();
    }
}

TEST_F(ALAudioDeviceTest, UploadsAreWholeFrames)
{
    // A stereo stream of 1001 bytes read by a global sound: 250 frames go to OpenAL.
    IntrusivePointer<MemoryAudioStream> source = stream(STEREO16, 1001);
    IntrusivePointer<ALAudio> audio = newAudio();
    audio->setGlobal(true);
    ASSERT_TRUE(audio->create(source.get()));
    unsigned char bytes[4096];
    EXPECT_EQ(audio->readAudioData(bytes, 4096), 1000);
    // Read by a positioned sound, the stereo frames become 250 mono frames.
    source->reset();
    audio->setGlobal(false);
    EXPECT_EQ(audio->readAudioData(bytes, 4096), 500);
}

TEST_F(ALAudioDeviceTest, BuffersAreMadeAndFreedInTheDevicesContextWhileItIsDeactivated)
{
    device().deactivate();
    IntrusivePointer<ALAudioBuffer> kept = newBuffer(MONO16, 4410);
    IntrusivePointer<ALAudioBuffer> freed = newBuffer(MONO16, 4410);
    const ALuint freedName = freed->getBufferName();
    device().deactivate();
    freed->destroy();
    device().activate();
    ASSERT_NE(kept->getBufferName(), 0u);
    EXPECT_TRUE(alIsBuffer(kept->getBufferName()));
    EXPECT_FALSE(alIsBuffer(freedName));
    ALint size = 0;
    alGetBufferi(kept->getBufferName(), AL_SIZE, &size);
    EXPECT_EQ(size, 4410);
}

TEST_F(ALAudioDeviceTest, DestroyingABufferDestroysEverySoundPlayingIt)
{
    IntrusivePointer<ALAudioBuffer> buffer = newBuffer(MONO16, 44100);
    IntrusivePointer<ALAudioBuffer> other = newBuffer(MONO16, 44100);
    Recorder recorder;
    buffer->setDestroyedListener(&recorder);
    std::vector<IntrusivePointer<ALAudio>> sounds;
    for (int i = 0; i < 4; ++i) {
        sounds.push_back(newAudio());
        ASSERT_TRUE(sounds.back()->create(i == 2 ? other.get() : buffer.get()));
        sounds.back()->setDestroyedListener(&recorder);
        sounds.back()->play();
    }
    buffer->destroy();
    EXPECT_EQ(buffer->getBufferName(), 0u);
    for (int i : {0, 1, 3}) {
        EXPECT_EQ(sounds[static_cast<size_t>(i)]->getSourceHandle(), 0u) << i;
    }
    // Each is told once, by the view its manager files: the sounds first, then the buffer.
    const std::vector<rezezaz::core::Resource*> expected = {
        static_cast<rezezaz::audio::Audio*>(sounds[0].get()), static_cast<rezezaz::audio::Audio*>(sounds[1].get()),
        static_cast<rezezaz::audio::Audio*>(sounds[3].get()),
        static_cast<rezezaz::audio::AudioBuffer*>(buffer.get())};
    EXPECT_EQ(recorder.destroyed, expected);
    EXPECT_TRUE(sounds[2]->getPlaying());
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    // Their sources are back in the pool: seven more sounds find one.
    for (int i = 0; i < 7; ++i) {
        IntrusivePointer<ALAudio> more = newAudio();
        ASSERT_TRUE(more->create(other.get()));
        EXPECT_NE(more->getSourceHandle(), ALAudioDevice::NO_SOURCE);
        sounds.push_back(more);
    }
}

TEST_F(ALAudioDeviceTest, BuffersAndSoundsOfADestroyedDeviceLeaveTheNextDeviceAlone)
{
    IntrusivePointer<ALAudioBuffer> oldBuffer = newBuffer(MONO16, 44100);
    IntrusivePointer<ALAudio> oldSound = newAudio();
    ASSERT_TRUE(oldSound->create(oldBuffer.get()));
    IntrusivePointer<ALAudio> oldStream = newAudio();
    ASSERT_TRUE(oldStream->create(stream(MONO16, 88200).get()));
    oldStream->play();
    IntrusivePointer<ALAudio> idle = newAudio();
    device().destroy();
    EXPECT_EQ(oldBuffer->getBufferName(), 0u);

    // The next device hands out the same OpenAL names again.
    ASSERT_TRUE(device().create(0));
    IntrusivePointer<ALAudioBuffer> buffer = newBuffer(MONO16, 44100);
    IntrusivePointer<ALAudio> sound = newAudio();
    ASSERT_TRUE(sound->create(buffer.get()));
    ASSERT_TRUE(sound->play());

    EXPECT_EQ(raised([&] { oldSound->create(buffer.get()); }), "invalid AudioBuffer");
    EXPECT_EQ(raised([&] { oldSound->create(oldBuffer.get()); }), "invalid AudioDevice");
    EXPECT_EQ(raised([&] { idle->create(stream(MONO16, 100).get()); }), "invalid AudioDevice");
    EXPECT_EQ(raised([&] { oldBuffer->create(stream(MONO16, 100).get()); }), "invalid AudioDevice");
    EXPECT_FALSE(oldSound->play());
    oldSound->stop();
    oldSound->setGain(0.0f);
    oldStream->stop();
    oldSound->destroy();
    oldStream = nullptr;
    oldBuffer->destroy();
    oldBuffer = nullptr;
    idle = nullptr;
    device().update(10);

    EXPECT_TRUE(alIsBuffer(buffer->getBufferName()));
    EXPECT_TRUE(sound->getPlaying());
    float gain = 0;
    alGetSourcef(static_cast<ALuint>(sound->getSourceHandle()), AL_GAIN, &gain);
    EXPECT_EQ(gain, 1.0f);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

TEST_F(ALAudioDeviceTest, ReleasingTheDeviceClosesIt)
{
    IntrusivePointer<ALAudio> sound = newAudio();
    ASSERT_TRUE(sound->create(newBuffer(MONO16, 4410).get()));
    mDevice = nullptr;
    // The sound outlives its device and stays silent.
    EXPECT_FALSE(sound->play());
    EXPECT_FALSE(sound->getPlaying());
    IntrusivePointer<ALAudioDevice> next(new ALAudioDevice());
    EXPECT_TRUE(next->create(0));
    next->destroy();
}
