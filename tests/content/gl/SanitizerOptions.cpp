// Read by the sanitizers when they are in the build: the render back end's suppression files, which
// leave Mesa's and Xlib's own reports out by library.
extern "C" const char* __lsan_default_options();
extern "C" const char* __tsan_default_options();

extern "C" const char* __lsan_default_options()
{
    return "suppressions=" PELOTUNE_TEST_DATA "/../../render/gl/lsan.supp";
}

extern "C" const char* __tsan_default_options()
{
    return "suppressions=" PELOTUNE_TEST_DATA "/../../render/gl/tsan.supp";
}
