#pragma once

#include "core/Object.h"
#include "core/Runner.h"

#include <atomic>
#include <pthread.h>

namespace rezezaz {
namespace core {

// A POSIX thread that runs a Runnable (not owned), a Runner (owned) or its own run().
// While its work runs the thread holds a reference to itself, so its owner may release it
// at any time after start().
class PosixThread : public Object, public Runner
{
public:
    // Runs this object's run(); for subclasses that override it.
    PosixThread();
    // Runs the given runnable, which must outlive the thread's work.
    explicit PosixThread(Runnable* runnable);
    // Keeps a reference to the runner until the thread's work has finished.
    explicit PosixThread(Runner* runner);
    virtual ~PosixThread();

    PosixThread(const PosixThread&) = delete;
    PosixThread& operator=(const PosixThread&) = delete;

    int32_t retain() override;
    int32_t release() override;
    void destroy() override;

    // Does nothing while the thread runs. Throws through Error::unknown when no thread can be
    // created; the thread is then not running and holds no reference to itself.
    virtual void start();
    // Waits for the thread; false when waiting fails.
    virtual bool join();
    void run() override;

    // True from start() until the thread's work has finished; a hint for other threads.
    bool isRunning() const { return mRunning.load(); }

protected:
    // Creates the POSIX thread that runs the work; returns 0 or an error number.
    // Tests override it to make the start fail.
    virtual int createThread(pthread_t* handle, const pthread_attr_t* attributes, void* (*entry)(void*),
                             void* argument);

private:
    static void* threadMain(void* argument);

    Runnable* mRunnable;
    Runner* mRunner;
    pthread_t mHandle;
    bool mHasHandle;
    // The self-reference is held while this is true.
    std::atomic<bool> mRunning;
};

} // namespace core
} // namespace rezezaz
