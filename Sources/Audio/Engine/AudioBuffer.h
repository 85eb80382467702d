// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Core/PoolAllocator.h"

namespace zel {

// One block of one channel's samples, reference counted so that processes
// that leave a channel unchanged pass the same buffer on. Lives in the
// engine's pool; the last reference returns it there.
class alignas(64) CAudioBuffer {
public:
    static CAudioBuffer* create(CPoolAllocator& pool, size_t samples);

    double* data() {
        if (m_host) convertHost();
        return m_data;
    }
    const double* data() const {
        if (m_host) convertHost();
        return m_data;
    }
    size_t capacity() const { return m_capacity; }
    // The block's samples are where their keeper has them instead, left
    // untouched there while the buffer is in use; a buffer is only written
    // by its creator, which does not write this one.
    void borrow(const double* samples) { m_data = const_cast<double*>(samples); }
    // The block's `n` samples are the host's, converted into the buffer the
    // first time they are read: a consumer that takes host samples as they
    // are (hostSamples()) spares the conversion. The host's block lasts
    // only while it is processed: endDeferral() lets go of it, after which
    // the samples that were never read are gone.
    void defer(const float* host, size_t n) {
        m_host = host;
        m_hostLength = n;
    }
    const float* hostSamples() const { return m_host; }
    void endDeferral() { m_host = nullptr; }

    void addRef() { ++m_refs; }
    // Inline: every block passes channels on by the dozen.
    void release() {
        if (--m_refs == 0) destroy();
    }
    uint32_t refs() const { return m_refs; }

private:
    CAudioBuffer(CPoolAllocator& pool, size_t capacity)
        : m_pool(pool), m_capacity(capacity), m_data(reinterpret_cast<double*>(this + 1)) {}
    void destroy();
    void convertHost() const;

    CPoolAllocator& m_pool;
    size_t m_capacity;
    double* m_data;
    mutable const float* m_host = nullptr;
    size_t m_hostLength = 0;
    uint32_t m_refs = 1;
};
// The pool's blocks start on a cache line, and so do the samples after this.
static_assert(sizeof(CAudioBuffer) == 64, "samples start on a cache line");

// A counted reference to a buffer; copying shares the buffer.
class CAudioBufferRef {
public:
    CAudioBufferRef() = default;
    // Takes over the creator's reference.
    explicit CAudioBufferRef(CAudioBuffer* adopted) : m_buffer(adopted) {}
    CAudioBufferRef(const CAudioBufferRef& o) : m_buffer(o.m_buffer) {
        if (m_buffer) m_buffer->addRef();
    }
    CAudioBufferRef(CAudioBufferRef&& o) noexcept : m_buffer(std::exchange(o.m_buffer, nullptr)) {}
    CAudioBufferRef& operator=(CAudioBufferRef o) noexcept {
        std::swap(m_buffer, o.m_buffer);
        return *this;
    }
    ~CAudioBufferRef() {
        if (m_buffer) m_buffer->release();
    }

    explicit operator bool() const { return m_buffer != nullptr; }
    double* data() { return m_buffer->data(); }
    const double* data() const { return m_buffer->data(); }
    CAudioBuffer* get() const { return m_buffer; }
    void reset() { *this = CAudioBufferRef(); }

private:
    CAudioBuffer* m_buffer = nullptr;
};

// A channel as it flows through the graph: its samples, its internal
// channel number (0-based) and its channel group (0-based).
struct CAudioChannel {
    CAudioBufferRef buffer;
    int channel = 0;
    int group = 0;
};

// The channels of one port. Capacity is reserved when the graph is built,
// so that filling it on the audio thread does not allocate.
using CAudioChannels = std::vector<CAudioChannel>;

}  // namespace zel
