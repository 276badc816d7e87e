#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <map>
#include <vector>

namespace apptest {

// Runs the toolkit timers of a page on the stick's time instead of the wall clock, so that a test
// which pumps the meter 33 ms at a time sees a 1000 ms timer fire after 1000 ms of that time. A timer
// is timed from the first advance that finds it running; when its interval has passed it is stopped
// and its timeout emitted, as the toolkit would for a single-shot timer.
class PageTimers
{
public:
    explicit PageTimers(QObject* root = nullptr) : root(root) {}

    void watch(QObject* newRoot)
    {
        root = newRoot;
        started.clear();
    }

    void advance(int ms)
    {
        now += ms;
        if (root.isNull()) {
            return;
        }
        const QList<QTimer*> timers = root->findChildren<QTimer*>();
        std::vector<QPointer<QTimer>> due;
        // Only timers that exist and run now are kept: a deleted one's address may come back.
        std::map<QTimer*, long long> running;
        for (QTimer* timer : timers) {
            if (!timer->isActive()) {
                continue;
            }
            auto found = started.find(timer);
            const long long since = found == started.end() ? now - ms : found->second;
            running[timer] = since;
            if (found != started.end() && now - since >= timer->interval()) {
                due.push_back(timer);
            }
        }
        started = running;
        for (const QPointer<QTimer>& timer : due) {
            if (timer.isNull() || !timer->isActive()) {
                continue;
            }
            started.erase(timer.data());
            timer->stop();
            QMetaObject::invokeMethod(timer.data(), "timeout", Qt::DirectConnection);
        }
    }

private:
    QPointer<QObject> root;
    std::map<QTimer*, long long> started;
    long long now = 0;
};

} // namespace apptest
