// The rig the window's tests stand on.
#include "WindowRig.h"

#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `last` after `turns` further turns of the event loop, each one posted by the turn before, as
// a chain of timers and replies of the program reaches its end.
void afterTurns(int turns, const std::function<void()>& last)
{
    QMetaObject::invokeMethod(
        qApp,
        [turns, last] {
            if (turns == 0) {
                last();
            } else {
                afterTurns(turns - 1, last);
            }
        },
        Qt::QueuedConnection);
}

// Whatever is closed and let go during a flush, in its first turn or its last, is gone when it
// returns: a test that looks next never sees a box closed but still alive (a closed progress box
// reads -1).
TEST(WindowRigTest, WhatAFlushSeesClosedIsGoneWhenItReturns)
{
    for (int turns = 0; turns < 2; ++turns) {
        SCOPED_TRACE(turns);
        QPointer<QProgressDialog> box = new QProgressDialog("Uploading Firmware", "Cancel", 0, 100);
        box->setValue(0);
        afterTurns(turns, [&] {
            box->close();
            box->deleteLater();
        });
        apptest::WindowRig::flush();
        EXPECT_TRUE(box.isNull()) << (box.isNull() ? 0 : box->value());
        delete box.data();
    }
}

} // namespace
