#include "ALTestSupport.h"

#include "audio/AudioBuffer.h"
#include "audio/Audio.h"
#include "audio/al/ALAudioDevice.h"
#include "core/Exception.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rezezaz::audio::AudioDevice;
using rezezaz::audio::AudioFormat;
using rezezaz::core::Exception;
using rezezaz::core::IntrusivePointer;

// Run with a driver list that names no driver that exists: there is no device to open.
TEST(ALAudioBadDriverTest, NoDeviceRaisesInvalidDeviceAndLeavesNothingOpen)
{
    IntrusivePointer<AudioDevice> device(rezezaz::audio::new_ALAudioDevice());
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            device->create(0);
            ADD_FAILURE() << "the device opened";
        } catch (const Exception& e) {
            EXPECT_EQ(e.getError(), -1);
            EXPECT_STREQ(e.getDescription(), "invalid device");
        }
    }
    // Nothing open: buffers and sounds refuse, and the device closes twice without harm.
    IntrusivePointer<rezezaz::audio::AudioBuffer> buffer(device->createAudioBuffer());
    IntrusivePointer<rezezaz::audio::Audio> sound(device->createAudio());
    IntrusivePointer<altest::MemoryAudioStream> stream(
        new altest::MemoryAudioStream(AudioFormat(16, 1, 22050), std::vector<unsigned char>(100, 0)));
    for (const auto& call : {std::function<void()>([&] { buffer->create(stream.get()); }),
                             std::function<void()>([&] { sound->create(stream.get()); })}) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.getDescription(), "invalid AudioDevice");
        }
    }
    EXPECT_FALSE(sound->play());
    device->update(10);
    device->destroy();
    device->destroy();
    sound = nullptr;
    buffer = nullptr;
}
