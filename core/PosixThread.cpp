#include "core/PosixThread.h"

#include "core/Categories.h"
#include "core/Error.h"

namespace rezezaz {
namespace core {

PosixThread::PosixThread() : mRunnable(this), mRunner(nullptr), mHandle(), mHasHandle(false), mRunning(false)
{}

PosixThread::PosixThread(Runnable* runnable)
    : mRunnable(runnable), mRunner(nullptr), mHandle(), mHasHandle(false), mRunning(false)
{}

PosixThread::PosixThread(Runner* runner)
    : mRunnable(runner), mRunner(runner), mHandle(), mHasHandle(false), mRunning(false)
{
    if (mRunner)
        mRunner->retain();
}

PosixThread::~PosixThread()
{
    if (mHasHandle)
        pthread_detach(mHandle);
    if (mRunner)
        mRunner->release();
}

int32_t PosixThread::retain()
{
    return Object::retain();
}

int32_t PosixThread::release()
{
    return Object::release();
}

void PosixThread::destroy()
{
    mRunnable = nullptr;
    Runner* runner = mRunner;
    mRunner = nullptr;
    if (runner)
        runner->release();
    Object::destroy();
}

void PosixThread::start()
{
    if (mRunning.load())
        return;

    // A thread that finished without being joined leaves its handle behind.
    if (mHasHandle) {
        pthread_detach(mHandle);
        mHasHandle = false;
    }

    mRunning.store(true);
    // The self-reference, dropped by the thread as its last act.
    retain();
    // Keeps this object alive until start() is done with it, even when the thread has
    // already finished and its owner holds no reference.
    retain();

    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result == 0) {
        pthread_attr_setscope(&attributes, PTHREAD_SCOPE_SYSTEM);
        result = createThread(&mHandle, &attributes, &PosixThread::threadMain, this);
        pthread_attr_destroy(&attributes);
    }
    if (result == 0) {
        mHasHandle = true;
        release();
        return;
    }

    // No thread will drop the self-reference: drop it here. These may be the last
    // references, so nothing of this object is touched afterwards.
    mRunning.store(false);
    release();
    release();
    Error::unknown(Categories::REZEZAZ_CORE, true, "error in pthread_create");
}

bool PosixThread::join()
{
    if (!mHasHandle)
        return false;
    if (pthread_join(mHandle, nullptr) != 0)
        return false;
    mHasHandle = false;
    return true;
}

void PosixThread::run()
{
    if (mRunnable && mRunnable != this)
        mRunnable->run();
}

int PosixThread::createThread(pthread_t* handle, const pthread_attr_t* attributes, void* (*entry)(void*),
                              void* argument)
{
    return pthread_create(handle, attributes, entry, argument);
}

void* PosixThread::threadMain(void* argument)
{
    PosixThread* thread = static_cast<PosixThread*>(argument);
    thread->run();

    thread->mRunnable = nullptr;
    Runner* runner = thread->mRunner;
    thread->mRunner = nullptr;
    if (runner)
        runner->release();

    thread->mRunning.store(false);
    // May destroy the thread object when its owner has let it go.
    thread->release();
    return nullptr;
}

} // namespace core
} // namespace rezezaz
