#pragma once

#include <pthread.h>

namespace rezezaz {
namespace core {

// A recursive mutex: the thread that holds it may lock it again and must unlock it as often.
class PosixMutex
{
public:
    // Throws through Error::unknown when the mutex cannot be made.
    PosixMutex();
    ~PosixMutex();

    PosixMutex(const PosixMutex&) = delete;
    PosixMutex& operator=(const PosixMutex&) = delete;

    bool lock();
    bool unlock();
    // False at once when another thread holds the mutex.
    bool tryLock();

private:
    pthread_mutex_t mMutex;
};

} // namespace core
} // namespace rezezaz
