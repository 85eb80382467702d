// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

namespace zel {

// The pages of the delay lines of one process, passed between the audio
// thread, which must neither allocate nor free nor wait, and a keeper on
// any other thread, which allocates and frees.
//
// The audio side promises pages to the empty slots of its rings (reserve)
// and a ring only grows by slots it could promise: every empty slot has a
// page waiting for it. Pages the rings give up collect on the audio side;
// those beyond what the keeper asked to keep go back to it. The keeper
// hands pages over ahead of need (what the lines will use after a change,
// worked out before the change reaches them) and whenever the audio side
// was short. Both directions are lists linked through the pages, swapped
// in one atomic step, so that neither side ever waits for the other.
class CDelayPageBank {
public:
    CDelayPageBank() = default;
    ~CDelayPageBank();
    CDelayPageBank(const CDelayPageBank&) = delete;
    CDelayPageBank& operator=(const CDelayPageBank&) = delete;

    // ---- the audio thread
    // The page length the lines use from now on; pages of another length
    // go back to the keeper as they come.
    void setPageLength(size_t samples);
    size_t pageLength() const { return m_pageLength.load(std::memory_order_relaxed); }
    // Offline rendering: the audio thread may wait, and the pages a
    // promise lacks come from the heap on it, at once.
    void setOffline(bool offline) { m_offline = offline; }
    // Promises `count` pages to new empty slots; false, with the shortfall
    // noted for the keeper at the next settle(), when they are not there
    // yet (offline, only when the heap has none).
    bool reserve(size_t count);
    // Empty slots that leave a ring.
    void unreserve(size_t count);
    // A page of `length` samples for a promised slot (which is no longer
    // empty); null when the lines are changing their page length or the
    // promise was broken.
    double* take(size_t length);
    // A page leaves its ring together with its slot.
    void release(double* page);
    // After a block: hands spare pages back to the keeper, as far as it
    // lets go of them, and tells it what the lines were refused.
    void settle();
    // After a block the lines ran: tells the keeper how many pages their
    // rings hold, which it keeps for them through a reset.
    void noteUse() { m_inUse.store(m_placed + m_promised, std::memory_order_relaxed); }
    size_t inUse() const { return m_inUse.load(std::memory_order_relaxed); }

    // ---- the keeper (one thread at a time, never the audio thread)
    // Makes the audio side own at least `expected` pages of `pageLength`
    // samples, and what it was short of, and keep no more than that; takes
    // back and frees what it returned.
    void serve(size_t expected, size_t pageLength);
    // Whether the audio side was short or handed pages back since the last
    // serve().
    bool waiting() const {
        return m_shortfall.load(std::memory_order_relaxed) || m_outbox.load(std::memory_order_relaxed);
    }
    // Pages owned by the audio side, in rings, promised or spare, for the
    // memory figures.
    size_t ownedPages() const;

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

    // Keeper side, under its lock: `count` fresh pages of `length` samples
    // linked from `first` to `last`, fewer when the heap runs out.
    void allocate(size_t count, size_t length, CPage*& first, CPage*& last);

    // Audio side's own.
    CPage* m_spare = nullptr;  // pages of the current length not in a ring
    size_t m_spareCount = 0;
    size_t m_promised = 0;  // empty ring slots, each owed one spare page
    size_t m_placed = 0;    // pages in rings
    size_t m_wanted = 0;    // refused since the last settle()
    CPage* m_returns = nullptr;
    size_t m_drained = 0;
    bool m_offline = false;

    // Shared.
    std::atomic<size_t> m_pageLength{0};
    std::atomic<CPage*> m_incoming{nullptr};
    std::atomic<CPage*> m_outbox{nullptr};
    std::atomic<size_t> m_drainedCount{0};
    std::atomic<size_t> m_shortfall{0};
    std::atomic<size_t> m_keep{0};
    std::atomic<size_t> m_inUse{0};

    // Keeper's own (and, offline, the audio side's under the lock).
    std::mutex m_keeperLock;
    size_t m_supplied = 0;
    size_t m_collected = 0;
    std::atomic<size_t> m_owned{0};
};

}  // namespace zel
