// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Engine/AudioProcess.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"

#define ZEL_SOURCE_TAG "AudioProcess"

namespace zel {

CAudioProcessBase::CAudioProcessBase() {
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
    ZEL_TRY(makeSet(m_sets[0]));
    if (def.isSmoothUpdate()) ZEL_TRY(makeSet(m_sets[1]));
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
    for (size_t i = 0; i < kMaxChannels; ++i) {
        std::unique_ptr<CAudioModule> module = createModule();
        ZEL_TRY(module->init(*m_def));
        // Every module of the process binds the same parameters.
        if (set.empty())
            m_ctx->bindSlots(*m_def, module->slots());
        else
            module->slots() = set.front()->slots();
        set.push_back(std::move(module));
    }
    return nullptr;
}

void CAudioModuleProcess::assign(CModuleSet& set) {
    const CAudioStreamFormat& format = m_ctx->format();
    for (size_t i = 0; i < m_count && i < set.size(); ++i) {
        CAudioModule& module = *set[i];
        if (module.sampleRate != format.sampleRate || module.maxBlock != format.maxBlock) {
            module.sampleRate = format.sampleRate;
            module.maxBlock = format.maxBlock;
            module.formatChanged = true;
        }
        module.channel = m_layout[i].first;
        module.group = m_fixedGroup >= 0 ? m_fixedGroup : m_layout[i].second;
        module.element = 0;
        for (auto& slot : module.slots()) slot.watchGroup(size_t(module.group));
    }
}

void CAudioModuleProcess::rebuild() {
    m_layout.clear();
    for (const CAudioChannel& c : inputs[0]) m_layout.emplace_back(c.channel, c.group);
    m_count = std::min(m_layout.size(), m_current->size());
    assign(*m_current);
    assign(*m_previous);
    for (size_t i = 0; i < m_count; ++i) {
        CAudioModule& m = *(*m_current)[i];
        m.reset();
        m.update();
        m.markSlotsSeen();
    }
    m_fadeLeft = 0;
}

long long CAudioModuleProcess::latency() const {
    return m_prototype ? m_prototype->inputLatency + m_prototype->ownLatency(m_ctx->format().sampleRate) : 0;
}

void CAudioModuleProcess::reset() {
    for (size_t i = 0; i < m_count; ++i) (*m_current)[i]->reset();
    m_fadeLeft = 0;
}

void CAudioModuleProcess::bypassChanged(bool bypassed) {
    m_bypassed = bypassed;
    // Before its first block the process has no output to fade from.
    if (!m_started && bypassed) m_toInput = true;
}

bool CAudioModuleProcess::smooth() const {
    return m_def->isSmoothUpdate() && m_fadeLength > 0 && m_previous->size() == m_current->size();
}

void CAudioModuleProcess::updateChanged(bool all) {
    for (size_t i = 0; i < m_count; ++i) {
        CAudioModule& m = *(*m_current)[i];
        if (all || m.anySlotChanged()) {
            m.update();
            m.markSlotsSeen();
        }
    }
}

void CAudioModuleProcess::beginFade() {
    m_fadeLeft = m_fadeLength;
    m_c = 0.5;
    m_cPrev = 0.5 * std::cos(M_PI / double(m_fadeLength));
    m_k = 2.0 * std::cos(M_PI / double(m_fadeLength));
}

void CAudioModuleProcess::startFade() {
    // The spare set takes the new values and becomes current; the old one
    // fades out from where it stands.
    std::swap(m_current, m_previous);
    for (size_t i = 0; i < m_count; ++i) {
        CAudioModule& fresh = *(*m_current)[i];
        fresh.formatChanged = true;
        fresh.reset();
        fresh.update();
        fresh.markSlotsSeen();
        (*m_previous)[i]->markSlotsSeen();
    }
    m_fromInput = false;
    beginFade();
}

void CAudioModuleProcess::update() {
    if (m_formatChanged) {
        m_fadeLength =
            size_t(std::max<long long>(0, roundHalfAwayToInt(m_def->xfadeLength() * m_ctx->format().sampleRate)));
        for (CModuleSet& set : m_sets)
            for (auto& m : set) {
                m->sampleRate = m_ctx->format().sampleRate;
                m->maxBlock = m_ctx->format().maxBlock;
                m->formatChanged = true;
            }
    }
    const bool wasInput = m_toInput;
    m_started = true;
    if (layoutChanged()) {
        // A new layout replaces the modules at once.
        rebuild();
        m_formatChanged = false;
        // Coming back from the input is still a fade: the input is what
        // was heard.
        m_toInput = m_bypassed;
        if (wasInput && !m_bypassed && smooth()) {
            m_fromInput = true;
            beginFade();
        }
        return;
    }
    bool changed = false;
    const uint64_t values = m_ctx->valuesVersion();
    if (!m_settled || values == CAudioGraphContext::kUncounted || values != m_valuesSeen) {
        for (size_t i = 0; i < m_count; ++i) changed = changed || (*m_current)[i]->anySlotChanged();
        m_valuesSeen = values;
        // A change taken below is seen by the next look; one that waits
        // for a fade keeps the slots unsettled.
        m_settled = !changed;
    }
    // Changes during a fade wait for its end: the slots stay unseen.
    if (m_fadeLeft == 0) {
        if (m_bypassed != m_toInput) {
            m_toInput = m_bypassed;
            if (!m_toInput) updateChanged(m_formatChanged);
            if (smooth()) {
                m_fromInput = !m_toInput;
                beginFade();
            }
        } else if (!m_toInput && changed && smooth()) {
            startFade();
        } else if (changed || m_formatChanged) {
            updateChanged(m_formatChanged);
        }
    }
    m_formatChanged = false;
}

bool CAudioModuleProcess::passesInputOn() const {
    // A change waiting for its turn, a fade or a format to take over would
    // be taken up without a new value: the process has to keep running.
    if (!m_started || m_formatChanged || !m_settled || m_fadeLeft > 0 || m_toInput != m_bypassed ||
        m_valuesSeen == CAudioGraphContext::kUncounted)
        return false;
    if (m_toInput) return true;
    for (size_t i = 0; i < m_count; ++i)
        if (!passesChannelOn(*(*m_current)[i])) return false;
    return true;
}

void CAudioModuleProcess::process(size_t n) {
    const CAudioChannels& in = inputs[0];
    const CAudioChannels& dry = inputs[1];
    output.clear();
    if (m_count != in.size()) return;
    const double c0 = m_c, cPrev0 = m_cPrev;
    const size_t fading = m_fadeLeft > 0 ? std::min(n, m_fadeLeft) : 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const CAudioChannel* aux = nullptr;
        for (const CAudioChannel& d : dry)
            if (d.channel == in[i].channel) aux = &d;
        CAudioChannel out;
        out.channel = in[i].channel;
        out.group = in[i].group;
        if (m_toInput)
            out.buffer = in[i].buffer;
        else
            processChannel(*(*m_current)[i], in[i], aux, out, n);
        if (fading > 0) {
            // The modules faded out run on to the end of the block so that
            // their state stays continuous; the mix uses them for the
            // fade's samples.
            CAudioChannel old;
            if (m_fromInput)
                old.buffer = in[i].buffer;
            else
                processChannel(m_toInput ? *(*m_current)[i] : *(*m_previous)[i], in[i], aux, old, n);
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
    }
}

}  // namespace zel
