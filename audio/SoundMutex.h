// The lock for what the mixing thread shares with the frame thread. The
// mixing thread runs in the real-time class; with a plain mutex, a frame
// thread that a busy machine preempts while it holds the lock (for tens of
// milliseconds) keeps the mixer waiting as long, and the device runs dry. With
// priority inheritance the holder runs at the waiting mixer's priority until
// it lets go. Where the system refuses that, it is a plain mutex.
#pragma once

#include <pthread.h>

namespace tappo {

class SoundMutex {
  public:
    SoundMutex() {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
        if (pthread_mutex_init(&mutex_, &attr) != 0) pthread_mutex_init(&mutex_, nullptr);
        pthread_mutexattr_destroy(&attr);
    }
    ~SoundMutex() { pthread_mutex_destroy(&mutex_); }
    SoundMutex(const SoundMutex&) = delete;
    SoundMutex& operator=(const SoundMutex&) = delete;

    void lock() { pthread_mutex_lock(&mutex_); }
    bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }
    void unlock() { pthread_mutex_unlock(&mutex_); }

  private:
    pthread_mutex_t mutex_;
};

} // namespace tappo
