#include "core/PosixMutex.h"

#include "core/Categories.h"
#include "core/Error.h"

namespace rezezaz {
namespace core {

PosixMutex::PosixMutex()
{
    pthread_mutexattr_t attributes;
    bool made = pthread_mutexattr_init(&attributes) == 0;
    if (made) {
        made = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
               pthread_mutex_init(&mMutex, &attributes) == 0;
        pthread_mutexattr_destroy(&attributes);
    }
    if (!made)
        Error::unknown(Categories::REZEZAZ_CORE, true, "error in pthread_mutex_init");
}

PosixMutex::~PosixMutex()
{
    pthread_mutex_destroy(&mMutex);
}

bool PosixMutex::lock()
{
    return pthread_mutex_lock(&mMutex) == 0;
}

bool PosixMutex::unlock()
{
    return pthread_mutex_unlock(&mMutex) == 0;
}

bool PosixMutex::tryLock()
{
    return pthread_mutex_trylock(&mMutex) == 0;
}

} // namespace core
} // namespace rezezaz
