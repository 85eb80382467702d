// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioProcess.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"

#define ZEL_SOURCE_TAG "AudioProcess"

namespace zel {

CAudioProcessBase::CAudioProcessBase() : inputs(kPorts) {
    for (auto& port : inputs) port.reserve(kMaxChannels);
    output.reserve(kMaxChannels);
}

CErrorPtr CAudioProcessBase::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    m_def = &def;
    m_ctx = &ctx;
    m_name = def.name();
    return nullptr;
}

bool CAudioProcessBase::formatValuesOrChannelsChanged(std::vector<CAudioParamSlot>& slots, std::vector<int>& layout) {
    bool changed = m_formatChanged;
    for (const auto& s : slots) changed = changed || s.changed();
    const CAudioChannels& in = inputs[0];
    if (in.size() != layout.size()) changed = true;
    for (size_t i = 0; !changed && i < in.size(); ++i) changed = layout[i] != in[i].channel;
    if (!changed) return false;
    layout.clear();
    for (const CAudioChannel& c : in) layout.push_back(c.channel);
    for (auto& s : slots) s.markSeen();
    m_formatChanged = false;
    return true;
}

// ---------------------------------------------------------------- module process

CErrorPtr CAudioModuleProcess::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioProcessBase::init(def, ctx));
    m_layout.reserve(kMaxChannels);
    m_prototype = createModule();
    ZEL_TRY(m_prototype->init(def));
    return nullptr;
}

bool CAudioModuleProcess::layoutChanged() const {
    const CAudioChannels& in = inputs[0];
    if (in.size() != m_layout.size()) return true;
    for (size_t i = 0; i < in.size(); ++i)
        if (m_layout[i].first != in[i].channel || m_layout[i].second != in[i].group) return true;
    return false;
}

CErrorPtr CAudioModuleProcess::makeSet(CModuleSet& set) {
    set.clear();
    const CAudioStreamFormat& format = m_ctx->format();
    for (const auto& [channel, group] : m_layout) {
        std::unique_ptr<CAudioModule> module = createModule();
        module->sampleRate = format.sampleRate;
        module->maxBlock = format.maxBlock;
        module->channel = channel;
        module->group = m_fixedGroup >= 0 ? m_fixedGroup : group;
        module->element = 0;
        ZEL_TRY(module->init(*m_def));
        m_ctx->bindSlots(*m_def, module->slots());
        set.push_back(std::move(module));
    }
    return nullptr;
}

CErrorPtr CAudioModuleProcess::rebuild() {
    m_layout.clear();
    for (const CAudioChannel& c : inputs[0]) m_layout.emplace_back(c.channel, c.group);
    ZEL_TRY(makeSet(m_current));
    if (m_def->isSmoothUpdate()) ZEL_TRY(makeSet(m_previous));
    else m_previous.clear();
    for (auto& m : m_current) {
        m->reset();
        m->update();
        m->markSlotsSeen();
    }
    m_fadeLeft = 0;
    m_fadePending = false;
    return nullptr;
}

long long CAudioModuleProcess::latency() const {
    return m_prototype ? m_prototype->inputLatency + m_prototype->ownLatency(m_ctx->format().sampleRate) : 0;
}

void CAudioModuleProcess::reset() {
    for (auto& m : m_current) m->reset();
    m_fadeLeft = 0;
}

void CAudioModuleProcess::startFade() {
    // The spare set takes the new values and becomes current; the old one
    // fades out from where it stands.
    m_current.swap(m_previous);
    for (size_t i = 0; i < m_current.size(); ++i) {
        CAudioModule& fresh = *m_current[i];
        fresh.formatChanged = true;
        fresh.reset();
        fresh.update();
        fresh.markSlotsSeen();
        m_previous[i]->markSlotsSeen();
    }
    m_fadeLeft = m_fadeLength;
    m_c = 0.5;
    m_cPrev = 0.5 * std::cos(M_PI / double(m_fadeLength));
    m_k = 2.0 * std::cos(M_PI / double(m_fadeLength));
    m_fadePending = false;
}

void CAudioModuleProcess::update() {
    if (m_formatChanged) {
        m_fadeLength = size_t(std::max<long long>(0, roundHalfAwayToInt(m_def->xfadeLength() * m_ctx->format().sampleRate)));
        for (auto* set : {&m_current, &m_previous})
            for (auto& m : *set) {
                m->sampleRate = m_ctx->format().sampleRate;
                m->maxBlock = m_ctx->format().maxBlock;
                m->formatChanged = true;
            }
    }
    if (layoutChanged()) {
        // A new layout replaces the modules at once; a failure leaves the
        // process passing nothing rather than reading stale modules.
        if (rebuild()) {
            m_current.clear();
            m_previous.clear();
        }
        m_formatChanged = false;
        return;
    }
    bool changed = false;
    for (auto& m : m_current) changed = changed || m->anySlotChanged();
    const bool smooth = m_def->isSmoothUpdate() && m_fadeLength > 0 && m_previous.size() == m_current.size();
    if (changed && smooth) {
        if (m_fadeLeft > 0) m_fadePending = true;
        else startFade();
    } else if (changed || m_formatChanged) {
        for (auto& m : m_current) {
            m->update();
            m->markSlotsSeen();
        }
    }
    m_formatChanged = false;
}

void CAudioModuleProcess::process(size_t n) {
    const CAudioChannels& in = inputs[0];
    const CAudioChannels& dry = inputs[1];
    output.clear();
    if (m_current.size() != in.size()) return;
    const double c0 = m_c, cPrev0 = m_cPrev;
    const size_t fading = m_fadeLeft > 0 ? std::min(n, m_fadeLeft) : 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const CAudioChannel* aux = nullptr;
        for (const CAudioChannel& d : dry)
            if (d.channel == in[i].channel) aux = &d;
        CAudioChannel out;
        out.channel = in[i].channel;
        out.group = in[i].group;
        processChannel(*m_current[i], in[i], aux, out, n);
        if (fading > 0) {
            // Old modules run on to the end of the block so that their state
            // stays continuous; the mix uses them for the fade's samples.
            CAudioChannel old;
            processChannel(*m_previous[i], in[i], aux, old, n);
            CAudioBufferRef mixed = m_ctx->newBuffer();
            if (mixed && old.buffer && out.buffer) {
                const double* a = old.buffer.data();
                const double* b = out.buffer.data();
                double* y = mixed.data();
                double c = c0, cp = cPrev0;
                for (size_t j = 0; j < fading; ++j) {
                    y[j] = (0.5 + c) * a[j] + (0.5 - c) * b[j];
                    const double next = m_k * c - cp;
                    cp = c;
                    c = next;
                }
                for (size_t j = fading; j < n; ++j) y[j] = b[j];
                out.buffer = std::move(mixed);
            }
        }
        output.push_back(std::move(out));
    }
    if (fading > 0) {
        for (size_t j = 0; j < fading; ++j) {
            const double next = m_k * m_c - m_cPrev;
            m_cPrev = m_c;
            m_c = next;
        }
        m_fadeLeft -= fading;
        if (m_fadeLeft == 0 && m_fadePending) startFade();
    }
}

}  // namespace zel
