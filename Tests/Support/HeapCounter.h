// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace zel {

// Counts the heap allocations the current thread makes while it lives: the
// test programs replace the global operator new to feed it.
class CHeapCounter {
public:
    CHeapCounter();
    ~CHeapCounter();
    size_t count() const;
    // The largest single allocation in bytes since the newest counter of
    // this thread started.
    size_t largest() const;

private:
    size_t m_start;
};

}  // namespace zel
