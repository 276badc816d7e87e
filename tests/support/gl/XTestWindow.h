#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace gltest {

// True when a GL test must fail, not skip, for want of a display or a context: in CI, or when the
// test command asks for it.
bool contextRequired();

// Opens, once per process, a connection that loads Mesa's GLX driver and keeps it loaded until the
// process ends. Mesa unloads its driver when the last connection that uses it closes; allocations
// the driver never frees would then be reported from an unknown module, out of reach of the leak
// suppressions that name Mesa's libraries.
void keepGLDriverLoaded();

// A connection of the test's own to the X server named by DISPLAY (null without one), and plain
// windows on it that the test maps, resizes and reads back as the server shows them.
class XTestDisplay
{
public:
    XTestDisplay();
    ~XTestDisplay();
    XTestDisplay(const XTestDisplay&) = delete;
    XTestDisplay& operator=(const XTestDisplay&) = delete;

    Display* get() const { return display_; }

    // A mapped top-level window of the default visual at x, y of the screen, its contents kept as
    // keepContents keeps them; destroyed with the connection.
    Window createWindow(int width, int height, int x = 0, int y = 0);
    void resize(Window window, int width, int height);
    // Gives the window (any window on the display, another client's too) a picture of its own in the
    // server: what is drawn into it stays there whatever lies over it on the screen, so reading it
    // back shows that. Tests run side by side on one screen and their windows overlap. Holds while
    // this connection lives; false when the server cannot do it.
    bool keepContents(Window window);
    // The pixel at x, y (from the top left) of the window as the server holds it, as 0xRRGGBB.
    uint32_t pixel(Window window, int x, int y);
    // The whole window as the server holds it, rows from the top, 0xRRGGBB each; empty when it
    // cannot be read (no such window, or not mapped).
    std::vector<uint32_t> image(Window window, int* width, int* height);
    // The pixel once it is the expected one, or as it is after two seconds: what another connection
    // (the GL driver's) sent reaches the server in its own time.
    uint32_t pixelOnceItIs(Window window, int x, int y, uint32_t expected);

private:
    Display* display_ = nullptr;
};

} // namespace gltest

// Skips the test outside CI, fails it inside, when the display cannot be had.
#define GLTEST_REQUIRE(condition, what)                                                                     \
    do {                                                                                                    \
        if (!(condition)) {                                                                                 \
            if (gltest::contextRequired()) {                                                                \
                FAIL() << "no " << what << " (DISPLAY=" << (getenv("DISPLAY") ? getenv("DISPLAY") : "") << ")"; \
            }                                                                                               \
            GTEST_SKIP() << "no " << what;                                                                  \
        }                                                                                                   \
    } while (false)
