#include "core/PosixSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using rezezaz::core::PosixSystem;
using rezezaz::core::String;
using rezezaz::core::SystemCaps;

namespace {

long long elapsedMicroseconds(void (*sleeper)())
{
    auto start = std::chrono::steady_clock::now();
    sleeper();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

TEST(PosixSystemTest, ClocksAgreeWithEachOtherAndWithTheSystemClock)
{
    unsigned long long systemBefore = std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count();
    unsigned long long microBefore = PosixSystem::utime();
    unsigned long long milli = PosixSystem::mtime();
    unsigned long long microAfter = PosixSystem::utime();

    EXPECT_LE(microBefore / 1000, milli);
    EXPECT_GE(microAfter / 1000, milli);
    // Same epoch and unit as the standard clock, give or take a generous second.
    EXPECT_LE(systemBefore, milli + 1000);
    EXPECT_GE(systemBefore + 1000, milli);
}

// Sleeping is checked from below only: a loaded machine may always sleep longer.
TEST(PosixSystemTest, MsleepSleepsTheWholeSecondsAndTheRest)
{
    EXPECT_GE(elapsedMicroseconds([] { PosixSystem::msleep(1250); }), 1250000);
    EXPECT_GE(elapsedMicroseconds([] { PosixSystem::msleep(999); }), 999000);
}

TEST(PosixSystemTest, UsleepSleepsPastASecond)
{
    EXPECT_GE(elapsedMicroseconds([] { PosixSystem::usleep(1050000); }), 1050000);
    EXPECT_GE(elapsedMicroseconds([] { PosixSystem::usleep(1500); }), 1500);
}

TEST(PosixSystemTest, MtimeToStringFormatsUtcWholeSeconds)
{
    struct Case
    {
        unsigned long long ms;
        const char* text;
    };
    const Case cases[] = {
        {0, "1970-01-01 00:00:00"},
        {1000, "1970-01-01 00:00:01"},
        {1999, "1970-01-01 00:00:01"},
        {951782400000ULL, "2000-02-29 00:00:00"},
        {1400000000123ULL, "2014-05-13 16:53:20"},
        {4102444799999ULL, "2099-12-31 23:59:59"},
    };
    // The local zone must not leak into the text.
    const char* zone = getenv("TZ");
    std::string savedZone = zone ? zone : "";
    setenv("TZ", "Pacific/Auckland", 1);
    tzset();
    for (const Case& c : cases)
        EXPECT_STREQ(PosixSystem::mtimeToString(c.ms).c_str(), c.text) << c.ms;
    if (zone)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(PosixSystemTest, AbsolutePathNeedsALeadingSlash)
{
    struct Case
    {
        const char* path;
        bool absolute;
    };
    const Case cases[] = {
        {"", false}, {"/", true}, {"/home/rider", true}, {"home/rider", false}, {"./x", false}};
    for (const Case& c : cases)
        EXPECT_EQ(PosixSystem::absolutePath(String(c.path)), c.absolute) << '"' << c.path << '"';
}

TEST(PosixSystemTest, GetEnvReadsSetVariablesAndGivesEmptyForUnsetOnes)
{
    setenv("PELOTUNE_SYSTEM_TEST", "crank arm", 1);
    EXPECT_STREQ(PosixSystem::getEnv("PELOTUNE_SYSTEM_TEST").c_str(), "crank arm");
    unsetenv("PELOTUNE_SYSTEM_TEST");
    EXPECT_EQ(PosixSystem::getEnv("PELOTUNE_SYSTEM_TEST").length(), 0);
}

TEST(PosixSystemTest, ThreadIdTellsThreadsApart)
{
    unsigned long long mine = PosixSystem::threadID();
    unsigned long long other = 0;
    std::thread thread([&] { other = PosixSystem::threadID(); });
    thread.join();
    EXPECT_EQ(PosixSystem::threadID(), mine);
    EXPECT_NE(other, mine);
}

TEST(PosixSystemTest, SseLevelTakesTheHighestFeatureBit)
{
    const uint32_t sse = 1u << 25, sse2 = 1u << 26, sse3 = 1u << 0, sse41 = 1u << 19, sse42 = 1u << 20;
    struct Case
    {
        uint32_t ecx, edx, level;
    };
    const Case cases[] = {
        {0, 0, 0},
        {0, sse, 1},
        {0, sse | sse2, 2},
        {0, sse2, 2},
        {sse3, sse | sse2, 3},
        {sse41 | sse3, sse | sse2, 4},
        {sse42, 0, 4},
        {sse41, 0, 4},
        // Bits that are not SSE change nothing.
        {~(sse3 | sse41 | sse42), ~(sse | sse2), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PosixSystem::sseLevel(c.ecx, c.edx), c.level) << std::hex << c.ecx << ' ' << c.edx;
}

TEST(PosixSystemTest, ThisProcessorHasAtLeastSse2AndAnOverrideReplacesIt)
{
    SystemCaps caps;
    ASSERT_TRUE(PosixSystem::getSystemCaps(caps));
    EXPECT_GE(caps.sseLevel, 2u);
    const uint32_t detected = caps.sseLevel;

    SystemCaps forced;
    forced.sseLevel = 0;
    PosixSystem::setSystemCapsOverride(&forced);
    forced.sseLevel = 3; // the override is a copy
    ASSERT_TRUE(PosixSystem::getSystemCaps(caps));
    EXPECT_EQ(caps.sseLevel, 0u);

    PosixSystem::setSystemCapsOverride(nullptr);
    ASSERT_TRUE(PosixSystem::getSystemCaps(caps));
    EXPECT_EQ(caps.sseLevel, detected);
}
