#include "core/PosixErrorHandler.h"

#include "core/Error.h"
#include "core/Errorer.h"
#include "core/StackTraceListener.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <execinfo.h>
#include <stdexcept>
#include <string>
#include <vector>

using rezezaz::core::Error;
using rezezaz::core::Errorer;
using rezezaz::core::PosixErrorHandler;
using rezezaz::core::StackTraceListener;
using support::LogCapture;

namespace {

void customSignalHandler(int) {}
void customTerminate()
{
    std::abort();
}

void throwRuntimeError()
{
    throw std::runtime_error("nobody catches this");
}

// An exception that leaves a noexcept function is never caught: the process terminates.
void callWithoutCatching(void (*function)()) noexcept
{
    function();
}

std::vector<int> handledSignals()
{
    std::vector<int> signals;
    for (int i = 0; PosixErrorHandler::mSignals[i] != 0; ++i)
        signals.push_back(PosixErrorHandler::mSignals[i]);
    return signals;
}

// Puts a known action on every handled signal and a known terminate handler, and puts back
// whatever was there before when the test ends.
class PosixErrorHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        struct sigaction custom = {};
        custom.sa_handler = &customSignalHandler;
        sigemptyset(&custom.sa_mask);
        for (int signal : handledSignals()) {
            struct sigaction before;
            ASSERT_EQ(sigaction(signal, &custom, &before), 0);
            mBefore.push_back(before);
        }
        mTerminateBefore = std::set_terminate(&customTerminate);
    }

    void TearDown() override
    {
        std::vector<int> signals = handledSignals();
        for (size_t i = 0; i < mBefore.size(); ++i)
            sigaction(signals[i], &mBefore[i], nullptr);
        std::set_terminate(mTerminateBefore);
    }

    static bool allCustom()
    {
        for (int signal : handledSignals()) {
            struct sigaction now;
            sigaction(signal, nullptr, &now);
            if ((now.sa_flags & SA_SIGINFO) != 0 || now.sa_handler != &customSignalHandler)
                return false;
        }
        return std::get_terminate() == &customTerminate;
    }

    static bool allTrapped()
    {
        for (int signal : handledSignals()) {
            struct sigaction now;
            sigaction(signal, nullptr, &now);
            if ((now.sa_flags & SA_SIGINFO) == 0 || now.sa_sigaction != &PosixErrorHandler::signalHandler)
                return false;
        }
        return std::get_terminate() != &customTerminate;
    }

private:
    std::vector<struct sigaction> mBefore;
    std::terminate_handler mTerminateBefore = nullptr;
};

class RecordingTrace : public StackTraceListener
{
public:
    void startTrace() override { events.push_back("start"); }
    void traceFrame(const char* description) override
    {
        events.push_back(description ? "frame" : "null frame");
    }
    void endTrace() override { events.push_back("end"); }
    std::vector<std::string> events;
};

} // namespace

TEST_F(PosixErrorHandlerTest, UninstallPutsBackWhatWasThereBeforeInstalling)
{
    PosixErrorHandler handler;
    EXPECT_TRUE(handler.uninstallHandler()) << "never installed: nothing to do";
    EXPECT_TRUE(allCustom());

    EXPECT_TRUE(handler.installHandler());
    EXPECT_TRUE(allTrapped());
    // A second install must not save the handler's own actions as the ones to put back.
    EXPECT_TRUE(handler.installHandler());
    EXPECT_TRUE(allTrapped());

    EXPECT_TRUE(handler.uninstallHandler());
    EXPECT_TRUE(allCustom());
    EXPECT_TRUE(handler.uninstallHandler());
    EXPECT_TRUE(allCustom());

    // It can be installed again after that.
    EXPECT_TRUE(handler.installHandler());
    EXPECT_TRUE(allTrapped());
    EXPECT_TRUE(handler.uninstallHandler());
    EXPECT_TRUE(allCustom());
}

TEST_F(PosixErrorHandlerTest, DestroyingAnInstalledHandlerUninstallsItAndClearsTheInstance)
{
    {
        PosixErrorHandler older;
        {
            PosixErrorHandler handler;
            EXPECT_EQ(PosixErrorHandler::instance.load(), &handler);
            handler.installHandler();
            EXPECT_TRUE(allTrapped());
        }
        EXPECT_TRUE(allCustom());
        EXPECT_EQ(PosixErrorHandler::instance.load(), nullptr);
    }
    EXPECT_EQ(PosixErrorHandler::instance.load(), nullptr);
}

TEST(PosixErrorHandlerFramesTest, FramesReachTheListenerBetweenStartAndEnd)
{
    void* frames[16];
    int count = backtrace(frames, 16);
    ASSERT_GT(count, 0);

    PosixErrorHandler handler;
    RecordingTrace trace;
    handler.setStackTraceListener(&trace);
    EXPECT_EQ(handler.getStackTraceListener(), &trace);
    handler.handleFrames(frames, count);

    std::vector<std::string> expected{"start"};
    expected.insert(expected.end(), count, "frame");
    expected.push_back("end");
    EXPECT_EQ(trace.events, expected);

    // Without a listener the texts are made and freed, and nothing else happens.
    handler.setStackTraceListener(nullptr);
    handler.handleFrames(frames, count);
    handler.handleFrames(frames, 0);
    EXPECT_EQ(trace.events, expected);
}

TEST(PosixErrorHandlerFramesTest, ErrorerWritesTheBacktraceToTheLogAndFlushes)
{
    LogCapture log;
    Errorer errorer;
    testing::internal::CaptureStderr();
    errorer.startTrace();
    errorer.traceFrame("0 core_tests 0x1234 main + 4");
    errorer.endTrace();
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(
        log.listener.texts(),
        (std::vector<std::string>{"Backtrace starting", "0 core_tests 0x1234 main + 4", "Backtrace ended"}));
    for (const auto& entry : log.listener.entries) {
        EXPECT_EQ(entry.level, 1);
        EXPECT_EQ(entry.category, nullptr);
    }
    EXPECT_EQ(log.listener.flushes, 1);
}

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define UNDER_THREAD_SANITIZER 1
#endif
#endif

TEST(PosixErrorHandlerDeathTest, InstalledHandlerLogsABacktraceOnAFatalSignalAndAborts)
{
#ifdef UNDER_THREAD_SANITIZER
    GTEST_SKIP()
        << "the signal path logs from inside the handler, which ThreadSanitizer stops as signal-unsafe";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Error::getInstance()->installHandler();
            raise(SIGILL);
        },
        "ERROR:   Backtrace starting(.|\n)*ERROR:   Backtrace ended");
}

TEST(PosixErrorHandlerDeathTest, InstalledHandlerLogsABacktraceForAnUncaughtException)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Error::getInstance()->installHandler();
            callWithoutCatching(&throwRuntimeError);
        },
        "ERROR:   Backtrace starting(.|\n)*ERROR:   Backtrace ended");
}
