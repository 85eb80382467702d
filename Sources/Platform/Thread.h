// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zel::platform {

// Gives the calling thread the highest real-time priority the system allows.
// Without the privilege for it this fails and the thread keeps its priority;
// callers go on either way.
bool raiseCurrentThreadToTimeCritical();

}  // namespace zel::platform
