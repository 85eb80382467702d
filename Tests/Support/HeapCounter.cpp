// SPDX-License-Identifier: GPL-3.0-or-later
#include "Support/HeapCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local int tCounters = 0;
thread_local size_t tAllocations = 0;
thread_local size_t tLargest = 0;

void count(size_t size) {
    if (!tCounters) return;
    ++tAllocations;
    if (size > tLargest) tLargest = size;
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers own the allocator and match every release with its kind of
// allocation, so operator new stays theirs; they report each allocation,
// malloc included, to a hook instead.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));

namespace {
const int kHooksInstalled = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, size_t size) { count(size); }, [](const volatile void*) {});
}  // namespace
#else
void* operator new(std::size_t size) {
    count(size);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// Kept out of line: inlined, the compiler would see free() meet new.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace zel {

CHeapCounter::CHeapCounter() : m_start(tAllocations) {
    ++tCounters;
    tLargest = 0;
}
CHeapCounter::~CHeapCounter() { --tCounters; }
size_t CHeapCounter::count() const { return tAllocations - m_start; }
size_t CHeapCounter::largest() const { return tLargest; }

}  // namespace zel
