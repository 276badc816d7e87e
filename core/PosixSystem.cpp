#include "core/PosixSystem.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <sys/time.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace rezezaz {
namespace core {

namespace {

// -1 while no override is set, otherwise the SSE level to report.
std::atomic<int64_t> capsOverride{-1};

void sleepFor(time_t seconds, long nanoseconds)
{
    timespec remaining{seconds, nanoseconds};
    // A signal cuts a sleep short; finish the rest of it.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace

unsigned long long PosixSystem::mtime()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
           static_cast<unsigned long long>(now.tv_usec) / 1000ULL;
}

unsigned long long PosixSystem::utime()
{
    timeval now;
    gettimeofday(&now, nullptr);
    return static_cast<unsigned long long>(now.tv_sec) * 1000000ULL +
           static_cast<unsigned long long>(now.tv_usec);
}

void PosixSystem::msleep(unsigned long long ms)
{
    if (ms >= 1000)
        sleepFor(static_cast<time_t>(ms / 1000), 0);
    sleepFor(0, static_cast<long>(ms % 1000) * 1000000L);
}

void PosixSystem::usleep(unsigned long long us)
{
    sleepFor(static_cast<time_t>(us / 1000000ULL), static_cast<long>(us % 1000000ULL) * 1000L);
}

String PosixSystem::mtimeToString(unsigned long long ms)
{
    time_t seconds = static_cast<time_t>(ms / 1000ULL);
    tm utc;
    char text[64];
    if (gmtime_r(&seconds, &utc) == nullptr || strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &utc) == 0)
        return String();
    return String(text);
}

unsigned long long PosixSystem::threadID()
{
    return static_cast<unsigned long long>(pthread_self());
}

bool PosixSystem::getSystemCaps(SystemCaps& caps)
{
    int64_t forced = capsOverride.load();
    if (forced >= 0) {
        caps.sseLevel = static_cast<uint32_t>(forced);
        return true;
    }
    testSSE(caps);
    testNEON(caps);
    return true;
}

void PosixSystem::testSSE(SystemCaps& caps)
{
    caps.sseLevel = 0;
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        caps.sseLevel = sseLevel(ecx, edx);
#endif
}

void PosixSystem::testNEON(SystemCaps&) {}

uint32_t PosixSystem::sseLevel(uint32_t ecx, uint32_t edx)
{
    if (ecx & (1u << 20)) // SSE4.2
        return 4;
    if (ecx & (1u << 19)) // SSE4.1
        return 4;
    if (ecx & (1u << 0)) // SSE3
        return 3;
    if (edx & (1u << 26)) // SSE2
        return 2;
    if (edx & (1u << 25)) // SSE
        return 1;
    return 0;
}

void PosixSystem::setSystemCapsOverride(const SystemCaps* caps)
{
    capsOverride.store(caps ? static_cast<int64_t>(caps->sseLevel) : -1);
}

bool PosixSystem::absolutePath(const String& path)
{
    return path.length() > 0 && path.internal_str()[0] == '/';
}

String PosixSystem::getEnv(const String& name)
{
    const char* value = getenv(name.c_str());
    return value ? String(value) : String();
}

} // namespace core
} // namespace rezezaz
