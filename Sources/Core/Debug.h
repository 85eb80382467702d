// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zel {

// Debug output: plain text lines on stderr, off unless LAGWELL_DEBUG is set
// in the environment or a program switches it on.
void setDebugLog(bool on);
bool debugLogEnabled();
void debugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Seconds since the process started, for timing lines.
double secondsSinceStart();

}  // namespace zel
