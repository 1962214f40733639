// A lock that a process of one thread does without. While the process has
// a single thread no other can want the lock, and a thread started later
// finds it free, so a short piece of work that starts no thread may skip
// it. The C library says whether the process ever had a second thread (in
// a forked child, whether that child has); where it cannot say, the lock
// is always taken.
//
// Header-only: the run loop takes such locks for every test, where an
// out-of-line call would cost what the lock saves.
#pragma once

#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#define TESSEL_KNOWS_SOLE_THREAD 1
#endif

namespace Platform {

inline bool SoleThread() noexcept {
#ifdef TESSEL_KNOWS_SOLE_THREAD
  return __libc_single_threaded != 0;
#else
  return false;
#endif
}

template <class TMutex>
class TLockUnlessSole {
 public:
  explicit TLockUnlessSole(TMutex& mutex) : FMutex(SoleThread() ? nullptr : &mutex) {
    if (FMutex) FMutex->lock();
  }
  ~TLockUnlessSole() {
    if (FMutex) FMutex->unlock();
  }
  TLockUnlessSole(const TLockUnlessSole&) = delete;
  TLockUnlessSole& operator=(const TLockUnlessSole&) = delete;

 private:
  TMutex* FMutex;
};

}  // namespace Platform
