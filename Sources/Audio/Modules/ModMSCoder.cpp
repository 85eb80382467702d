// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModMSCoder.h"

#include "Audio/Converters/NumberText.h"

#define ZEL_SOURCE_TAG "ModMSCoder"

namespace zel {

CErrorPtr CModMSCoder::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioProcessBase::init(def, ctx));
    m_slots.assign(3, CAudioParamSlot());
    ctx.bindSlots(def, m_slots);
    m_pairs.reserve(kMaxChannels);
    m_layout.reserve(kMaxChannels);
    return nullptr;
}

void CModMSCoder::rebuild() {
    m_pairs.clear();
    m_decoder = roundHalfAwayToInt(m_slots[1].read(0, 0, 0.0)) != 0;
    if (m_slots[2].read(0, 0, 0.0) >= 0.5) return;
    // Members are told apart by internal channel, never by where they arrive:
    // after the per-group delays the decoder sees the channels group by
    // group, and must still pair them as the encoder did.
    for (int channel = 0; channel < int(kMaxChannels); ++channel) {
        bool present = false;
        for (const CAudioChannel& c : inputs[0]) present = present || c.channel == channel;
        if (!present) continue;
        const int p = int(roundHalfAwayToInt(m_slots[0].read(0, size_t(channel), 0.0))) - 1;
        if (p < 0) continue;
        CPair* pair = nullptr;
        for (CPair& existing : m_pairs)
            if (existing.number == p) pair = &existing;
        if (!pair) {
            m_pairs.push_back({p, channel, -1});
        } else if (pair->second < 0) {
            pair->second = channel;
        }
    }
}

void CModMSCoder::update() {
    if (formatValuesOrChannelsChanged(m_slots, m_layout)) rebuild();
}

void CModMSCoder::process(size_t n) {
    output = inputs[0];
    for (const CPair& pair : m_pairs) {
        if (pair.second < 0) continue;
        CAudioChannel* a = nullptr;
        CAudioChannel* b = nullptr;
        for (CAudioChannel& c : output) {
            if (c.channel == pair.first) a = &c;
            if (c.channel == pair.second) b = &c;
        }
        if (!a || !b || !a->buffer || !b->buffer) continue;
        CAudioBufferRef first = m_ctx->newBuffer(), second = m_ctx->newBuffer();
        if (!first || !second) continue;
        const double* x = a->buffer.data();
        const double* y = b->buffer.data();
        double* p = first.data();
        double* q = second.data();
        if (m_decoder) {
            for (size_t j = 0; j < n; ++j) {
                p[j] = x[j] + y[j];
                q[j] = x[j] - y[j];
            }
        } else {
            for (size_t j = 0; j < n; ++j) {
                const double s = (y[j] - x[j]) * -0.5;
                p[j] = y[j] + s;
                q[j] = s;
            }
        }
        a->buffer = std::move(first);
        b->buffer = std::move(second);
    }
}

}  // namespace zel
