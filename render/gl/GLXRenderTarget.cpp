#include "render/gl/GLXRenderTarget.h"

#include "core/Categories.h"
#include "core/Error.h"
#include "core/Log.h"
#include "core/Logger.h"
#include "core/PosixSystem.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cstddef>
#include <vector>

namespace rezezaz::render {

namespace {

// Xlib's default error handler ends the process. While a context is made, a bad window or a refused
// configuration is caught instead and becomes the target's own error. The handler is process-wide, so
// one trap at a time.
std::mutex trapMutex;
int trappedError = 0;

int trapError(Display*, XErrorEvent* event)
{
    trappedError = event->error_code;
    return 0;
}

// The windows of the live window targets. The driver asks the server about a target's window while
// it draws (outside any trap): once the window is gone that is an error, which Xlib's default handler
// would answer by ending the process. An error on a watched window only has the target ask the server
// whether the window is still there; any other goes
// to the handler that was there before. Installed once, with the first window target.
struct WatchedWindow
{
    Display* display;
    unsigned long window;
    std::atomic<bool>* lost;
};

std::mutex watchedMutex;
std::vector<WatchedWindow> watchedWindows;
int (*handlerBeforeWatching)(Display*, XErrorEvent*) = nullptr;
bool watching = false;

int watchedWindowError(Display* display, XErrorEvent* event)
{
    {
        std::lock_guard<std::mutex> lock(watchedMutex);
        for (const WatchedWindow& watched : watchedWindows) {
            if (watched.display == display && watched.window == event->resourceid) {
                watched.lost->store(true);
                return 0;
            }
        }
    }
    return handlerBeforeWatching != nullptr ? handlerBeforeWatching(display, event) : 0;
}

class XErrorTrap
{
public:
    explicit XErrorTrap(Display* display) : display_(display), lock_(trapMutex)
    {
        XSync(display_, False);
        trappedError = 0;
        previous_ = XSetErrorHandler(trapError);
    }

    ~XErrorTrap()
    {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }

    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Waits for the server's answer to what was sent so far; true when it reported no error.
    bool ok()
    {
        XSync(display_, False);
        return trappedError == 0;
    }

private:
    Display* display_;
    std::lock_guard<std::mutex> lock_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

int configAttribute(Display* display, GLXFBConfig config, int attribute)
{
    int value = 0;
    if (glXGetFBConfigAttrib(display, config, attribute, &value) != Success) {
        return 0;
    }
    return value;
}

// The double-buffered RGBA configuration with the deepest depth buffer (16 bits at least) that draws
// into the given visual (any visual for 0) and into the given kinds of drawable.
GLXFBConfig chooseConfig(Display* display, int screen, VisualID visual, int drawableTypes)
{
    const int attributes[] = {GLX_X_RENDERABLE, True,          GLX_RENDER_TYPE,   GLX_RGBA_BIT,
                              GLX_DRAWABLE_TYPE, drawableTypes, GLX_DOUBLEBUFFER,  True,
                              GLX_RED_SIZE,      1,             GLX_GREEN_SIZE,    1,
                              GLX_BLUE_SIZE,     1,             GLX_DEPTH_SIZE,    16,
                              None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
    if (configs == nullptr) {
        return nullptr;
    }
    GLXFBConfig best = nullptr;
    int bestDepth = 0;
    for (int i = 0; i < count; ++i) {
        if (visual != 0 && static_cast<VisualID>(configAttribute(display, configs[i], GLX_VISUAL_ID)) != visual) {
            continue;
        }
        // The list comes in GLX's order of preference: a later configuration wins only by depth.
        const int depth = configAttribute(display, configs[i], GLX_DEPTH_SIZE);
        if (depth > bestDepth) {
            best = configs[i];
            bestDepth = depth;
        }
    }
    XFree(configs);
    return best;
}

GLXPbuffer createSmallPbuffer(Display* display, GLXFBConfig config)
{
    const int attributes[] = {GLX_PBUFFER_WIDTH, 1, GLX_PBUFFER_HEIGHT, 1, None};
    return glXCreatePbuffer(display, config, attributes);
}

void watchWindow(Display* display, unsigned long window, std::atomic<bool>* lost)
{
    {
        // Not while a trap has the handler: it puts back what it found.
        std::lock_guard<std::mutex> trapLock(trapMutex);
        if (!watching) {
            watching = true;
            handlerBeforeWatching = XSetErrorHandler(watchedWindowError);
        }
    }
    std::lock_guard<std::mutex> lock(watchedMutex);
    watchedWindows.push_back(WatchedWindow{display, window, lost});
}

void unwatchWindow(Display* display)
{
    std::lock_guard<std::mutex> lock(watchedMutex);
    for (size_t i = 0; i < watchedWindows.size(); ++i) {
        if (watchedWindows[i].display == display) {
            watchedWindows.erase(watchedWindows.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

[[noreturn]] void fail(const char* text)
{
    core::Error::unknown(core::Categories::REZEZAZ_RENDER, true, text);
}

} // namespace

GLXRenderTarget::GLXRenderTarget() = default;

GLXRenderTarget::GLXRenderTarget(unsigned long window, const WindowRenderTargetFormat* format)
{
    createContext(window, format);
}

GLXRenderTarget::~GLXRenderTarget()
{
    destroyContext();
}

void GLXRenderTarget::destroy()
{
    destroyContext();
    GLRenderTarget::destroy();
}

bool GLXRenderTarget::createContext(unsigned long newWindow, const WindowRenderTargetFormat* format)
{
    destroyContext();
    // Loading threads make their contexts current through this same connection.
    XInitThreads();
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        fail("Failed to create GL context");
    }
    const int extraContexts = format != nullptr && format->threadCount >= 2 ? format->threadCount - 1 : 0;
    const char* failure = nullptr;
    {
        XErrorTrap trap(display);
        int major = 0;
        int minor = 0;
        bool made = glXQueryVersion(display, &major, &minor) && (major > 1 || minor >= 3);
        int screen = DefaultScreen(display);
        VisualID visual = 0;
        XWindowAttributes attributes = {};
        if (made && newWindow != 0) {
            // Listening first: every change of size after the attributes' answer comes as a notice.
            XSelectInput(display, newWindow, StructureNotifyMask);
            made = XGetWindowAttributes(display, newWindow, &attributes) != 0 && trap.ok();
            if (made) {
                screen = XScreenNumberOfScreen(attributes.screen);
                visual = XVisualIDFromVisual(attributes.visual);
            }
        }
        int drawableTypes = newWindow != 0 ? GLX_WINDOW_BIT : GLX_PBUFFER_BIT;
        if (extraContexts > 0) {
            drawableTypes |= GLX_PBUFFER_BIT;
        }
        if (made) {
            config = chooseConfig(display, screen, visual, drawableTypes);
            made = config != nullptr;
        }
        if (made && newWindow == 0) {
            pbuffer = createSmallPbuffer(display, config);
            made = pbuffer != 0 && trap.ok();
        }
        if (made) {
            context = glXCreateNewContext(display, config, GLX_RGBA_TYPE, nullptr, True);
            made = context != nullptr && trap.ok();
        }
        if (!made) {
            failure = "Failed to create GL context";
        } else {
            window = newWindow;
            width = attributes.width;
            height = attributes.height;
        }
        for (int i = 0; failure == nullptr && i < extraContexts; ++i) {
            GLXContext shared = glXCreateNewContext(display, config, GLX_RGBA_TYPE, context, True);
            GLXPbuffer small = shared != nullptr ? createSmallPbuffer(display, config) : 0;
            if (shared != nullptr) {
                threadContexts.add(shared);
                threadPbuffers.add(small);
                threadIDs.add(0);
            }
            if (shared == nullptr || small == 0 || !trap.ok()) {
                failure = "Failed to create threaded GL context";
            }
        }
    }
    if (failure != nullptr) {
        // Everything made so far goes before the error is raised.
        destroyContext();
        fail(failure);
    }
    contextLife = new ContextLife();
    if (window != 0) {
        watchWindow(display, window, &windowSuspect);
    }
    activate();
    findAdaptorInfo();
    return true;
}

bool GLXRenderTarget::destroyContext()
{
    if (contextLife) {
        // What was made in this context must not reach into the next one through its names.
        contextLife->live = false;
        contextLife = nullptr;
    }
    if (display == nullptr) {
        return true;
    }
    unwatchWindow(display);
    {
        XErrorTrap trap(display);
        GLXContext current = glXGetCurrentContext();
        if (current != nullptr && (current == context || threadContexts.findIndex(current) >= 0)) {
            glXMakeContextCurrent(display, None, None, nullptr);
        }
        std::lock_guard<std::mutex> lock(threadMutex);
        for (int i = 0; i < threadContexts.size(); ++i) {
            glXDestroyContext(display, threadContexts[i]);
            if (threadPbuffers[i] != 0) {
                glXDestroyPbuffer(display, threadPbuffers[i]);
            }
        }
        threadContexts.clear();
        threadPbuffers.clear();
        threadIDs.clear();
        if (context != nullptr) {
            glXDestroyContext(display, context);
            context = nullptr;
        }
        if (pbuffer != 0) {
            glXDestroyPbuffer(display, pbuffer);
            pbuffer = 0;
        }
    }
    config = nullptr;
    window = 0;
    width = 0;
    height = 0;
    windowLost = false;
    drawingStopped = false;
    XCloseDisplay(display);
    display = nullptr;
    return true;
}

RenderTarget* GLXRenderTarget::getRootRenderTarget()
{
    return this;
}

bool GLXRenderTarget::isPrimary() const
{
    return true;
}

bool GLXRenderTarget::isValid() const
{
    return context != nullptr;
}

void GLXRenderTarget::querySize()
{
    width = 0;
    height = 0;
    if (display == nullptr || window == 0) {
        return;
    }
    Window root = 0;
    int x = 0;
    int y = 0;
    unsigned int w = 0;
    unsigned int h = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    {
        // The window is the caller's: once it is gone the size is 0, and the process goes on.
        XErrorTrap trap(display);
        if (XGetGeometry(display, window, &root, &x, &y, &w, &h, &border, &depth) != 0 && trap.ok()) {
            width = static_cast<int>(w);
            height = static_cast<int>(h);
        } else {
            windowLost = true;
        }
    }
    // Notices read during the round trip end with the latest size, which may be newer than the answer.
    followNotices();
}

void GLXRenderTarget::followNotices() const
{
    if (display == nullptr || window == 0) {
        return;
    }
    // Reading what the server has sent takes no round trip; the connection carries nothing else.
    while (XEventsQueued(display, QueuedAfterReading) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == ConfigureNotify && event.xconfigure.window == window) {
            width = event.xconfigure.width;
            height = event.xconfigure.height;
        } else if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
            width = 0;
            height = 0;
            windowLost = true;
        }
    }
}

int GLXRenderTarget::getWidth() const
{
    followNotices();
    return width;
}

int GLXRenderTarget::getHeight() const
{
    followNotices();
    return height;
}

unsigned long GLXRenderTarget::drawable() const
{
    return window != 0 ? window : pbuffer;
}

bool GLXRenderTarget::stopDrawingIfWindowLost()
{
    // An error on the window may be passing (a size that changed under the driver): the server is
    // asked whether the window is still there.
    if (windowSuspect.exchange(false) && !windowLost) {
        querySize();
    }
    followNotices();
    if (!windowLost) {
        return false;
    }
    if (!drawingStopped) {
        drawingStopped = true;
        {
            // The context may still be current on the window that is gone.
            XErrorTrap trap(display);
            if (glXGetCurrentContext() == context) {
                glXMakeContextCurrent(display, None, None, nullptr);
            }
        }
        core::Log::getInstance()->addLogEntry(core::Categories::REZEZAZ_RENDER, core::Logger::WARNING,
                                              "GLXRenderTarget: the window is gone, drawing stops");
    }
    return true;
}

bool GLXRenderTarget::swap()
{
    if (context == nullptr) {
        return false;
    }
    if (window == 0) {
        glXSwapBuffers(display, pbuffer);
        return true;
    }
    if (!drawingStopped) {
        // One round trip brings in the destroy notice of a window destroyed so far; an error on a
        // window destroyed after it only marks the window gone (the watching handler).
        XSync(display, False);
        followNotices();
        if (!windowLost) {
            glXSwapBuffers(display, window);
        }
    }
    if (stopDrawingIfWindowLost()) {
        return false;
    }
    return true;
}

void GLXRenderTarget::reset()
{
    querySize();
    if (stopDrawingIfWindowLost()) {
        return;
    }
    // Making the context current again has the driver read the drawable's new size.
    if (context != nullptr && glXGetCurrentContext() == context) {
        glXMakeContextCurrent(display, drawable(), drawable(), context);
    }
}

bool GLXRenderTarget::activate()
{
    if (context == nullptr || stopDrawingIfWindowLost()) {
        return false;
    }
    return glXMakeContextCurrent(display, drawable(), drawable(), context) == True;
}

bool GLXRenderTarget::deactivate()
{
    // Whatever context is current on the calling thread goes, also for a target without one.
    Display* current = glXGetCurrentDisplay();
    if (current != nullptr) {
        glXMakeContextCurrent(current, None, None, nullptr);
    }
    return true;
}

bool GLXRenderTarget::activateAdditionalContext()
{
    const unsigned long long thread = core::PosixSystem::threadID();
    std::lock_guard<std::mutex> lock(threadMutex);
    if (threadIDs.findIndex(thread) >= 0) {
        return false;
    }
    const int free = threadIDs.findIndex(0ULL);
    if (free < 0) {
        return false;
    }
    if (glXMakeContextCurrent(display, threadPbuffers[free], threadPbuffers[free], threadContexts[free]) != True) {
        return false;
    }
    threadIDs[free] = thread;
    return true;
}

void GLXRenderTarget::deactivateAdditionalContext()
{
    const unsigned long long thread = core::PosixSystem::threadID();
    std::lock_guard<std::mutex> lock(threadMutex);
    const int held = threadIDs.findIndex(thread);
    if (held < 0) {
        return;
    }
    glXMakeContextCurrent(display, None, None, nullptr);
    threadIDs[held] = 0;
}

bool GLXRenderTarget::isCurrent() const
{
    GLXContext current = glXGetCurrentContext();
    if (current == nullptr || context == nullptr) {
        return false;
    }
    if (current == context) {
        return true;
    }
    std::lock_guard<std::mutex> lock(threadMutex);
    return threadContexts.findIndex(current) >= 0;
}

int GLXRenderTarget::getDepthBits() const
{
    return config != nullptr ? configAttribute(display, config, GLX_DEPTH_SIZE) : 0;
}

} // namespace rezezaz::render

extern "C" rezezaz::render::RenderTarget* new_GLXRenderTarget(void*, unsigned long window,
                                                              rezezaz::render::WindowRenderTargetFormat* format)
{
    return new rezezaz::render::GLXRenderTarget(window, format);
}
