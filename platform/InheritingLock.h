#pragma once

#include <pthread.h>

// A lock that lends its holder the priority of a real-time thread waiting for it. SDL's PipeWire
// backend calls for sound on the PipeWire client's real-time thread; a window thread that holds a
// lock it shares with that thread when a busy machine takes its processor away would otherwise
// keep the sound waiting until the scheduler gives the processor back, long enough for the
// sound to break off.
class TInheritingLock {
public:
    TInheritingLock();
    ~TInheritingLock();
    TInheritingLock(const TInheritingLock&) = delete;
    TInheritingLock& operator=(const TInheritingLock&) = delete;
    void lock();
    bool try_lock();
    void unlock();

private:
    pthread_mutex_t FMutex;
};
