// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zel {

// Blocks in 64 size classes of 512-byte steps, recycled through free lists;
// larger blocks come from the heap directly. After a warm-up the audio path
// reuses blocks without touching the heap. One pool serves one thread at a
// time (an instance's engine): it takes no lock.
class CPoolAllocator {
public:
    static constexpr size_t kClassBytes = 512;
    static constexpr size_t kClassCount = 64;
    static constexpr size_t kLargest = kClassBytes * kClassCount;

    CPoolAllocator() = default;
    ~CPoolAllocator();
    CPoolAllocator(const CPoolAllocator&) = delete;
    CPoolAllocator& operator=(const CPoolAllocator&) = delete;

    // At least `bytes` bytes, starting on a cache line (so that runs of
    // whole vectors never straddle two); null only when the heap is
    // exhausted.
    void* allocate(size_t bytes);
    void release(void* block);
    // Off the thread that uses the pool, while it does not: at least
    // `count` blocks of `bytes` bytes wait in their free list.
    void reserve(size_t bytes, size_t count);

    // Blocks taken from the heap so far (pooled and direct), for tests and
    // benchmarks that prove the steady state allocates nothing.
    size_t heapAllocations() const { return m_heapAllocations; }

private:
    struct alignas(64) CHeader {
        CHeader* next;       // free-list link while pooled
        uint32_t sizeClass;  // kClassCount for direct blocks
    };
    static_assert(sizeof(CHeader) == 64, "payloads start on a cache line");
    static CHeader* fromHeap(size_t payload);

    std::array<CHeader*, kClassCount> m_free{};
    size_t m_heapAllocations = 0;
};

}  // namespace zel
