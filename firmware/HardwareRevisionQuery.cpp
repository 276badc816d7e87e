#include "firmware/HardwareRevisionQuery.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

HardwareRevisionQuery::HardwareRevisionQuery(Answer answer) : mAnswer(std::move(answer)) {}

int HardwareRevisionQuery::ask()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        return 0;
    }
    if (QThread::currentThread() == application->thread()) {
        // Asked on the GUI thread itself: waiting for it would never end.
        std::lock_guard<std::mutex> lock(mMutex);
        return mAnswer ? mAnswer() : 0;
    }

    std::unique_lock<std::mutex> lock(mMutex);
    if (!mAnswer) {
        return 0;
    }
    const unsigned long ticket = ++mAsked;
    lock.unlock();
    std::shared_ptr<HardwareRevisionQuery> self = shared_from_this();
    QMetaObject::invokeMethod(
        application, [self]() { self->answerAsked(); }, Qt::QueuedConnection);
    lock.lock();
    mAnswered.wait(lock, [&] { return mServed >= ticket || !mAnswer; });
    return mServed >= ticket ? mValue : 0;
}

void HardwareRevisionQuery::detach()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mAnswer = nullptr;
    mAnswered.notify_all();
}

void HardwareRevisionQuery::answerAsked()
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mAnswer || mServed >= mAsked) {
        return;
    }
    mValue = mAnswer();
    mServed = mAsked;
    mAnswered.notify_all();
}
