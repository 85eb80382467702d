// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModDelay.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"

#define ZEL_SOURCE_TAG "ModDelay"

namespace zel {

CErrorPtr CModDelayModule::init(const CAudioProcessDefBase& def) {
    m_isLatencySeconds = def.getBool("is-latency-seconds", false);
    if (m_isLatencySeconds)
        m_latencySeconds = std::max(def.getReal("latency", 0.0), 0.0);
    else
        m_latencySamples = std::max(def.getInt("latency", 0), 0LL);
    m_isLatencyPositive = def.getBool("is-latency-positive", false);
    m_isCompInput = def.isCompInput();

    return nullptr;
}

void CModDelayModule::reset() { m_line.reset(); }

void CModDelayModule::update() {
    const bool reconfiguring = formatChanged || m_slots[kTransTime].changed() || m_slots[kBlockSize].changed();
    const bool delayChanged =
        reconfiguring || m_slots[kTime].changed() || m_slots[kSamples].changed() || m_slots[kTimeMode].changed();
    if (reconfiguring) reconfigure();
    if (delayChanged) m_line.setDelay(delaySamples());
    markSlotsSeen();
    formatChanged = false;
}

void CModDelayModule::process(const double* in, double* out, size_t n) {
    // Unwritten history continues the signal instead of starting from
    // silence when the definition asks for it; a first sample that is not
    // a number would stay in every page allocated from then on.
    if (m_isCompInput && m_line.freshlyReset() && n) m_line.setFillValue(std::isfinite(in[0]) ? in[0] : 0.0);
    m_line.process(in, out, n);
}

double CModDelayModule::value(ESlot slot, double fallback) const {
    return m_slots[slot].read(size_t(group), size_t(element), fallback);
}

void CModDelayModule::reconfigure() {
    const long long pageLength = roundHalfAwayToInt(std::max(64.0, value(kBlockSize, 64.0)));
    const long long fadeLength = roundHalfAwayToInt(std::max(0.0001, value(kTransTime, 0.01)) * sampleRate);
    m_line.configure(size_t(pageLength), size_t(std::max(fadeLength, 0LL)));
    m_latency = ownLatency(sampleRate);
}

long long CModDelayModule::ownLatency(double rate) const {
    return m_isLatencySeconds ? roundHalfAwayToInt(m_latencySeconds * rate) : m_latencySamples;
}

long long CModDelayModule::delaySamples() const {
    const long long mode = roundHalfAwayToInt(value(kTimeMode, 0.0));
    // The plain time is in thousands of the unit: seconds, kilometres or
    // thousands of feet.
    double seconds = value(kTime, 0.0);
    if (mode == kMeter)
        seconds = seconds * 1000.0 / kSoundMetersPerSecond;
    else if (mode == kFoot)
        seconds = seconds * 1000.0 / kSoundFeetPerSecond;
    seconds += roundHalfAway(value(kSamples, 0.0)) / sampleRate;
    seconds = std::min(seconds, kMaxDelaySeconds);
    long long d = roundHalfAwayToInt(seconds * sampleRate);
    if (m_latency > 0) d = m_isLatencyPositive ? m_latency + d : m_latency - d;
    return std::max(d, 0LL);
}

std::unique_ptr<CAudioModule> CModDelay::createModule() const {
    auto module = std::make_unique<CModDelayModule>();
    module->setPool(m_ctx->pool());
    return module;
}

void CModDelay::processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel*, CAudioChannel& out,
                               size_t n) {
    // Without memory the channel carries no buffer rather than undelayed audio.
    out.buffer = m_ctx->newBuffer();
    if (out.buffer) static_cast<CModDelayModule&>(module).process(in.buffer.data(), out.buffer.data(), n);
}

}  // namespace zel
