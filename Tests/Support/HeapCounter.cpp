// SPDX-License-Identifier: GPL-3.0-or-later
#include "Support/HeapCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local int tCounters = 0;
thread_local size_t tAllocations = 0;
thread_local size_t tLargest = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (tCounters) {
        ++tAllocations;
        if (size > tLargest) tLargest = size;
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// Kept out of line: inlined, the compiler would see free() meet new.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace zel {

CHeapCounter::CHeapCounter() : m_start(tAllocations) {
    ++tCounters;
    tLargest = 0;
}
CHeapCounter::~CHeapCounter() { --tCounters; }
size_t CHeapCounter::count() const { return tAllocations - m_start; }
size_t CHeapCounter::largest() const { return tLargest; }

}  // namespace zel
