// The X11 window target on a real X server (Xvfb in the test command) with Mesa.
// GoogleTest before Xlib: Xlib defines None, Bool and Status as macros.
#include <gtest/gtest.h>

#include "support/gl/GLErrorCheck.h"
#include "support/gl/XTestWindow.h"

#include "core/Categories.h"
#include "core/Exception.h"
#include "core/IntrusivePointer.h"
#include "core/Logger.h"
#include "core/ResourceDestroyedListener.h"
#include "render/gl/GLXRenderTarget.h"
#include "support/LogRecorder.h"

#include <GL/glew.h>
#include <GL/glx.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using rezezaz::core::IntrusivePointer;
using rezezaz::render::GLXRenderTarget;
using rezezaz::render::RenderTarget;
using rezezaz::render::WindowRenderTargetFormat;

namespace {

WindowRenderTargetFormat formatFor(int threads)
{
    WindowRenderTargetFormat format;
    format.pixelFormat = 0x706;
    format.depthBits = 16;
    format.threadCount = threads;
    return format;
}

// A thread that runs the jobs it is given one at a time, and answers each; the test decides the order,
// so the target's extra contexts are asked for in a known sequence from distinct threads.
class Worker
{
public:
    Worker() : thread_([this] { run(); }) {}
    ~Worker()
    {
        post([] { return false; }).wait();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    std::future<bool> post(std::function<bool()> job)
    {
        std::packaged_task<bool()> task(std::move(job));
        std::future<bool> result = task.get_future();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(task));
        }
        wake_.notify_one();
        return result;
    }

    bool ask(std::function<bool()> job) { return post(std::move(job)).get(); }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return done_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return;
            }
            std::packaged_task<bool()> task = std::move(jobs_.front());
            jobs_.erase(jobs_.begin());
            lock.unlock();
            task();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::packaged_task<bool()>> jobs_;
    bool done_ = false;
    std::thread thread_;
};

// Whether the condition came true before the generous limit: the X server delivers the target's
// notices in its own time on a busy machine.
bool eventually(const std::function<bool()>& condition)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class GLXRenderTargetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GLTEST_REQUIRE(x.get() != nullptr, "X display");
        bool context = true;
        try {
            IntrusivePointer<GLXRenderTarget> probe = new GLXRenderTarget(0, nullptr);
        } catch (const rezezaz::core::Exception&) {
            context = false;
        }
        GLTEST_REQUIRE(context, "GL context");
    }

    void TearDown() override { gltest::expectNoGLErrorLeft(); }

    // A target on the window (0: none), or null (the test then fails or skips) when no context comes.
    IntrusivePointer<GLXRenderTarget> make(unsigned long window, int threads)
    {
        WindowRenderTargetFormat format = formatFor(threads);
        try {
            IntrusivePointer<RenderTarget> made = new_GLXRenderTarget(nullptr, window, &format);
            return IntrusivePointer<GLXRenderTarget>(static_cast<GLXRenderTarget*>(made.get()));
        } catch (const rezezaz::core::Exception& e) {
            ADD_FAILURE() << "no GL context: " << e.getDescription();
            return nullptr;
        }
    }

    gltest::XTestDisplay x;
};

TEST_F(GLXRenderTargetTest, FewThreadsMakeNoExtraContext)
{
    for (int threads : {0, 1}) {
        SCOPED_TRACE(threads);
        IntrusivePointer<GLXRenderTarget> target = make(0, threads);
        ASSERT_TRUE(target);
        Worker worker;
        EXPECT_FALSE(worker.ask([&] { return target->activateAdditionalContext(); }));
        EXPECT_FALSE(target->activateAdditionalContext());
    }
}

TEST_F(GLXRenderTargetTest, ThreadHoldsAtMostOneExtraContextAndKeepsIt)
{
    IntrusivePointer<GLXRenderTarget> target = make(0, 3);
    ASSERT_TRUE(target);
    Worker worker;
    GLXContext first = nullptr;
    EXPECT_TRUE(worker.ask([&] {
        bool got = target->activateAdditionalContext();
        first = glXGetCurrentContext();
        return got;
    }));
    EXPECT_FALSE(worker.ask([&] { return target->activateAdditionalContext() || glXGetCurrentContext() != first; }));
    EXPECT_NE(first, nullptr);
    // Given back, it can be had again.
    EXPECT_TRUE(worker.ask([&] {
        target->deactivateAdditionalContext();
        return glXGetCurrentContext() == nullptr && target->activateAdditionalContext();
    }));
    worker.ask([&] {
        target->deactivateAdditionalContext();
        return true;
    });
}

TEST_F(GLXRenderTargetTest, FourthThreadWaitsForAFreedContext)
{
    IntrusivePointer<GLXRenderTarget> target = make(0, 4);
    ASSERT_TRUE(target);
    Worker workers[4];
    GLXContext held[3] = {};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(workers[i].ask([&, i] {
            bool got = target->activateAdditionalContext();
            held[i] = glXGetCurrentContext();
            return got;
        })) << i;
    }
    EXPECT_NE(held[0], held[1]);
    EXPECT_NE(held[1], held[2]);
    EXPECT_FALSE(workers[3].ask([&] { return target->activateAdditionalContext(); }));
    workers[1].ask([&] {
        target->deactivateAdditionalContext();
        return true;
    });
    GLXContext fourth = nullptr;
    EXPECT_TRUE(workers[3].ask([&] {
        bool got = target->activateAdditionalContext();
        fourth = glXGetCurrentContext();
        return got;
    }));
    EXPECT_EQ(fourth, held[1]);
    for (int i : {0, 2, 3}) {
        workers[i].ask([&] {
            target->deactivateAdditionalContext();
            return true;
        });
    }
}

TEST_F(GLXRenderTargetTest, ThreadsAskingAtOnceGetDistinctContexts)
{
    constexpr int threads = 6;
    IntrusivePointer<GLXRenderTarget> target = make(0, threads + 1);
    ASSERT_TRUE(target);
    std::vector<GLXContext> got(threads, nullptr);
    std::vector<std::thread> running;
    std::promise<void> go;
    std::shared_future<void> start = go.get_future().share();
    std::promise<void> stop;
    std::shared_future<void> end = stop.get_future().share();
    std::vector<std::promise<void>> ready(threads);
    for (int i = 0; i < threads; ++i) {
        running.emplace_back([&, i] {
            start.wait();
            if (target->activateAdditionalContext()) {
                got[i] = glXGetCurrentContext();
            }
            ready[i].set_value();
            end.wait();
            target->deactivateAdditionalContext();
        });
    }
    go.set_value();
    for (auto& r : ready) {
        r.get_future().wait();
    }
    stop.set_value();
    for (auto& t : running) {
        t.join();
    }
    for (int i = 0; i < threads; ++i) {
        EXPECT_NE(got[i], nullptr) << i;
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(got[i], got[j]) << i << " " << j;
        }
    }
}

TEST_F(GLXRenderTargetTest, ExtraContextsShareTheMainContextsObjects)
{
    IntrusivePointer<GLXRenderTarget> target = make(0, 2);
    ASSERT_TRUE(target);
    ASSERT_TRUE(target->activate());
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glFinish();
    Worker worker;
    EXPECT_TRUE(worker.ask([&] {
        bool seen = target->activateAdditionalContext() && glIsTexture(texture) == GL_TRUE;
        target->deactivateAdditionalContext();
        return seen;
    }));
    glDeleteTextures(1, &texture);
}

TEST_F(GLXRenderTargetTest, WithoutAWindowTheSizeIsZero)
{
    IntrusivePointer<GLXRenderTarget> target = make(0, 1);
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->isValid());
    EXPECT_TRUE(target->isPrimary());
    EXPECT_EQ(target->getRootRenderTarget(), target.get());
    EXPECT_EQ(target->getWidth(), 0);
    EXPECT_EQ(target->getHeight(), 0);
    // Made current by creation, so the renderer could be named.
    EXPECT_EQ(glXGetCurrentContext() != nullptr, true);
    ASSERT_NE(target->getAdaptorInfo(), nullptr);
    EXPECT_EQ(std::string(target->getAdaptorInfo()->description.c_str()),
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    EXPECT_FALSE(std::string(target->getAdaptorInfo()->description.c_str()).empty());
}

TEST_F(GLXRenderTargetTest, WindowSizeFollowsResize)
{
    Window window = x.createWindow(320, 200);
    IntrusivePointer<GLXRenderTarget> target = make(window, 1);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->getWidth(), 320);
    EXPECT_EQ(target->getHeight(), 200);
    x.resize(window, 200, 150);
    target->reset();
    EXPECT_EQ(target->getWidth(), 200);
    EXPECT_EQ(target->getHeight(), 150);
    GLint viewport[4] = {};
    // The drawable's new size reaches the context: a frame cleared now covers the whole window.
    glViewport(0, 0, 200, 150);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(target->swap());
    glFinish();
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(x.pixelOnceItIs(window, 199, 149, 0x0000FF), 0x0000FFu);
}

TEST_F(GLXRenderTargetTest, KeptSizeFollowsConfiguresWithoutReset)
{
    Window window = x.createWindow(320, 200);
    IntrusivePointer<GLXRenderTarget> target = make(window, 1);
    ASSERT_TRUE(target);
    // Several changes in a row: the kept size ends on the last, not on one in between.
    x.resize(window, 640, 480);
    x.resize(window, 100, 80);
    x.resize(window, 250, 125);
    EXPECT_TRUE(eventually([&] { return target->getWidth() == 250 && target->getHeight() == 125; }))
        << target->getWidth() << "x" << target->getHeight();
    // A resize to the same width changes only the height.
    x.resize(window, 250, 90);
    EXPECT_TRUE(eventually([&] { return target->getHeight() == 90; }));
    EXPECT_EQ(target->getWidth(), 250);
    // reset asks the server, and agrees with what the notices gave.
    target->reset();
    EXPECT_EQ(target->getWidth(), 250);
    EXPECT_EQ(target->getHeight(), 90);
}

TEST_F(GLXRenderTargetTest, AWindowDestroyedUnderTheTargetHasNoSize)
{
    Window window = x.createWindow(64, 48);
    IntrusivePointer<GLXRenderTarget> target = make(window, 1);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->getWidth(), 64);
    target->deactivate();
    XDestroyWindow(x.get(), window);
    XSync(x.get(), False);
    EXPECT_TRUE(eventually([&] { return target->getWidth() == 0; }));
    EXPECT_EQ(target->getHeight(), 0);
    // Asking the server again finds no window, and the process goes on.
    target->reset();
    EXPECT_EQ(target->getWidth(), 0);
    EXPECT_EQ(target->getHeight(), 0);
    target->destroy();
    EXPECT_FALSE(target->isValid());
}

TEST_F(GLXRenderTargetTest, ContextIsDoubleBufferedWithADeepDepthBuffer)
{
    Window window = x.createWindow(64, 64);
    IntrusivePointer<GLXRenderTarget> target = make(window, 1);
    ASSERT_TRUE(target);
    EXPECT_GE(target->getDepthBits(), 16);
    GLint depth = 0;
    GLboolean doubled = GL_FALSE;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
    EXPECT_EQ(depth, target->getDepthBits());
    EXPECT_EQ(doubled, GL_TRUE);
    // A compatibility context: the fixed-function matrix stack is there.
    GLint profile = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_EQ(profile & GL_CONTEXT_CORE_PROFILE_BIT, 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLXRenderTargetTest, ClearedFrameReachesTheWindow)
{
    Window window = x.createWindow(96, 64);
    IntrusivePointer<GLXRenderTarget> target = make(window, 1);
    ASSERT_TRUE(target);
    ASSERT_TRUE(target->activate());
    glViewport(0, 0, 96, 64);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLubyte back[4] = {};
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(back[0], 255);
    EXPECT_EQ(back[1], 0);
    EXPECT_TRUE(target->swap());
    glFinish();
    EXPECT_EQ(x.pixelOnceItIs(window, 0, 0, 0xFF0000), 0xFF0000u);
    EXPECT_EQ(x.pixelOnceItIs(window, 95, 63, 0xFF0000), 0xFF0000u);
}

TEST_F(GLXRenderTargetTest, ABadWindowIsAnErrorNotTheEndOfTheProcess)
{
    support::LogRecorder log;
    WindowRenderTargetFormat format = formatFor(1);
    // An id the server never gave out.
    const unsigned long noWindow = 0x3FFFFFFF;
    try {
        IntrusivePointer<RenderTarget> target = new_GLXRenderTarget(nullptr, noWindow, &format);
        FAIL() << "made a target on a window that does not exist";
    } catch (const rezezaz::core::Exception& e) {
        EXPECT_STREQ(e.getDescription(), "Failed to create GL context");
        EXPECT_EQ(e.getError(), -1);
    }
    EXPECT_TRUE(log.has(rezezaz::core::Categories::REZEZAZ_RENDER.c_str(), rezezaz::core::Logger::ERROR,
                        "Failed to create GL context"));
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
}

class RecordingDestroyedListener : public rezezaz::core::ResourceDestroyedListener
{
public:
    void resourceDestroyed(rezezaz::core::Resource* resource) override { heard.push_back(resource); }
    std::vector<rezezaz::core::Resource*> heard;
};

TEST_F(GLXRenderTargetTest, DestroyFreesTheContextsAndTellsTheListenerOnce)
{
    IntrusivePointer<GLXRenderTarget> target = make(0, 3);
    ASSERT_TRUE(target);
    RecordingDestroyedListener listener;
    target->setDestroyedListener(&listener);
    target->destroy();
    EXPECT_FALSE(target->isValid());
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    EXPECT_FALSE(target->activate());
    EXPECT_FALSE(target->activateAdditionalContext());
    EXPECT_FALSE(target->swap());
    target->destroy();
    ASSERT_EQ(listener.heard.size(), 1u);
    EXPECT_EQ(listener.heard[0], target->resourceThis());
    // The same object can be given a context again.
    WindowRenderTargetFormat format = formatFor(2);
    EXPECT_TRUE(target->createContext(0, &format));
    EXPECT_TRUE(target->isValid());
}

TEST_F(GLXRenderTargetTest, AWindowDestroyedUnderTheRendererStopsItsDrawingAndSaysSoOnce)
{
    support::LogRecorder log;
    Window window = x.createWindow(64, 48);
    IntrusivePointer<GLXRenderTarget> target = make(window, 1);
    ASSERT_TRUE(target);
    ASSERT_TRUE(target->activate());
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_TRUE(target->swap());

    // The view goes between two frames, the context current on it; the next frame is drawn and
    // shown as if nothing had happened.
    XDestroyWindow(x.get(), window);
    XSync(x.get(), False);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_FALSE(target->swap());
    EXPECT_TRUE(target->isWindowLost());
    EXPECT_EQ(glXGetCurrentContext(), nullptr);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_FALSE(target->activate()) << frame;
        EXPECT_FALSE(target->swap()) << frame;
    }
    target->reset();
    EXPECT_EQ(target->getWidth(), 0);
    const auto warnings = log.texts(rezezaz::core::Categories::REZEZAZ_RENDER.c_str(), rezezaz::core::Logger::WARNING);
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), "GLXRenderTarget: the window is gone, drawing stops"), 1);

    // The context is the target's until it goes, and the target can be given a window again.
    EXPECT_TRUE(target->isValid());
    target->destroy();
    EXPECT_FALSE(target->isValid());
    Window next = x.createWindow(32, 32);
    WindowRenderTargetFormat format = formatFor(1);
    ASSERT_TRUE(target->createContext(next, &format));
    EXPECT_FALSE(target->isWindowLost());
    EXPECT_TRUE(target->activate());
    EXPECT_TRUE(target->swap());
}

} // namespace
