// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <mutex>

namespace zel {

// Frees every object made by moduleSingleton, newest first. The application
// calls it when it ends for the last time (the module's last exit), when no
// instance is left to use them: a host that loads and unloads the module
// again and again does not lose them once per cycle.
void releaseModuleSingletons();

namespace detail {
std::mutex& singletonLock();
// Under singletonLock.
void addSingletonRelease(void (*release)());
}  // namespace detail

// The process-wide object of type T, made by `make` on first use and again
// after releaseModuleSingletons. Lock-free once made.
template <class T, class F>
T& moduleSingleton(F make) {
    static std::atomic<T*> object{nullptr};
    if (T* made = object.load(std::memory_order_acquire)) return *made;
    std::lock_guard<std::mutex> lock(detail::singletonLock());
    T* made = object.load(std::memory_order_relaxed);
    if (!made) {
        made = make();
        object.store(made, std::memory_order_release);
        detail::addSingletonRelease([] { delete object.exchange(nullptr); });
    }
    return *made;
}

}  // namespace zel
