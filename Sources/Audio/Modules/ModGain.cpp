// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModGain.h"

#include <cmath>

namespace zel {

void CModGainModule::update() {
    const size_t g = size_t(group), e = size_t(element);
    m_muted = m_slots[kMute].read(g, e, 0.0) >= 0.5;
    const double sign = m_slots[kPhaseInvert].read(g, e, 0.0) >= 0.5 ? -1.0 : 1.0;
    // The plain value is already a linear factor; the dB scale is the
    // converter's business.
    const double gain = m_slots[kGain].read(g, e, 1.0);
    m_factor = m_muted ? 0.0 : gain * sign;
    m_active = std::fabs(m_factor - 1.0) > 2.220446049250313e-16;
    formatChanged = false;
}

void CModGainModule::process(const double* in, double* out, size_t n) {
    if (m_muted) {
        m_noise.write(out, n);
        return;
    }
    for (size_t i = 0; i < n; ++i) out[i] = in[i] * m_factor;
}

std::unique_ptr<CAudioModule> CModGain::createModule() const { return std::make_unique<CModGainModule>(); }

bool CModGain::passesChannelOn(const CAudioModule& module) const {
    return !static_cast<const CModGainModule&>(module).active();
}

void CModGain::processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel*, CAudioChannel& out,
                              size_t n) {
    auto& gain = static_cast<CModGainModule&>(module);
    if (!gain.active()) {
        out.buffer = in.buffer;
        return;
    }
    // Without memory the channel carries no buffer rather than unscaled audio.
    out.buffer = m_ctx->newBuffer();
    if (out.buffer) gain.process(in.buffer.data(), out.buffer.data(), n);
}

}  // namespace zel
