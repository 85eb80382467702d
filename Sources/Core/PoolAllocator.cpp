// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/PoolAllocator.h"

#include <cstdlib>

namespace zel {

CPoolAllocator::~CPoolAllocator() {
    for (CHeader*& head : m_free) {
        while (head) {
            CHeader* next = head->next;
            std::free(head);
            head = next;
        }
    }
}

CPoolAllocator::CHeader* CPoolAllocator::fromHeap(size_t payload) {
    const size_t bytes = (sizeof(CHeader) + payload + alignof(CHeader) - 1) / alignof(CHeader) * alignof(CHeader);
    return static_cast<CHeader*>(std::aligned_alloc(alignof(CHeader), bytes));
}

void* CPoolAllocator::allocate(size_t bytes) {
    const size_t sizeClass = bytes == 0 ? 0 : (bytes - 1) / kClassBytes;
    CHeader* block;
    if (sizeClass < kClassCount && m_free[sizeClass]) {
        block = m_free[sizeClass];
        m_free[sizeClass] = block->next;
    } else {
        const size_t payload = sizeClass < kClassCount ? (sizeClass + 1) * kClassBytes : bytes;
        block = fromHeap(payload);
        if (!block) return nullptr;
        ++m_heapAllocations;
        block->sizeClass = uint32_t(sizeClass < kClassCount ? sizeClass : kClassCount);
    }
    block->next = nullptr;
    return block + 1;
}

void CPoolAllocator::release(void* memory) {
    if (!memory) return;
    CHeader* block = static_cast<CHeader*>(memory) - 1;
    if (block->sizeClass >= kClassCount) {
        std::free(block);
        return;
    }
    block->next = m_free[block->sizeClass];
    m_free[block->sizeClass] = block;
}

void CPoolAllocator::reserve(size_t bytes, size_t count) {
    const size_t sizeClass = bytes == 0 ? 0 : (bytes - 1) / kClassBytes;
    if (sizeClass >= kClassCount) return;
    size_t free = 0;
    for (const CHeader* h = m_free[sizeClass]; h && free < count; h = h->next) ++free;
    for (; free < count; ++free) {
        CHeader* block = fromHeap((sizeClass + 1) * kClassBytes);
        if (!block) return;
        ++m_heapAllocations;
        block->sizeClass = uint32_t(sizeClass);
        block->next = m_free[sizeClass];
        m_free[sizeClass] = block;
    }
}

}  // namespace zel
