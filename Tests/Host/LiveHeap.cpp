// SPDX-License-Identifier: GPL-3.0-or-later
// The executable's operator new takes the place of the C++ runtime's for
// every module loaded into the process, so the plug-in's allocations are
// counted too.
#include "LiveHeap.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_live{0};
}  // namespace

// The sanitizers own the allocator and pair every release with its kind of
// allocation: under them operator new stays theirs and nothing is counted.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    g_live += malloc_usable_size(p);
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
__attribute__((noinline)) void operator delete(void* p) noexcept {
    if (!p) return;
    g_live -= malloc_usable_size(p);
    std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { operator delete(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
#endif

namespace lagwell::host::test {

size_t liveHeapBytes() { return g_live.load(); }

}  // namespace lagwell::host::test
