// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Semaphore.h"

#include <semaphore.h>

#include <cerrno>
#include <ctime>

namespace zel::platform {

struct CSemaphore::CImpl {
    sem_t sem;
};

CSemaphore::CSemaphore() : m_impl(std::make_unique<CImpl>()) { sem_init(&m_impl->sem, 0, 0); }

CSemaphore::~CSemaphore() { sem_destroy(&m_impl->sem); }

void CSemaphore::post() { sem_post(&m_impl->sem); }

bool CSemaphore::wait(uint32_t ms) {
    // On the monotonic clock, so that a change of the wall clock neither
    // cuts the wait short nor makes it last.
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += time_t(ms / 1000);
    until.tv_nsec += long(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_nsec -= 1000000000L;
        ++until.tv_sec;
    }
    for (;;) {
        if (sem_clockwait(&m_impl->sem, CLOCK_MONOTONIC, &until) == 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace zel::platform
