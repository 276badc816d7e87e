// Read by the sanitizers when they are in the build (the other builds never call them): the
// suppression files beside these tests, which leave Mesa's and Xlib's own reports out by library.
// Options given in the environment are read after these and add to them.
extern "C" const char* __lsan_default_options();
extern "C" const char* __tsan_default_options();

extern "C" const char* __lsan_default_options()
{
    return "suppressions=" GL_TEST_SUPPORT_DIR "/lsan.supp";
}

extern "C" const char* __tsan_default_options()
{
    return "suppressions=" GL_TEST_SUPPORT_DIR "/tsan.supp";
}

// With LeakSanitizer, the leak check runs once every test is done, before the process begins to end:
// at its end Mesa's rasterizer threads are being torn down while the check stops every thread, which
// can crash the check itself, and the libraries that are unloaded by then leave reports no suppression
// can name. After this check none runs at the end.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GL_TEST_SUPPORT_EARLY_LEAK_CHECK 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define GL_TEST_SUPPORT_EARLY_LEAK_CHECK 1
#endif

#ifdef GL_TEST_SUPPORT_EARLY_LEAK_CHECK
#include <gtest/gtest.h>
#include <sanitizer/lsan_interface.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

namespace {

std::ptrdiff_t threadCount()
{
    std::error_code error;
    const std::filesystem::directory_iterator tasks("/proc/self/task", error);
    return error ? -1 : std::distance(tasks, std::filesystem::directory_iterator());
}

// A thread that ends on its own (the toolkit's threads are detached) frees its thread-local storage
// as it goes, and the leak check crashes when it scans that storage in the same moment. The check
// waits until no thread has come or gone for a while, or ten seconds at most.
void waitUntilNoThreadIsEnding()
{
    using namespace std::chrono_literals;
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    std::ptrdiff_t last = threadCount();
    int steady = 0;
    while (steady < 20 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
        const std::ptrdiff_t now = threadCount();
        steady = now == last ? steady + 1 : 0;
        last = now;
    }
}

class LeakCheckOnceTheTestsAreDone : public ::testing::Environment
{
public:
    void TearDown() override
    {
        waitUntilNoThreadIsEnding();
        __lsan_do_leak_check();
    }
};

[[maybe_unused]] ::testing::Environment* const leakCheck =
    ::testing::AddGlobalTestEnvironment(new LeakCheckOnceTheTestsAreDone);

} // namespace
#endif
