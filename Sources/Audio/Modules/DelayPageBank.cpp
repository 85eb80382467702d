// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/DelayPageBank.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace zel {

CDelayPageBank::~CDelayPageBank() {
    destroyList(m_spare);
    destroyList(m_returns);
    destroyList(m_incoming.exchange(nullptr));
    destroyList(m_outbox.exchange(nullptr));
}

void CDelayPageBank::destroyList(CPage* list) {
    while (list) std::free(std::exchange(list, list->next));
}

void CDelayPageBank::destroy(double* page) {
    if (page) std::free(header(page));
}

// ---------------------------------------------------------------- audio side

void CDelayPageBank::setPageLength(size_t samples) {
    if (samples == pageLength()) return;
    m_pageLength.store(samples, std::memory_order_relaxed);
    while (m_spare) giveBack(std::exchange(m_spare, m_spare->next));
    m_spareCount = 0;
}

void CDelayPageBank::drain() {
    // Mostly nothing came: a load spares the audio thread the exchange,
    // which waits for every store of the block before it to land.
    if (!m_incoming.load(std::memory_order_relaxed)) return;
    CPage* list = m_incoming.exchange(nullptr, std::memory_order_acquire);
    size_t length = pageLength();
    while (list) {
        CPage* page = std::exchange(list, list->next);
        ++m_drained;
        // Before the lines have said, the keeper's length is theirs.
        if (!length) setPageLength(length = page->length);
        if (page->length == length) {
            page->next = m_spare;
            m_spare = page;
            ++m_spareCount;
        } else {
            giveBack(page);
        }
    }
    m_drainedCount.store(m_drained, std::memory_order_release);
}

bool CDelayPageBank::reserve(size_t count) {
    if (m_spareCount < m_promised + count) drain();
    if (m_spareCount < m_promised + count && m_offline) supplyNow(m_promised + count - m_spareCount);
    if (m_spareCount >= m_promised + count) {
        m_promised += count;
        return true;
    }
    m_wanted += count;
    return false;
}

void CDelayPageBank::unreserve(size_t count) { m_promised -= std::min(count, m_promised); }

double* CDelayPageBank::take(size_t length) {
    if (length != pageLength()) return nullptr;
    if (!m_spare) drain();
    if (!m_spare) return nullptr;
    CPage* page = std::exchange(m_spare, m_spare->next);
    --m_spareCount;
    if (m_promised) --m_promised;
    ++m_placed;
    return samples(page);
}

void CDelayPageBank::release(double* page) {
    if (!page) return;
    CPage* p = header(page);
    if (m_placed) --m_placed;
    if (p->length != pageLength()) {
        giveBack(p);
        return;
    }
    p->next = m_spare;
    m_spare = p;
    ++m_spareCount;
}

void CDelayPageBank::giveBack(CPage* page) {
    page->next = m_returns;
    m_returns = page;
}

void CDelayPageBank::settle() {
    drain();
    const size_t keep = m_keep.load(std::memory_order_acquire);
    while (m_spare && m_spareCount > m_promised && m_placed + m_spareCount > keep) {
        giveBack(std::exchange(m_spare, m_spare->next));
        --m_spareCount;
    }
    // What every line of the block wanted, so that they grow together.
    if (m_spareCount < m_promised + m_wanted)
        m_shortfall.store(m_promised + m_wanted - m_spareCount, std::memory_order_release);
    m_wanted = 0;
    publishReturns();
}

void CDelayPageBank::publishReturns() {
    // One attempt: while the keeper has not taken the last returns, these
    // wait for the next block.
    if (!m_returns) return;
    CPage* expected = nullptr;
    if (m_outbox.compare_exchange_strong(expected, m_returns, std::memory_order_release, std::memory_order_relaxed))
        m_returns = nullptr;
}

void CDelayPageBank::supplyNow(size_t count) {
    const size_t length = pageLength();
    if (!length) return;
    std::lock_guard<std::mutex> lock(m_keeperLock);
    CPage* first = nullptr;
    CPage* last = nullptr;
    allocate(count, length, first, last);
    // Straight to the spare pages: supplied and drained at once.
    for (CPage* page = first; page;) {
        CPage* next = page->next;
        page->next = m_spare;
        m_spare = page;
        ++m_spareCount;
        ++m_drained;
        page = next;
    }
    m_drainedCount.store(m_drained, std::memory_order_release);
    m_owned.store(m_supplied - m_collected, std::memory_order_relaxed);
}

// ---------------------------------------------------------------- keeper side

void CDelayPageBank::allocate(size_t count, size_t length, CPage*& first, CPage*& last) {
    for (; count; --count) {
        const size_t bytes = sizeof(CPage) + length * sizeof(double);
        auto* page = static_cast<CPage*>(
            std::aligned_alloc(alignof(CPage), (bytes + alignof(CPage) - 1) / alignof(CPage) * alignof(CPage)));
        if (!page) return;
        page->length = length;
        page->next = first;
        first = page;
        if (!last) last = page;
        ++m_supplied;
    }
}

void CDelayPageBank::serve(size_t expected, size_t pageLength) {
    std::lock_guard<std::mutex> lock(m_keeperLock);
    for (CPage* back = m_outbox.exchange(nullptr, std::memory_order_acquire); back;) {
        std::free(std::exchange(back, back->next));
        ++m_collected;
    }
    const size_t owned = m_supplied - m_collected;
    const size_t inFlight = m_supplied - m_drainedCount.load(std::memory_order_acquire);
    const size_t shortfall = m_shortfall.exchange(0, std::memory_order_acquire);
    const size_t forShortfall = shortfall > inFlight ? shortfall - inFlight : 0;
    const size_t forExpected = expected > owned ? expected - owned : 0;
    size_t count = pageLength ? std::max(forShortfall, forExpected) : 0;
    // What was asked for stays on the audio side until it is promised.
    m_keep.store(std::max(expected, shortfall ? owned + forShortfall : 0), std::memory_order_release);

    CPage* first = nullptr;
    CPage* last = nullptr;
    allocate(count, pageLength, first, last);
    if (first) {
        CPage* head = m_incoming.load(std::memory_order_relaxed);
        do {
            last->next = head;
        } while (!m_incoming.compare_exchange_weak(head, first, std::memory_order_release, std::memory_order_relaxed));
    }
    m_owned.store(m_supplied - m_collected, std::memory_order_relaxed);
}

size_t CDelayPageBank::ownedPages() const { return m_owned.load(std::memory_order_relaxed); }

}  // namespace zel
