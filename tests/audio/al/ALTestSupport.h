#pragma once

#include "audio/AudioStream.h"
#include "audio/al/ALAudioDevice.h"
#include "core/IntrusivePointer.h"
#include "core/Object.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace altest {

// True when the tests run in CI, where a missing OpenAL context is a failure, not a skip.
bool inCI();

// Each test gets a freshly created device, closed again at the end. When no device can be had the
// test is skipped, or fails in CI.
class ALTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    rezezaz::audio::ALAudioDevice& device() { return *mDevice; }

    // Calls the device's update every 10 ms until the condition holds; false after the time-out.
    bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 5000);

    rezezaz::core::IntrusivePointer<rezezaz::audio::ALAudioDevice> mDevice;
};

// An audio stream over bytes in memory, in any format. It can give a number of empty reads first
// (a stream that has nothing yet), and counts how far it has been read.
class MemoryAudioStream : public rezezaz::core::Object, public rezezaz::audio::AudioStream
{
public:
    MemoryAudioStream(const rezezaz::audio::AudioFormat& format, std::vector<unsigned char> bytes);

    void setEmptyReads(int count) { mEmptyReads = count; }
    int resets() const { return mResets; }

    int32_t retain() override { return Object::retain(); }
    int32_t release() override { return Object::release(); }
    void close() override {}
    bool closed() override { return false; }
    bool readable() override { return true; }
    int read(unsigned char* buffer, int length) override;
    bool writeable() override { return false; }
    int write(const unsigned char*, int) override { return -1; }
    bool reset() override;
    int length() override { return static_cast<int>(mBytes.size()); }
    int position() override { return mPosition; }
    bool seek(int) override { return false; }
    bool flush() override { return false; }
    rezezaz::core::SharedPointer<rezezaz::audio::AudioFormat> getAudioFormat() override { return mFormat; }

private:
    rezezaz::core::SharedPointer<rezezaz::audio::AudioFormat> mFormat;
    std::vector<unsigned char> mBytes;
    int mPosition = 0;
    int mEmptyReads = 0;
    int mResets = 0;
};

// 16-bit little-endian bytes of the samples.
std::vector<unsigned char> bytes16(const std::vector<int16_t>& samples);

// A mono pattern in which no two neighbouring samples are equal and no window of a few samples
// repeats, so that it can be found again in a mix.
std::vector<int16_t> pattern(int frames, int seed);

} // namespace altest
