#include "support/gl/XTestWindow.h"

#include <GL/glx.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace gltest {

bool contextRequired()
{
    const char* ci = std::getenv("CI");
    const char* required = std::getenv("PELOTUNE_REQUIRE_GL");
    return (ci != nullptr && std::strcmp(ci, "true") == 0) || (required != nullptr && std::strcmp(required, "1") == 0);
}

void keepGLDriverLoaded()
{
    static Display* const keeper = [] {
        XInitThreads();
        Display* display = XOpenDisplay(nullptr);
        if (display != nullptr) {
            int count = 0;
            GLXFBConfig* configs = glXGetFBConfigs(display, DefaultScreen(display), &count);
            if (configs != nullptr) {
                XFree(configs);
            }
        }
        return display;
    }();
    (void)keeper;
}

XTestDisplay::XTestDisplay()
{
    keepGLDriverLoaded();
    XInitThreads();
    display_ = XOpenDisplay(nullptr);
}

XTestDisplay::~XTestDisplay()
{
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

Window XTestDisplay::createWindow(int width, int height)
{
    // Tests run side by side on one screen: their windows overlap. A window whose contents the
    // server keeps even where others cover it reads back what was drawn into it.
    XSetWindowAttributes attributes = {};
    attributes.backing_store = Always;
    attributes.background_pixel = 0;
    Window window = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, width, height, 0, CopyFromParent,
                                  InputOutput, CopyFromParent, CWBackingStore | CWBackPixel, &attributes);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

void XTestDisplay::resize(Window window, int width, int height)
{
    XResizeWindow(display_, window, width, height);
    XSync(display_, False);
}

uint32_t XTestDisplay::pixel(Window window, int x, int y)
{
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 0xFFFFFFFF;
    }
    const uint32_t value = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return value;
}

uint32_t XTestDisplay::pixelOnceItIs(Window window, int x, int y, uint32_t expected)
{
    uint32_t value = pixel(window, x, y);
    for (int tries = 0; tries < 200 && value != expected; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        value = pixel(window, x, y);
    }
    return value;
}

} // namespace gltest
