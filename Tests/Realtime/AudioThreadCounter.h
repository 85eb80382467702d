// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace zel {

// Counts what the current thread does while it lives that an audio thread
// must never do: heap calls (operator new and delete) and mutex
// acquisitions. The test program replaces the global operators and the
// mutex entry points to feed it.
class CAudioThreadCounter {
public:
    CAudioThreadCounter();
    ~CAudioThreadCounter();
    CAudioThreadCounter(const CAudioThreadCounter&) = delete;
    CAudioThreadCounter& operator=(const CAudioThreadCounter&) = delete;

    size_t heapCalls() const;
    size_t locks() const;
};

}  // namespace zel
