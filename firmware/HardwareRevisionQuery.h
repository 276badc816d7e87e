#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The one question a firmware checker job asks its page: the meter's hardware revision, read on the
// GUI thread at the moment the job's selection runs. The job blocks in ask() while the answer is
// worked out on the GUI thread by the page's own function. The page and its jobs share the query, so
// it outlives the page: once the page has detached it (when it goes), every question, also one
// already waiting, is answered 0 and nothing of the page is called again.
class HardwareRevisionQuery : public std::enable_shared_from_this<HardwareRevisionQuery>
{
public:
    // Called on the GUI thread only.
    using Answer = std::function<int()>;

    explicit HardwareRevisionQuery(Answer answer);

    HardwareRevisionQuery(const HardwareRevisionQuery&) = delete;
    HardwareRevisionQuery& operator=(const HardwareRevisionQuery&) = delete;

    // The answer, from any thread; a job's thread waits until the GUI thread has given it. 0 once
    // detached, or without an application to answer.
    int ask();
    // GUI thread: the page is going. Wakes a job that waits.
    void detach();

private:
    // GUI thread: answers the questions asked so far.
    void answerAsked();

    std::mutex mMutex;
    std::condition_variable mAnswered;
    Answer mAnswer; // empty once detached
    unsigned long mAsked = 0;
    unsigned long mServed = 0;
    int mValue = 0;
};
