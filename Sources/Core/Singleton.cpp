// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Singleton.h"

#include <vector>

namespace zel {

namespace {
std::vector<void (*)()>& releases() {
    static std::vector<void (*)()> list;
    return list;
}
}  // namespace

std::mutex& detail::singletonLock() {
    static std::mutex lock;
    return lock;
}

void detail::addSingletonRelease(void (*release)()) { releases().push_back(release); }

void releaseModuleSingletons() {
    std::vector<void (*)()> list;
    {
        std::lock_guard<std::mutex> lock(detail::singletonLock());
        list.swap(releases());
    }
    // Outside the lock: a destructor may use another singleton.
    for (auto it = list.rbegin(); it != list.rend(); ++it) (*it)();
}

}  // namespace zel
