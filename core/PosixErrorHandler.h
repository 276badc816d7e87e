#pragma once

#include <atomic>
#include <csignal>

namespace rezezaz {
namespace core {

class StackTraceListener;

// Traps fatal signals and uncaught exceptions once installed, hands a symbolic backtrace to
// its stack-trace listener (not owned) and ends the process. Installing saves what was in
// force before; uninstalling (also on destruction) puts it back.
class PosixErrorHandler
{
public:
    static constexpr int MAX_SIGNALS = 32;
    static constexpr int MAX_FRAMES = 128;

    PosixErrorHandler();
    virtual ~PosixErrorHandler();

    PosixErrorHandler(const PosixErrorHandler&) = delete;
    PosixErrorHandler& operator=(const PosixErrorHandler&) = delete;

    virtual void setStackTraceListener(StackTraceListener* listener);
    virtual StackTraceListener* getStackTraceListener();
    // Both are idempotent and return true.
    virtual bool installHandler();
    virtual bool uninstallHandler();
    // Turns the return addresses into texts and passes them to the listener, if one is set.
    virtual void handleFrames(void** frames, int count);
    // Ends the process.
    virtual void errorHandled();

    // The handler most recently constructed; the signal and exception paths report through it.
    static std::atomic<PosixErrorHandler*> instance;
    // The signals handled, ended by 0.
    static const int mSignals[];

    static void signalHandler(int signal, siginfo_t* info, void* context);

private:
    bool installed() const { return mAction.sa_sigaction != nullptr; }
    static void terminateHandler();
    static void reportCurrentStack(PosixErrorHandler* handler);

    StackTraceListener* mListener;
    struct sigaction mAction;
    struct sigaction mSavedActions[MAX_SIGNALS];
    bool mSaved[MAX_SIGNALS];
    void* mFrames[MAX_FRAMES];
};

} // namespace core
} // namespace rezezaz
