#include "core/PosixThread.h"

#include "core/Exception.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

using rezezaz::core::Exception;
using rezezaz::core::PosixThread;
using rezezaz::core::Runnable;
using rezezaz::core::Runner;
using support::LogCapture;

namespace {

// A one-way door: threads wait at it until the test opens it.
class Gate
{
public:
    void open()
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mOpen = true;
        mChanged.notify_all();
    }
    void wait()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [this] { return mOpen; });
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mOpen = false;
};

// What happened, in order, across threads.
class Journal
{
public:
    void note(const std::string& event)
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mEvents.push_back(event);
        mChanged.notify_all();
    }
    void waitFor(const std::string& event)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [&] {
            for (const std::string& e : mEvents)
                if (e == event)
                    return true;
            return false;
        });
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> guard(mMutex);
        return mEvents;
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<std::string> mEvents;
};

// A thread subclass that runs its own work, counts the POSIX threads it creates and can be
// told to fail creating one.
class ProbeThread : public PosixThread
{
public:
    ProbeThread(Gate& gate, Journal& journal, int failWith = 0)
        : mGate(gate), mJournal(journal), mFailWith(failWith), mMark("ran")
    {}
    ~ProbeThread() override { mJournal.note("destroyed"); }

    void run() override
    {
        mJournal.note("started");
        mGate.wait();
        // Reads the object's own state after its owner may have let go of it.
        mJournal.note(mMark);
    }

    std::atomic<int> creations{0};

protected:
    int createThread(pthread_t* handle, const pthread_attr_t* attributes, void* (*entry)(void*),
                     void* argument) override
    {
        ++creations;
        if (mFailWith != 0)
            return mFailWith;
        return PosixThread::createThread(handle, attributes, entry, argument);
    }

private:
    Gate& mGate;
    Journal& mJournal;
    int mFailWith;
    std::string mMark;
};

class CountingRunner : public Runner
{
public:
    int32_t retain() override { return ++count; }
    int32_t release() override { return --count; }
    void run() override { ++runs; }

    std::atomic<int32_t> count{0};
    std::atomic<int> runs{0};
};

class CountingRunnable : public Runnable
{
public:
    void run() override { ++runs; }
    std::atomic<int> runs{0};
};

} // namespace

TEST(PosixThreadTest, OutlivesItsOwnersReleaseUntilItsWorkIsDone)
{
    Gate gate;
    Journal journal;
    ProbeThread* thread = new ProbeThread(gate, journal);
    thread->retain();
    thread->start();
    journal.waitFor("started");
    EXPECT_TRUE(thread->isRunning());

    EXPECT_EQ(thread->release(), 1) << "the running thread holds the other reference";
    gate.open();
    journal.waitFor("destroyed");

    EXPECT_EQ(journal.events(), (std::vector<std::string>{"started", "ran", "destroyed"}));
}

TEST(PosixThreadTest, SecondStartWhileRunningCreatesNoSecondThread)
{
    Gate gate;
    Journal journal;
    ProbeThread* thread = new ProbeThread(gate, journal);
    thread->retain();
    thread->start();
    journal.waitFor("started");
    thread->start();
    EXPECT_EQ(thread->creations.load(), 1);

    gate.open();
    EXPECT_TRUE(thread->join());
    EXPECT_FALSE(thread->isRunning());
    EXPECT_FALSE(thread->join()) << "nothing left to wait for";
    thread->release();

    std::vector<std::string> events = journal.events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "ran"), 1);
    EXPECT_EQ(events.back(), "destroyed");
}

TEST(PosixThreadTest, FailedStartThrowsLogsAndLeavesTheThreadStoppedWithoutASelfReference)
{
    LogCapture log;
    Gate gate;
    Journal journal;
    ProbeThread* thread = new ProbeThread(gate, journal, EAGAIN);
    thread->retain();

    try {
        thread->start();
        FAIL() << "start() should have thrown";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getError(), -1);
        EXPECT_STREQ(e.getDescription(), "error in pthread_create");
    }
    EXPECT_FALSE(thread->isRunning());
    EXPECT_EQ(thread->retain(), 2) << "only the owner's reference is left";
    thread->release();

    ASSERT_EQ(log.listener.entries.size(), 1u);
    EXPECT_EQ(log.listener.entries[0].categoryName, "rezezaz.core");
    EXPECT_EQ(log.listener.entries[0].level, 1);
    EXPECT_EQ(log.listener.entries[0].text, "error in pthread_create");

    // Not running, so a second try really tries again.
    EXPECT_THROW(thread->start(), Exception);
    EXPECT_EQ(thread->creations.load(), 2);

    EXPECT_EQ(thread->release(), 0);
    EXPECT_EQ(journal.events(), (std::vector<std::string>{"destroyed"}));
}

TEST(PosixThreadTest, FailedStartOfAThreadNobodyOwnsFreesIt)
{
    LogCapture log;
    Gate gate;
    Journal journal;
    ProbeThread* thread = new ProbeThread(gate, journal, EAGAIN);
    EXPECT_THROW(thread->start(), Exception);
    EXPECT_EQ(journal.events(), (std::vector<std::string>{"destroyed"}));
}

TEST(PosixThreadTest, RunsTheGivenRunnableOrRunnerAndLetsTheRunnerGoWhenDone)
{
    CountingRunnable runnable;
    PosixThread* plain = new PosixThread(&runnable);
    plain->retain();
    plain->start();
    EXPECT_TRUE(plain->join());
    plain->release();
    EXPECT_EQ(runnable.runs.load(), 1);

    CountingRunner runner;
    runner.retain();
    PosixThread* counted = new PosixThread(&runner);
    EXPECT_EQ(runner.count.load(), 2);
    counted->retain();
    counted->start();
    EXPECT_TRUE(counted->join());
    EXPECT_EQ(runner.runs.load(), 1);
    EXPECT_EQ(runner.count.load(), 1) << "the thread let go of its runner when the work ended";
    counted->release();
    EXPECT_EQ(runner.count.load(), 1);
}

TEST(PosixThreadTest, ABareThreadRunsNothing)
{
    PosixThread* thread = new PosixThread();
    thread->retain();
    thread->start();
    EXPECT_TRUE(thread->join());
    thread->release();
}
