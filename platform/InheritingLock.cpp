#include "platform/InheritingLock.h"

TInheritingLock::TInheritingLock()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&FMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

TInheritingLock::~TInheritingLock()
{
    pthread_mutex_destroy(&FMutex);
}

void TInheritingLock::lock()
{
    pthread_mutex_lock(&FMutex);
}

bool TInheritingLock::try_lock()
{
    return pthread_mutex_trylock(&FMutex) == 0;
}

void TInheritingLock::unlock()
{
    pthread_mutex_unlock(&FMutex);
}
