// SPDX-License-Identifier: GPL-3.0-or-later
#include "AudioThreadCounter.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

namespace {
thread_local int tActive = 0;
thread_local size_t tHeapCalls = 0;
thread_local size_t tLocks = 0;

using CMutexCall = int (*)(pthread_mutex_t*);

// The C library's own entry point, which the replacement forwards to.
CMutexCall next(const char* name) { return reinterpret_cast<CMutexCall>(dlsym(RTLD_NEXT, name)); }
}  // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    static const CMutexCall real = next("pthread_mutex_lock");
    if (tActive) ++tLocks;
    return real(mutex);
}

extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    static const CMutexCall real = next("pthread_mutex_trylock");
    if (tActive) ++tLocks;
    return real(mutex);
}

void* operator new(std::size_t size) {
    if (tActive) ++tHeapCalls;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
__attribute__((noinline)) void operator delete(void* p) noexcept {
    if (tActive && p) ++tHeapCalls;
    std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { operator delete(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace zel {

CAudioThreadCounter::CAudioThreadCounter() {
    tHeapCalls = 0;
    tLocks = 0;
    ++tActive;
}
CAudioThreadCounter::~CAudioThreadCounter() { --tActive; }
size_t CAudioThreadCounter::heapCalls() const { return tHeapCalls; }
size_t CAudioThreadCounter::locks() const { return tLocks; }

}  // namespace zel
