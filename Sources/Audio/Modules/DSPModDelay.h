// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>

#include "Audio/Modules/DelayPageBank.h"
#include "Core/PoolAllocator.h"

namespace zel {

// A delay line made of a ring of fixed-size pages. Pages come from the pool
// the first time they are read or written and hold the fill value until
// then, so memory follows the delay in use. A change of delay while running
// is a raised-cosine cross-fade from the old read position to the new one;
// changes that arrive during a fade wait for it to end, and only the last
// one is kept.
//
// Inside a plug-in the pages come from a bank instead of the pool, and the
// rings are made ahead for the longest delay: the line then neither
// allocates nor frees, and a longer delay applies at once, its empty slots
// reading as the fill value until the write position reaches them and
// takes their pages from the bank.
class CDSPModDelay {
public:
    static constexpr size_t kMinPageLength = 64;
    // Longest run faded at once.
    static constexpr size_t kMaxChunk = 256;
    // Samples the ring holds beyond the longest delay: blocks up to this
    // long can leave their output in the pages (processKept()).
    static constexpr size_t kMargin = 512;
    static constexpr long long kNoDelay = -1;

    CDSPModDelay() = default;
    ~CDSPModDelay();
    CDSPModDelay(const CDSPModDelay&) = delete;
    CDSPModDelay& operator=(const CDSPModDelay&) = delete;

    // The pool that pages and the ring come from; set before configure().
    void setPool(CPoolAllocator& pool) { m_pool = &pool; }
    // The bank that pages come from and go back to instead; set before
    // configure(), kept for the line's life.
    void setPageBank(CDelayPageBank& bank) { m_bank = &bank; }
    // Off the audio thread: rings of up to `capacity` pages are made now,
    // so that growing within them takes nothing from the pool.
    void prepareRing(size_t capacity);
    // Ring length for a span of `samples` (at least the minimum capacity).
    size_t ringLengthFor(size_t samples) const;

    // Starts over with pages of `pageLength` samples (at least 64) and fades
    // of `fadeLength` samples (at least 1): history, delay and fade are gone
    // and the line is freshly reset.
    void configure(size_t pageLength, size_t fadeLength);
    // Drops the history and ends a running fade at once (moving to the
    // pending delay, if any); the next delay applies without a fade.
    void reset();
    // What unwritten history reads as; takes effect for pages allocated later.
    void setFillValue(double value) { m_fill = value; }
    // Span in samples the ring holds at least, whatever the delay.
    void setMinCapacity(size_t samples);
    void setDelay(long long samples);

    // One block; `in` and `out` may not overlap. Clears the freshly-reset
    // state.
    void process(const double* in, double* out, size_t n);
    // The same for host samples, converted on their way into and out of the
    // pages: no block of doubles in between while no fade runs.
    void process(const float* in, float* out, size_t n);
    // Host samples in, doubles out: a block whose output cannot stay in the
    // pages (processKept()) still converts its input only once, straight
    // into them.
    void process(const float* in, double* out, size_t n);
    // One block whose output can stay where it is: when no fade runs,
    // nothing waits and the delayed samples lie in one page, `in` goes into
    // the pages and the output is returned inside them, unchanged until
    // the line's next call. Otherwise null, and nothing happened:
    // process() runs the block.
    const double* processKept(const double* in, size_t n);
    // The same for host samples, converted into the pages.
    const double* processKept(const float* in, size_t n);

    size_t pageLength() const { return m_pageLength; }
    size_t fadeLength() const { return m_fadeLength; }
    size_t ringLength() const { return m_ringLength; }
    size_t allocatedPages() const;
    long long delay() const { return m_delay; }
    long long pendingDelay() const { return m_pending; }
    bool fading() const { return m_fading; }
    bool freshlyReset() const { return m_freshlyReset; }

private:
    using CRoutine = size_t (CDSPModDelay::*)(const double*, double*, size_t);

    // One block through the selected routine.
    void run(const double* in, double* out, size_t n);
    template <typename Sample>
    void processHost(const float* in, Sample* out, size_t n);
    size_t processPlain(const double* in, double* out, size_t n);
    // Whole runs between pages and the block, converting where the block's
    // samples are not doubles.
    template <typename In, typename Out>
    size_t copyRuns(const In* in, Out* out, size_t n);
    template <typename Sample>
    const double* keep(const Sample* in, size_t n);
    size_t processFade(const double* in, double* out, size_t n);
    void startFade(long long to);
    // Applies a delay, or makes a ring, that waited for memory for the ring.
    void catchUp();
    // Grows the ring to hold `span` samples; false without memory for it.
    bool growFor(size_t span);
    bool updateCapacity();
    bool rebuildRing(size_t length);
    // Empties every slot.
    void releasePages();
    double** newRing(size_t length);
    void dropRing(double** ring);
    // The page at `index`, taken and filled when missing; null only when
    // there is no memory for it.
    double* page(size_t index);
    // The page at `index` to read from; with a bank, an empty slot stays
    // empty (null: it reads as the fill value), so that only the write
    // position takes pages, one page length at a time.
    const double* readable(size_t index) { return m_bank ? m_ring[index] : page(index); }
    // The page at `index` to write `n` samples into; null when the bank
    // has none left, the samples then counted as lost.
    double* writable(size_t index, size_t n);
    double* newPage();
    template <typename Sample>
    void fill(Sample* dst, size_t n) const {
        std::fill(dst, dst + n, Sample(m_fill));
    }
    // Where the sample `delay` samples before the write position lives.
    void readPosition(long long delay, size_t& pageIndex, size_t& offset) const;
    // Moves the write position and the delay's read position on by `n`,
    // which must not cross the end of either page.
    void advance(size_t n);

    CPoolAllocator* m_pool = nullptr;
    CDelayPageBank* m_bank = nullptr;
    std::unique_ptr<double*[]> m_rings[2];  // made ahead; the ring is one of them, or from the pool
    size_t m_ringCapacity = 0;
    size_t m_pageLength = kMinPageLength;
    size_t m_fadeLength = 1;
    double m_fill = 0.0;
    size_t m_minCapacity = 0;

    double** m_ring = nullptr;
    size_t m_ringLength = 0;

    size_t m_writePage = 0;
    size_t m_writeOffset = 0;
    size_t m_counter = 0;  // base + writePage × P + writeOffset
    size_t m_base = 0;     // M × P, so that counter − delay never goes below 0
    // The read position of the current delay, moved on with the write
    // position so that a block needs no division; worked out again when
    // the delay or the ring changes.
    size_t m_readPage = 0;
    size_t m_readOffset = 0;
    bool m_readStale = true;

    long long m_delay = 0;
    long long m_oldDelay = 0;
    long long m_pending = kNoDelay;

    bool m_fading = false;
    size_t m_fadeLeft = 0;
    double m_c = 0.0, m_cPrev = 0.0, m_k = 0.0;

    bool m_freshlyReset = true;
    CRoutine m_routine = &CDSPModDelay::processPlain;
};

}  // namespace zel
