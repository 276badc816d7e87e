#include "support/gl/XTestWindow.h"

#include <GL/glx.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

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

Window XTestDisplay::createWindow(int width, int height, int x, int y)
{
    XSetWindowAttributes attributes = {};
    attributes.background_pixel = 0;
    Window window = XCreateWindow(display_, DefaultRootWindow(display_), x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWBackPixel, &attributes);
    keepContents(window);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

bool XTestDisplay::keepContents(Window window)
{
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 2;
    if (!XCompositeQueryExtension(display_, &event, &error) || !XCompositeQueryVersion(display_, &major, &minor) ||
        (major == 0 && minor < 2)) {
        return false;
    }
    // Redirected automatically, the window draws into a pixmap of its own that the server then
    // copies to the screen.
    XCompositeRedirectWindow(display_, window, CompositeRedirectAutomatic);
    XSync(display_, False);
    return true;
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

std::vector<uint32_t> XTestDisplay::image(Window window, int* width, int* height)
{
    *width = 0;
    *height = 0;
    XWindowAttributes attributes = {};
    if (XGetWindowAttributes(display_, window, &attributes) == 0 || attributes.map_state != IsViewable) {
        return {};
    }
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return {};
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(attributes.width) * static_cast<size_t>(attributes.height));
    for (int y = 0; y < attributes.height; ++y) {
        for (int x = 0; x < attributes.width; ++x) {
            pixels[static_cast<size_t>(y) * static_cast<size_t>(attributes.width) + static_cast<size_t>(x)] =
                static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF;
        }
    }
    XDestroyImage(image);
    *width = attributes.width;
    *height = attributes.height;
    return pixels;
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
