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

namespace {

class LeakCheckOnceTheTestsAreDone : public ::testing::Environment
{
public:
    void TearDown() override { __lsan_do_leak_check(); }
};

[[maybe_unused]] ::testing::Environment* const leakCheck =
    ::testing::AddGlobalTestEnvironment(new LeakCheckOnceTheTestsAreDone);

} // namespace
#endif
