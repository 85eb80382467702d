// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace zel {

// The pages of the delay lines of one process, passed between the audio
// thread, which must neither allocate nor free nor wait, and a keeper on
// any other thread, which allocates and frees.
//
// A ring grows at once, whatever the bank holds: an empty slot reads as the
// fill value, which is what history never written sounds like, and needs a
// page only once the write position reaches it, one page length at a time.
// The keeper keeps a standing reserve of spare pages on the audio side, as
// many as the lines write into until it answers, and tops it up whenever
// the audio side took from it. Pages the rings give up collect on the audio
// side; those beyond what the keeper asked to keep go back to it. Both
// directions are lists linked through the pages, swapped in one atomic
// step, so that neither side ever waits for the other.
//
// Should the keeper stall until a write position reaches an empty slot with
// no spare page left, the line writes nothing there until pages come: that
// stretch of input is lost, reads as the fill value (silence) when the
// delay comes round to it, and is counted (lostSamples()).
class CDelayPageBank {
public:
    CDelayPageBank() = default;
    ~CDelayPageBank();
    CDelayPageBank(const CDelayPageBank&) = delete;
    CDelayPageBank& operator=(const CDelayPageBank&) = delete;

    // ---- the audio thread
    // The page length the lines use from now on; pages of another length
    // go back to the keeper as they come, except those of the length the
    // keeper supplies, which wait for the lines to take it up.
    void setPageLength(size_t samples);
    size_t pageLength() const { return m_pageLength.load(std::memory_order_relaxed); }
    // Offline rendering: the audio thread may wait, and a page the spare
    // ones lack comes from the heap on it, at once.
    void setOffline(bool offline) { m_offline = offline; }
    // A page of `length` samples for an empty slot the write position
    // reached; null when the lines are changing their page length or no
    // spare page is left (the keeper hears of it at the next settle();
    // offline, only when the heap has none).
    double* take(size_t length);
    // A line could not keep `samples` samples of its input for want of a
    // page.
    void lose(size_t samples) {
        m_lost.store(m_lost.load(std::memory_order_relaxed) + samples, std::memory_order_relaxed);
    }
    // A page leaves its ring together with its slot.
    void release(double* page);
    // After a block: hands spare pages back to the keeper, as far as it
    // lets go of them, and tells it when the reserve runs low or a line
    // found no page.
    void settle();
    // After a block the lines ran: tells the keeper how many pages their
    // rings hold, which it keeps for them through a reset.
    void noteUse() { m_inUse.store(m_placed, std::memory_order_relaxed); }
    size_t inUse() const { return m_inUse.load(std::memory_order_relaxed); }

    // ---- the keeper (one thread at a time, never the audio thread)
    // Makes the audio side own at least `expected` pages of `pageLength`
    // samples, and `reserve` spare pages beyond those in its rings (no more
    // than the rings can still take when they hold `most` pages at the
    // most), and what it was short of, and keep no more than that; takes
    // back and frees what it returned.
    void serve(size_t expected, size_t pageLength, size_t reserve = 0, size_t most = SIZE_MAX);
    // Whether the audio side was short or handed pages back since the last
    // serve().
    bool waiting() const {
        return m_shortfall.load(std::memory_order_relaxed) || m_outbox.load(std::memory_order_relaxed);
    }
    // Pages owned by the audio side, in rings or spare, for the
    // memory figures.
    size_t ownedPages() const;
    // Input samples the lines could not keep since the bank was made, for
    // want of a page (the keeper stalled).
    size_t lostSamples() const { return m_lost.load(std::memory_order_relaxed); }

    // A page the audio side no longer holds, once its line is destroyed
    // (off the audio thread).
    static void destroy(double* page);

private:
    // A cache line ahead of the samples, so that they start on one: the
    // lines' runs of whole vectors then never straddle two lines.
    struct alignas(64) CPage {
        CPage* next;
        size_t length;
    };
    static_assert(sizeof(CPage) == 64, "samples start on a cache line");
    static CPage* header(double* page) { return reinterpret_cast<CPage*>(page) - 1; }
    static double* samples(CPage* page) { return reinterpret_cast<double*>(page + 1); }
    static void destroyList(CPage* list);

    // Audio side.
    void drain();
    void giveBack(CPage* page);
    void publishReturns();
    // Offline: `count` pages of the current length from the heap, as if
    // the keeper had supplied them.
    void supplyNow(size_t count);
    // The spare pages to keep with `placed` pages in the rings.
    size_t reserveWith(size_t placed) const {
        const size_t most = m_most.load(std::memory_order_relaxed);
        return std::min(m_reserve.load(std::memory_order_relaxed), most > placed ? most - placed : 0);
    }

    // Keeper side, under its lock: `count` fresh pages of `length` samples
    // linked from `first` to `last`, fewer when the heap runs out.
    void allocate(size_t count, size_t length, CPage*& first, CPage*& last);

    // Audio side's own.
    CPage* m_spare = nullptr;  // pages of the current length not in a ring
    size_t m_spareCount = 0;
    CPage* m_ahead = nullptr;  // pages of the length the lines are about to use
    size_t m_placed = 0;       // pages in rings
    size_t m_wanted = 0;       // found missing since the last settle()
    CPage* m_returns = nullptr;
    size_t m_drained = 0;
    bool m_offline = false;

    // Shared.
    std::atomic<size_t> m_pageLength{0};
    std::atomic<size_t> m_supplyLength{0};  // the length the keeper supplies
    std::atomic<CPage*> m_incoming{nullptr};
    std::atomic<CPage*> m_outbox{nullptr};
    std::atomic<size_t> m_drainedCount{0};
    std::atomic<size_t> m_shortfall{0};
    std::atomic<size_t> m_keep{0};
    std::atomic<size_t> m_reserve{0};
    std::atomic<size_t> m_most{SIZE_MAX};
    std::atomic<size_t> m_inUse{0};
    std::atomic<size_t> m_lost{0};

    // Keeper's own (and, offline, the audio side's under the lock).
    std::mutex m_keeperLock;
    size_t m_supplied = 0;
    size_t m_collected = 0;
    // Of those owned, the pages of the length supplied last: pages of
    // another length back none of what the lines will need.
    size_t m_lastLength = 0;
    size_t m_ownedOfLength = 0;
    std::atomic<size_t> m_owned{0};
};

}  // namespace zel
