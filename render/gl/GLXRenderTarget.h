#pragma once

#include "core/Collection.h"
#include "render/gl/GLRenderTarget.h"
#include "render/WindowRenderTargetFormat.h"

#include <atomic>
#include <mutex>

// The X and GLX handles, declared here as Xlib and GLX declare them, so that users of this header
// do not take in Xlib's macros.
struct _XDisplay;
struct __GLXcontextRec;
struct __GLXFBConfigRec;

namespace rezezaz::render {

// The window target on X11: an OpenGL context (compatibility profile) of its own display connection
// drawing into an X window, plus extra contexts that share the main one's objects, one per loading
// thread, each on a 1x1 pixel buffer. Without a window the main context draws into a 1x1 pixel buffer
// and the size is 0. The window belongs to the caller; the target never changes or destroys it, and
// only listens on its own connection for the window's configure and destroy notices, so that the size
// it keeps follows the window without asking the server on every read. Once the window is gone (its
// destroy notice, or an X error on it) the target stops drawing: the context is let go of, swap and
// activate answer false, and the log says so once.
class GLXRenderTarget : public GLRenderTarget
{
public:
    // Empty: invalid until createContext.
    GLXRenderTarget();
    // Calls createContext; throws as it does.
    GLXRenderTarget(unsigned long window, const WindowRenderTargetFormat* format);
    ~GLXRenderTarget() override;

    // Frees the contexts, then tells the destroyed listener.
    void destroy() override;
    RenderTarget* getRootRenderTarget() override;
    bool isPrimary() const override;
    bool isValid() const override;
    // The window's size in pixels as the last configure notice the server sent gave it (read from the
    // connection's queue without a round trip); 0 without a window or once the window is gone.
    int getWidth() const override;
    int getHeight() const override;

    // Waits for the server's notices so far (a round trip) so that a window destroyed under the target
    // is known before anything is shown on it; false once it is gone.
    bool swap() override;
    // After the window changed size: asks the server for the size now, and has the context take it.
    void reset() override;
    bool activate() override;
    bool deactivate() override;
    bool activateAdditionalContext() override;
    void deactivateAdditionalContext() override;
    bool isCurrent() const override;
    // Whether the window was destroyed under the target; never for a target without a window.
    bool isWindowLost() const { return windowLost.load(); }

    // Opens the display connection, chooses the frame-buffer configuration, makes the main context
    // and (thread count - 1) extra contexts, and makes the main one current. Throws Error::unknown
    // with "Failed to create GL context" or "Failed to create threaded GL context" after freeing
    // what it had made.
    bool createContext(unsigned long window, const WindowRenderTargetFormat* format);
    bool destroyContext();

    // The configuration chosen, for tests and diagnostics: its depth-buffer bits (0 without one).
    int getDepthBits() const;

private:
    // Asks the server for the window's size (a round trip in the error trap) and keeps it.
    void querySize();
    // Takes the configure and destroy notices that reached the connection so far into the kept size.
    void followNotices() const;
    // The drawable the main context draws into: the window, or its pixel buffer.
    unsigned long drawable() const;
    // Once the window is gone: lets go of the context if it is current on it, and says so once.
    // True when drawing has stopped.
    bool stopDrawingIfWindowLost();

    _XDisplay* display = nullptr;
    unsigned long window = 0;
    mutable int width = 0;
    mutable int height = 0;
    // Set when the window is known to be gone (its destroy notice, or the server has no such window).
    mutable std::atomic<bool> windowLost{false};
    // Set by the process's X error handler on an error about the window: to be checked with the server.
    std::atomic<bool> windowSuspect{false};
    bool drawingStopped = false;
    __GLXFBConfigRec* config = nullptr;
    __GLXcontextRec* context = nullptr;
    unsigned long pbuffer = 0;
    core::Collection<__GLXcontextRec*> threadContexts;
    core::Collection<unsigned long> threadPbuffers;
    core::Collection<unsigned long long> threadIDs;
    // Extra contexts are handed out to loading threads that may ask at the same time.
    mutable std::mutex threadMutex;
};

} // namespace rezezaz::render

// Makes a window target on the X window (0 for none, drawing off screen); the first argument is
// not used. Throws as GLXRenderTarget::createContext does.
extern "C" rezezaz::render::RenderTarget* new_GLXRenderTarget(void* reserved, unsigned long window,
                                                              rezezaz::render::WindowRenderTargetFormat* format);
