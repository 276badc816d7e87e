#include "core/PosixErrorHandler.h"

#include "core/StackTraceListener.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <execinfo.h>

namespace rezezaz {
namespace core {

std::atomic<PosixErrorHandler*> PosixErrorHandler::instance(nullptr);

const int PosixErrorHandler::mSignals[] = {SIGQUIT, SIGILL,  SIGTRAP, SIGFPE,  SIGBUS,  SIGSEGV,
                                           SIGSYS,  SIGPIPE, SIGALRM, SIGXCPU, SIGXFSZ, 0};

namespace {

// The uncaught-exception handler that was in force before installation.
std::terminate_handler previousTerminate = nullptr;

} // namespace

PosixErrorHandler::PosixErrorHandler() : mListener(nullptr), mAction(), mSavedActions(), mSaved(), mFrames()
{
    mAction.sa_sigaction = nullptr;
    instance.store(this);
}

PosixErrorHandler::~PosixErrorHandler()
{
    if (installed())
        PosixErrorHandler::uninstallHandler();
    PosixErrorHandler* self = this;
    instance.compare_exchange_strong(self, nullptr);
}

void PosixErrorHandler::setStackTraceListener(StackTraceListener* listener)
{
    mListener = listener;
}

StackTraceListener* PosixErrorHandler::getStackTraceListener()
{
    return mListener;
}

bool PosixErrorHandler::installHandler()
{
    if (installed())
        return true;

    mAction.sa_sigaction = &PosixErrorHandler::signalHandler;
    sigemptyset(&mAction.sa_mask);
    mAction.sa_flags = SA_SIGINFO;
    for (int i = 0; i < MAX_SIGNALS && mSignals[i] != 0; ++i)
        mSaved[i] = sigaction(mSignals[i], &mAction, &mSavedActions[i]) == 0;

    previousTerminate = std::set_terminate(&PosixErrorHandler::terminateHandler);
    return true;
}

bool PosixErrorHandler::uninstallHandler()
{
    if (!installed())
        return true;

    for (int i = 0; i < MAX_SIGNALS && mSignals[i] != 0; ++i) {
        // A signal whose action could not be replaced keeps the one it has.
        if (mSaved[i])
            sigaction(mSignals[i], &mSavedActions[i], nullptr);
        mSaved[i] = false;
    }
    mAction.sa_sigaction = nullptr;

    std::set_terminate(previousTerminate);
    previousTerminate = nullptr;
    return true;
}

void PosixErrorHandler::handleFrames(void** frames, int count)
{
    char** texts = count > 0 ? backtrace_symbols(frames, count) : nullptr;
    if (mListener)
        mListener->startTrace();
    for (int i = 0; i < count; ++i) {
        // Without symbol texts (no memory left) the frames are still counted out.
        if (mListener)
            mListener->traceFrame(texts ? texts[i] : "??");
    }
    if (mListener)
        mListener->endTrace();
    free(texts);
}

void PosixErrorHandler::errorHandled()
{
    abort();
}

void PosixErrorHandler::reportCurrentStack(PosixErrorHandler* handler)
{
    int count = backtrace(handler->mFrames, MAX_FRAMES);
    handler->handleFrames(handler->mFrames, count);
    handler->errorHandled();
}

void PosixErrorHandler::signalHandler(int signal, siginfo_t*, void*)
{
    PosixErrorHandler* handler = instance.load();
    if (handler == nullptr) {
        // Nobody to report to: let the signal do what it does by default.
        ::signal(signal, SIG_DFL);
        raise(signal);
        return;
    }
    reportCurrentStack(handler);
}

void PosixErrorHandler::terminateHandler()
{
    PosixErrorHandler* handler = instance.load();
    if (handler == nullptr)
        abort();
    reportCurrentStack(handler);
    // errorHandled() is expected to end the process; a terminate handler must not return.
    abort();
}

} // namespace core
} // namespace rezezaz
