// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Debug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Platform/Clock.h"

namespace zel {

namespace {
std::atomic<int> g_debug{-1};
}  // namespace

void setDebugLog(bool on) { g_debug = on ? 1 : 0; }

bool debugLogEnabled() {
    int v = g_debug.load();
    if (v < 0) {
        const char* env = std::getenv("LAGWELL_DEBUG");
        v = env && *env && *env != '0' ? 1 : 0;
        g_debug = v;
    }
    return v == 1;
}

void debugLog(const char* format, ...) {
    if (!debugLogEnabled()) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
}

double secondsSinceStart() { return platform::secondsSinceStart(); }

}  // namespace zel
