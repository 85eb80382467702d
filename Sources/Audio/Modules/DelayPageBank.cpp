// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/DelayPageBank.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zel {

CDelayPageBank::~CDelayPageBank() {
    destroyList(m_spare);
    destroyList(m_ahead);
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
    // The keeper supplied the new length before the lines took it up.
    while (m_ahead) {
        CPage* page = std::exchange(m_ahead, m_ahead->next);
        if (page->length == samples) {
            page->next = m_spare;
            m_spare = page;
            ++m_spareCount;
        } else {
            giveBack(page);
        }
    }
}

void CDelayPageBank::drain() {
    // Mostly nothing came: a load spares the audio thread the exchange,
    // which waits for every store of the block before it to land.
    if (!m_incoming.load(std::memory_order_relaxed)) return;
    CPage* list = m_incoming.exchange(nullptr, std::memory_order_acquire);
    size_t length = pageLength();
    const size_t supplied = m_supplyLength.load(std::memory_order_relaxed);
    while (list) {
        CPage* page = std::exchange(list, list->next);
        ++m_drained;
        // Before the lines have said, the keeper's length is theirs.
        if (!length) setPageLength(length = page->length);
        if (page->length == length) {
            page->next = m_spare;
            m_spare = page;
            ++m_spareCount;
        } else if (page->length == supplied) {
            page->next = m_ahead;
            m_ahead = page;
        } else {
            giveBack(page);
        }
    }
    m_drainedCount.store(m_drained, std::memory_order_release);
}

double* CDelayPageBank::take(size_t length) {
    if (length != pageLength()) return nullptr;
    if (!m_spare) drain();
    if (!m_spare && m_offline) supplyNow(1);
    if (!m_spare) {
        ++m_wanted;
        return nullptr;
    }
    CPage* page = std::exchange(m_spare, m_spare->next);
    --m_spareCount;
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
    const size_t reserve = reserveWith(m_placed);
    // Pages ahead of a length the keeper no longer supplies go back.
    if (m_ahead && m_ahead->length != m_supplyLength.load(std::memory_order_relaxed))
        while (m_ahead) giveBack(std::exchange(m_ahead, m_ahead->next));
    while (m_spare && m_spareCount > reserve && m_placed + m_spareCount > keep) {
        giveBack(std::exchange(m_spare, m_spare->next));
        --m_spareCount;
    }
    // The reserve made whole again, and what every line of the block found
    // missing on top.
    if (m_spareCount < reserve + m_wanted)
        m_shortfall.store(reserve + m_wanted - m_spareCount, std::memory_order_release);
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
        // Written here, so that the system backs the page with memory now
        // rather than when a line first writes to it on the audio thread.
        std::memset(samples(page), 0, length * sizeof(double));
        page->length = length;
        page->next = first;
        first = page;
        if (!last) last = page;
        ++m_supplied;
        if (length == m_lastLength) ++m_ownedOfLength;
    }
}

void CDelayPageBank::serve(size_t expected, size_t pageLength, size_t reserve, size_t most) {
    std::lock_guard<std::mutex> lock(m_keeperLock);
    if (pageLength && pageLength != m_lastLength) {
        m_lastLength = pageLength;
        m_ownedOfLength = 0;
    }
    for (CPage* back = m_outbox.exchange(nullptr, std::memory_order_acquire); back;) {
        if (back->length == m_lastLength && m_ownedOfLength) --m_ownedOfLength;
        std::free(std::exchange(back, back->next));
        ++m_collected;
    }
    const size_t owned = m_ownedOfLength;
    const size_t inFlight = m_supplied - m_drainedCount.load(std::memory_order_acquire);
    const size_t shortfall = m_shortfall.exchange(0, std::memory_order_acquire);
    const size_t forShortfall = shortfall > inFlight ? shortfall - inFlight : 0;
    m_reserve.store(reserve, std::memory_order_relaxed);
    m_most.store(most, std::memory_order_relaxed);
    const size_t inUse = m_inUse.load(std::memory_order_relaxed);
    const size_t target = std::max(expected, inUse + reserveWith(inUse));
    const size_t forTarget = target > owned ? target - owned : 0;
    size_t count = pageLength ? std::max(forShortfall, forTarget) : 0;
    // What was asked for stays on the audio side until a ring takes it.
    if (pageLength) m_supplyLength.store(pageLength, std::memory_order_relaxed);
    m_keep.store(std::max(target, shortfall ? owned + forShortfall : 0), std::memory_order_release);

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
