// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace zel::platform {

namespace {

timespec monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
}

// Taken while the module's statics are set up, i.e. when it is loaded.
const timespec g_start = monotonicNow();

}  // namespace

double secondsSinceStart() {
    const timespec now = monotonicNow();
    return double(now.tv_sec - g_start.tv_sec) + double(now.tv_nsec - g_start.tv_nsec) * 1e-9;
}

uint32_t tickCountMs() {
    const timespec now = monotonicNow();
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

void sleepMs(uint32_t ms) {
    timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
}

}  // namespace zel::platform
