// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace zel {

// Flushes denormal numbers to zero while it lives: filters and meters that
// decay towards silence would otherwise slow down by orders of magnitude.
// The caller's floating-point mode comes back at the end.
class CDenormalGuard {
public:
#if defined(__SSE__)
    CDenormalGuard() : m_saved(_mm_getcsr()) { _mm_setcsr(m_saved | kFlushToZero | kDenormalsAreZero); }
    ~CDenormalGuard() { _mm_setcsr(m_saved); }

private:
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    unsigned m_saved;
#endif
};

}  // namespace zel
