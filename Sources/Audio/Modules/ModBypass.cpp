// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModBypass.h"

namespace zel {

void CModBypassModule::update() {
    m_enabled = m_slots[kEnable].read(size_t(group), size_t(element), 0.0) >= 0.5;
    // One solo switch per group, held in element 0. Only a slot that sees
    // all groups can know that another group is soloed.
    const CAudioParamSlot& solo = m_slots[kGroupSolo];
    const bool ownSolo = solo.read(size_t(group), 0, 0.0) >= 0.5;
    bool otherSolo = false;
    if (solo.useAllGroups())
        for (size_t g = 0; g < solo.groupCount(); ++g)
            if (g != size_t(group) && solo.read(g, 0, 0.0) >= 0.5) otherSolo = true;
    m_soloSilenced = otherSolo && !ownSolo;
    decide();
    formatChanged = false;
}

void CModBypassModule::setDryInput(bool present) {
    if (present == m_dryPresent) return;
    m_dryPresent = present;
    decide();
}

void CModBypassModule::decide() {
    m_pass = !m_enabled;
    // Bypassed without a dry signal there is nothing to switch to.
    if (m_enabled && !m_dryPresent) {
        m_silence = true;
        return;
    }
    if (m_soloSilenced) m_pass = false;
    m_silence = m_soloSilenced;
}

std::unique_ptr<CAudioModule> CModBypass::createModule() const { return std::make_unique<CModBypassModule>(); }

bool CModBypass::passesChannelOn(const CAudioModule& module) const {
    return static_cast<const CModBypassModule&>(module).passes();
}

void CModBypass::processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux,
                                CAudioChannel& out, size_t n) {
    auto& bypass = static_cast<CModBypassModule&>(module);
    bypass.setDryInput(aux != nullptr);
    if (bypass.passes()) {
        out.buffer = in.buffer;
    } else if (!bypass.silent()) {
        out.buffer = aux->buffer;
    } else {
        out.buffer = m_ctx->newBuffer();
        if (out.buffer) bypass.writeSilence(out.buffer.data(), n);
    }
}

}  // namespace zel
