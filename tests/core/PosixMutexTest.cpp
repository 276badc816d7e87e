#include "core/PosixMutex.h"

#include <gtest/gtest.h>

#include <thread>

using rezezaz::core::PosixMutex;

namespace {

bool tryLockFromOtherThread(PosixMutex& mutex)
{
    bool locked = false;
    std::thread other([&] {
        locked = mutex.tryLock();
        if (locked)
            mutex.unlock();
    });
    other.join();
    return locked;
}

} // namespace

TEST(PosixMutexTest, OwnerLocksAgainAndOthersWaitUntilEveryLockIsUndone)
{
    PosixMutex mutex;
    ASSERT_TRUE(mutex.lock());
    ASSERT_TRUE(mutex.lock());
    EXPECT_TRUE(mutex.tryLock());

    EXPECT_FALSE(tryLockFromOtherThread(mutex));
    ASSERT_TRUE(mutex.unlock());
    ASSERT_TRUE(mutex.unlock());
    EXPECT_FALSE(tryLockFromOtherThread(mutex)) << "one lock is still held";
    ASSERT_TRUE(mutex.unlock());

    EXPECT_TRUE(tryLockFromOtherThread(mutex));
}
