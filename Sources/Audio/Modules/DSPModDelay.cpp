// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/DSPModDelay.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "Audio/Engine/SampleConvert.h"

#define ZEL_SOURCE_TAG "DSPModDelay"

namespace zel {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

// Off the audio thread, with the graph: pages of a bank are freed here.
CDSPModDelay::~CDSPModDelay() {
    for (size_t i = 0; i < m_ringLength; ++i) {
        if (m_bank)
            CDelayPageBank::destroy(m_ring[i]);
        else if (m_pool)
            m_pool->release(m_ring[i]);
    }
    dropRing(m_ring);
}

void CDSPModDelay::prepareRing(size_t capacity) {
    capacity = std::max(capacity, m_ringLength);
    if (capacity == m_ringCapacity) return;
    auto current = std::make_unique<double*[]>(capacity);
    auto spare = std::make_unique<double*[]>(capacity);
    std::copy(m_ring, m_ring + m_ringLength, current.get());
    dropRing(m_ring);
    m_ring = current.get();
    m_rings[0] = std::move(current);
    m_rings[1] = std::move(spare);
    m_ringCapacity = capacity;
}

double** CDSPModDelay::newRing(size_t length) {
    if (length <= m_ringCapacity) return m_ring == m_rings[0].get() ? m_rings[1].get() : m_rings[0].get();
    return m_pool ? static_cast<double**>(m_pool->allocate(length * sizeof(double*))) : nullptr;
}

void CDSPModDelay::dropRing(double** ring) {
    if (ring && ring != m_rings[0].get() && ring != m_rings[1].get() && m_pool) m_pool->release(ring);
}

size_t CDSPModDelay::ringLengthFor(size_t samples) const {
    return (m_pageLength + std::max(m_minCapacity, samples) + kMargin - 1) / m_pageLength;
}

void CDSPModDelay::configure(size_t pageLength, size_t fadeLength) {
    m_pageLength = std::max(pageLength, kMinPageLength);
    m_fadeLength = std::max<size_t>(fadeLength, 1);
    m_k = 2.0 * std::cos(kPi / double(m_fadeLength));
    releasePages();
    dropRing(m_ring);
    m_ring = nullptr;
    m_ringLength = 0;
    if (m_bank) m_bank->setPageLength(m_pageLength);
    m_delay = 0;
    m_oldDelay = 0;
    m_pending = kNoDelay;
    m_fading = false;
    m_fadeLeft = 0;
    m_writePage = 0;
    m_writeOffset = 0;
    m_base = 0;
    m_counter = 0;
    m_readStale = true;
    m_freshlyReset = true;
    m_routine = &CDSPModDelay::processPlain;
    updateCapacity();
}

void CDSPModDelay::reset() {
    releasePages();
    if (m_bank) {
        // The ring goes as well, so that a line that stops running holds
        // no pages; it is made again before the next block.
        dropRing(m_ring);
        m_ring = nullptr;
        m_ringLength = 0;
    }
    m_writePage = 0;
    m_writeOffset = 0;
    m_counter = m_base;
    m_readStale = true;
    m_fading = false;
    m_fadeLeft = 0;
    m_routine = &CDSPModDelay::processPlain;
    m_freshlyReset = true;
    // Freshly reset, the waiting delay applies at once.
    const long long waiting = std::exchange(m_pending, kNoDelay);
    if (waiting != kNoDelay) setDelay(waiting);
}

void CDSPModDelay::setMinCapacity(size_t samples) {
    m_minCapacity = samples;
    if (m_ring) updateCapacity();
}

void CDSPModDelay::setDelay(long long samples) {
    samples = std::max(samples, 0LL);
    if (m_fading) {
        // Only the newest change waits for the running fade; going back to
        // its target leaves nothing to do after it.
        m_pending = samples != m_delay ? samples : kNoDelay;
        return;
    }
    // A delay the ring cannot hold for want of memory for the ring waits.
    m_pending = kNoDelay;
    if (samples == m_delay) return;
    if (m_freshlyReset) {
        // Nothing has been heard yet, so there is nothing to fade from.
        if (!growFor(size_t(samples))) {
            m_pending = samples;
            return;
        }
        m_delay = samples;
        m_readStale = true;
        updateCapacity();
        return;
    }
    if (!growFor(size_t(std::max(samples, m_delay)))) {
        m_pending = samples;
        return;
    }
    startFade(samples);
}

void CDSPModDelay::catchUp() {
    if (m_fading) return;
    if (!m_ringLength) updateCapacity();
    if (m_pending != kNoDelay) setDelay(m_pending);
}

void CDSPModDelay::process(const double* in, double* out, size_t n) {
    catchUp();
    run(in, out, n);
}

void CDSPModDelay::run(const double* in, double* out, size_t n) {
    m_freshlyReset = false;
    if (!m_ringLength) {
        // Only while there is no memory for the ring.
        fill(out, n);
        return;
    }
    // A routine returns early when a fade ends, so the rest of the block
    // goes through the plain one.
    for (size_t done = 0; done < n;) done += (this->*m_routine)(in + done, out + done, n - done);
}

void CDSPModDelay::process(const float* in, float* out, size_t n) { processHost(in, out, n); }

void CDSPModDelay::process(const float* in, double* out, size_t n) { processHost(in, out, n); }

template <typename Sample>
void CDSPModDelay::processHost(const float* in, Sample* out, size_t n) {
    catchUp();
    if (m_ringLength && !m_fading) {
        m_freshlyReset = false;
        copyRuns(in, out, n);
        return;
    }
    // A fade (rare and short) goes through the double routines, a piece at
    // a time on the stack.
    double x[kMaxChunk];
    for (size_t done = 0; done < n;) {
        const size_t chunk = std::min(kMaxChunk, n - done);
        convertSamples(in + done, x, chunk);
        if constexpr (std::is_same_v<Sample, double>) {
            run(x, out + done, chunk);
        } else {
            double y[kMaxChunk];
            run(x, y, chunk);
            convertSamples(y, out + done, chunk);
        }
        done += chunk;
    }
}

const double* CDSPModDelay::processKept(const double* in, size_t n) { return keep(in, n); }

const double* CDSPModDelay::processKept(const float* in, size_t n) { return keep(in, n); }

template <typename Sample>
const double* CDSPModDelay::keep(const Sample* in, size_t n) {
    // Only blocks for which catchUp() has nothing to do, and whose writes
    // do not reach the samples they read.
    if (m_fading || m_pending != kNoDelay || !m_ringLength || n + size_t(m_delay) > m_ringLength * m_pageLength)
        return nullptr;
    if (m_readStale) {
        readPosition(m_delay, m_readPage, m_readOffset);
        m_readStale = false;
    }
    if (m_readOffset + n > m_pageLength) return nullptr;
    // An empty slot reads as the fill value, which only the copy gives,
    // unless the block writes the samples it reads there.
    const double* src = m_readPage == m_writePage ? page(m_readPage) : readable(m_readPage);
    if (!src) return nullptr;
    src += m_readOffset;
    m_freshlyReset = false;
    for (size_t done = 0; done < n;) {
        const size_t chunk = std::min(m_pageLength - m_writeOffset, n - done);
        if (double* dst = writable(m_writePage, chunk)) convertSamples(in + done, dst + m_writeOffset, chunk);
        advance(chunk);
        done += chunk;
    }
    return src;
}

size_t CDSPModDelay::allocatedPages() const {
    return size_t(std::count_if(m_ring, m_ring + m_ringLength, [](const double* p) { return p != nullptr; }));
}

template <typename In, typename Out>
size_t CDSPModDelay::copyRuns(const In* in, Out* out, size_t n) {
    const size_t pageLength = m_pageLength;
    if (m_readStale) {
        readPosition(m_delay, m_readPage, m_readOffset);
        m_readStale = false;
    }
    for (size_t done = 0; done < n;) {
        const size_t readPage = m_readPage, readOffset = m_readOffset;
        // Runs end only where a page does: a block is one or two copies in
        // and out.
        const size_t chunk = std::min({pageLength - readOffset, pageLength - m_writeOffset, n - done});
        const double* src = readable(readPage);
        // A delay shorter than the run reads what the run writes, so the
        // write goes first (and a delay of 0 returns the input unchanged);
        // otherwise the read goes first, as the write may reach around the
        // ring onto samples still to be read when the run is longer than
        // the ring's margin.
        const bool writeFirst = size_t(m_delay) < chunk;
        double* dst = writeFirst ? writable(m_writePage, chunk) : nullptr;
        if (dst) {
            convertSamples(in + done, dst + m_writeOffset, chunk);
            if (readPage == m_writePage) src = dst;
        }
        if (src)
            convertSamples(src + readOffset, out + done, chunk);
        else
            fill(out + done, chunk);
        if (!writeFirst) dst = writable(m_writePage, chunk);
        if (dst && !writeFirst) convertSamples(in + done, dst + m_writeOffset, chunk);
        advance(chunk);
        done += chunk;
    }
    return n;
}

size_t CDSPModDelay::processPlain(const double* in, double* out, size_t n) { return copyRuns(in, out, n); }

size_t CDSPModDelay::processFade(const double* in, double* out, size_t n) {
    const size_t pageLength = m_pageLength;
    size_t done = 0;
    while (done < n) {
        size_t oldPage, oldOffset, newPage, newOffset;
        readPosition(m_oldDelay, oldPage, oldOffset);
        readPosition(m_delay, newPage, newOffset);
        const size_t chunk = std::min({pageLength - oldOffset, pageLength - newOffset, pageLength - m_writeOffset,
                                       n - done, kMaxChunk, m_fadeLeft});
        // Written first: a delay shorter than the chunk reads it.
        if (double* dst = writable(m_writePage, chunk))
            std::memcpy(dst + m_writeOffset, in + done, chunk * sizeof(double));
        // An empty slot reads as the fill value.
        double fillA[kMaxChunk], fillB[kMaxChunk];
        const double* a = readable(oldPage);
        const double* b = readable(newPage);
        if (a) {
            a += oldOffset;
        } else {
            fill(fillA, chunk);
            a = fillA;
        }
        if (b) {
            b += newOffset;
        } else {
            fill(fillB, chunk);
            b = fillB;
        }
        double* y = out + done;
        double c = m_c, cPrev = m_cPrev;
        const double k = m_k;
        for (size_t i = 0; i < chunk; ++i) {
            y[i] = (0.5 + c) * a[i] + (0.5 - c) * b[i];
            const double next = k * c - cPrev;
            cPrev = c;
            c = next;
        }
        m_c = c;
        m_cPrev = cPrev;
        advance(chunk);
        done += chunk;
        m_fadeLeft -= chunk;
        if (m_fadeLeft) continue;
        // A waiting delay the ring cannot hold for want of memory starts
        // once it can.
        if (m_pending == kNoDelay || !growFor(size_t(std::max(m_pending, m_delay)))) {
            m_fading = false;
            m_routine = &CDSPModDelay::processPlain;
            return done;
        }
        startFade(m_pending);
    }
    return done;
}

void CDSPModDelay::startFade(long long to) {
    m_oldDelay = m_delay;
    m_delay = to;
    m_readStale = true;
    m_pending = kNoDelay;
    m_fading = true;
    m_fadeLeft = m_fadeLength;
    // c_j = 0.5 × cos(π j / N) by c_{j+1} = k × c_j − c_{j−1}.
    m_c = 0.5;
    m_cPrev = 0.25 * m_k;
    m_routine = &CDSPModDelay::processFade;
    updateCapacity();
}

bool CDSPModDelay::growFor(size_t span) {
    const size_t length = ringLengthFor(span);
    if (length <= m_ringLength) return true;
    return rebuildRing(length);
}

bool CDSPModDelay::updateCapacity() {
    size_t span = size_t(m_delay);
    if (m_fading) span = std::max(span, size_t(m_oldDelay));
    const size_t length = ringLengthFor(span);
    if (length > m_ringLength) return growFor(span);
    if (length < m_ringLength) rebuildRing(length);
    return true;
}

// The write page becomes page 0 and every page keeps its distance behind
// it, so history within both lengths reads as before: growing adds empty
// pages, shrinking drops the oldest ones, both right after the write page.
// The write page also holds, past the write offset, the samples one whole
// ring back; that part moves to where a whole ring back now is.
bool CDSPModDelay::rebuildRing(size_t length) {
    double** ring = newRing(length);
    if (!ring) return false;
    std::fill(ring, ring + length, nullptr);
    const size_t pageLength = m_pageLength, oldLength = m_ringLength;
    const size_t w = m_writePage, o = m_writeOffset;
    if (oldLength) {
        double** old = m_ring;
        auto behind = [&](size_t j) -> double*& { return old[(w + oldLength - j) % oldLength]; };
        double* writePage = old[w];
        ring[0] = writePage;
        for (size_t j = 1; j < std::min(length, oldLength); ++j) ring[length - j] = behind(j);
        if (length > oldLength) {
            if (writePage) {
                if (double* moved = newPage()) {
                    std::memcpy(moved + o, writePage + o, (pageLength - o) * sizeof(double));
                    ring[length - oldLength] = moved;
                } else if (m_bank) {
                    m_bank->lose(pageLength - o);
                }
                fill(writePage + o, pageLength - o);
            }
        } else {
            if (const double* wrapped = behind(length)) {
                if (!ring[0]) ring[0] = newPage();
                if (ring[0])
                    std::memcpy(ring[0] + o, wrapped + o, (pageLength - o) * sizeof(double));
                else if (m_bank)
                    m_bank->lose(pageLength - o);
            } else if (writePage) {
                fill(writePage + o, pageLength - o);
            }
            for (size_t j = length; j < oldLength; ++j) {
                double* dropped = std::exchange(behind(j), nullptr);
                if (m_bank)
                    m_bank->release(dropped);
                else
                    m_pool->release(dropped);
            }
        }
        dropRing(old);
    }
    m_ring = ring;
    m_ringLength = length;
    m_writePage = 0;
    m_base = length * pageLength;
    m_counter = m_base + o;
    m_readStale = true;
    return true;
}

void CDSPModDelay::releasePages() {
    for (size_t i = 0; i < m_ringLength; ++i) {
        double* page = std::exchange(m_ring[i], nullptr);
        if (m_bank)
            m_bank->release(page);
        else
            m_pool->release(page);
    }
}

double* CDSPModDelay::page(size_t index) {
    double*& p = m_ring[index];
    if (!p) p = newPage();
    return p;
}

double* CDSPModDelay::writable(size_t index, size_t n) {
    double* p = page(index);
    if (!p && m_bank) m_bank->lose(n);
    return p;
}

double* CDSPModDelay::newPage() {
    auto* p =
        m_bank ? m_bank->take(m_pageLength) : static_cast<double*>(m_pool->allocate(m_pageLength * sizeof(double)));
    if (p) fill(p, m_pageLength);
    return p;
}

void CDSPModDelay::readPosition(long long delay, size_t& pageIndex, size_t& offset) const {
    // The counter stays within [M × P, 2 × M × P) and the delay within the
    // ring, so the page is less than 2 × M and one division does. (Only a
    // ring that could not grow for want of memory leaves the delay beyond
    // it; the page then still lands inside.)
    const size_t r = m_counter - size_t(delay);
    pageIndex = r / m_pageLength;
    offset = r - pageIndex * m_pageLength;
    if (pageIndex >= m_ringLength) pageIndex -= m_ringLength;
    if (pageIndex >= m_ringLength) pageIndex %= m_ringLength;
}

void CDSPModDelay::advance(size_t n) {
    m_counter += n;
    m_readOffset += n;
    if (m_readOffset == m_pageLength) {
        m_readOffset = 0;
        if (++m_readPage == m_ringLength) m_readPage = 0;
    }
    m_writeOffset += n;
    if (m_writeOffset < m_pageLength) return;
    m_writeOffset = 0;
    if (++m_writePage == m_ringLength) {
        m_writePage = 0;
        m_counter = m_base;
    }
}

}  // namespace zel
