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
