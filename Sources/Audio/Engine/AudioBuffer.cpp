// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioBuffer.h"

#include <new>

#include "Audio/Engine/SampleConvert.h"

namespace zel {

CAudioBuffer* CAudioBuffer::create(CPoolAllocator& pool, size_t samples) {
    void* memory = pool.allocate(sizeof(CAudioBuffer) + samples * sizeof(double));
    return memory ? new (memory) CAudioBuffer(pool, samples) : nullptr;
}

void CAudioBuffer::convertHost() const {
    convertSamples(m_host, m_data, m_hostLength);
    m_host = nullptr;
}

void CAudioBuffer::destroy() {
    CPoolAllocator& pool = m_pool;
    this->~CAudioBuffer();
    pool.release(this);
}

}  // namespace zel
