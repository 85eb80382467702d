// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace zel::platform {

// Monotonic seconds since the process started, at the clock's full
// resolution; for timing lines in the log.
double secondsSinceStart();
// Monotonic milliseconds; wraps around after about 49.7 days.
uint32_t tickCountMs();
// Sleeps at least `ms` milliseconds.
void sleepMs(uint32_t ms);

}  // namespace zel::platform
