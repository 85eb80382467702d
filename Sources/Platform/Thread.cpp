// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Thread.h"

#include <pthread.h>
#include <sched.h>

namespace zel::platform {

bool raiseCurrentThreadToTimeCritical() {
    const int top = sched_get_priority_max(SCHED_FIFO);
    if (top < 0) return false;
    sched_param param{};
    param.sched_priority = top;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace zel::platform
