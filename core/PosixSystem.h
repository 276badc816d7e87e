#pragma once

#include "core/String.h"
#include "core/SystemCaps.h"

#include <cstdint>

namespace rezezaz {
namespace core {

// System services over POSIX: clocks, sleeping, time formatting, processor capabilities,
// paths and the environment.
class PosixSystem
{
public:
    PosixSystem() = delete;

    // Milliseconds since 1970-01-01 UTC.
    static unsigned long long mtime();
    // Microseconds since 1970-01-01 UTC.
    static unsigned long long utime();
    // Sleeps whole seconds first, then the remaining milliseconds.
    static void msleep(unsigned long long ms);
    static void usleep(unsigned long long us);
    // "%Y-%m-%d %H:%M:%S" of the UTC time, milliseconds dropped.
    static String mtimeToString(unsigned long long ms);
    // The calling thread's POSIX handle as an integer.
    static unsigned long long threadID();

    // Fills in what the processor offers, or the capabilities set with setSystemCapsOverride.
    static bool getSystemCaps(SystemCaps& caps);
    static void testSSE(SystemCaps& caps);
    // Nothing to find on this processor.
    static void testNEON(SystemCaps& caps);
    // The SSE level that the feature bits of processor identification leaf 1 stand for.
    static uint32_t sseLevel(uint32_t ecx, uint32_t edx);
    // Makes getSystemCaps report the given capabilities (a copy is kept); null goes back to
    // asking the processor. Lets tests run the math kernels each way.
    static void setSystemCapsOverride(const SystemCaps* caps);

    // True when the path starts with "/".
    static bool absolutePath(const String& path);
    // The variable's value, empty when it is not set.
    static String getEnv(const String& name);
};

} // namespace core
} // namespace rezezaz
