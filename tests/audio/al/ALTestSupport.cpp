#include "ALTestSupport.h"

#include "core/Exception.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

// Read by ThreadSanitizer when it is in the build (the other builds ignore it). OpenAL Soft is not
// instrumented: its mixer thread takes source and buffer updates through atomics of its own, which
// ThreadSanitizer cannot see, so the copies on both sides look unsynchronised. What is reported
// inside OpenAL Soft is not the program's.
extern "C" const char* __tsan_default_suppressions();

extern "C" const char* __tsan_default_suppressions()
{
    return "race:libopenal.so\n";
}

namespace altest {

bool inCI()
{
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

void ALTest::SetUp()
{
    mDevice = new rezezaz::audio::ALAudioDevice();
    try {
        mDevice->create(0);
    } catch (const rezezaz::core::Exception& e) {
        mDevice = nullptr;
        if (inCI()) {
            FAIL() << "no OpenAL device: " << e.getDescription();
        }
        GTEST_SKIP() << "no OpenAL device: " << e.getDescription();
    }
}

void ALTest::TearDown()
{
    if (mDevice) {
        mDevice->destroy();
    }
    mDevice = nullptr;
}

bool ALTest::waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        mDevice->update(10);
    }
    return true;
}

MemoryAudioStream::MemoryAudioStream(const rezezaz::audio::AudioFormat& format, std::vector<unsigned char> bytes)
    : mFormat(new rezezaz::audio::AudioFormat(format)), mBytes(std::move(bytes))
{}

int MemoryAudioStream::read(unsigned char* buffer, int length)
{
    if (mEmptyReads > 0) {
        --mEmptyReads;
        return 0;
    }
    const int count = std::min(length, static_cast<int>(mBytes.size()) - mPosition);
    if (count <= 0) {
        return -1;
    }
    std::memcpy(buffer, mBytes.data() + mPosition, static_cast<size_t>(count));
    mPosition += count;
    return count;
}

bool MemoryAudioStream::reset()
{
    mPosition = 0;
    ++mResets;
    return true;
}

std::vector<unsigned char> bytes16(const std::vector<int16_t>& samples)
{
    std::vector<unsigned char> out;
    out.reserve(samples.size() * 2);
    for (int16_t s : samples) {
        const uint16_t word = static_cast<uint16_t>(s);
        out.push_back(static_cast<unsigned char>(word & 0xFF));
        out.push_back(static_cast<unsigned char>(word >> 8));
    }
    return out;
}

std::vector<int16_t> pattern(int frames, int seed)
{
    std::vector<int16_t> out(static_cast<size_t>(frames));
    uint32_t state = static_cast<uint32_t>(seed) * 2654435761u + 1;
    for (int i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        // Away from 0, so that the sound is told apart from the silence around it.
        const int value = static_cast<int>((state >> 16) % 20000) + 1000;
        out[static_cast<size_t>(i)] = static_cast<int16_t>((i & 1) != 0 ? value : -value);
    }
    return out;
}

} // namespace altest
