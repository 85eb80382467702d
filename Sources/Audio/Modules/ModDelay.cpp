// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModDelay.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"
#include "Audio/Modules/DelayPageKeeper.h"

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

double CModDelayModule::value(ESlot slot, double fallback) const {
    return m_slots[slot].read(size_t(group), size_t(element), fallback);
}

size_t CModDelayModule::pageLengthFor(double blockSize) {
    return size_t(roundHalfAwayToInt(std::max(64.0, blockSize)));
}

void CModDelayModule::prepareLine(double rate, size_t forGroup) {
    const size_t pageLength = pageLengthFor(m_slots[kBlockSize].read(forGroup, 0, 64.0));
    m_line.prepareRing((pageLength + longestSpan(rate) + CDSPModDelay::kMargin - 1) / pageLength);
}

size_t CModDelayModule::longestSpan(double rate) const {
    const long long own = ownLatency(rate);
    const long long longest = roundHalfAwayToInt(kMaxDelaySeconds * rate) + (m_isLatencyPositive ? own : 0);
    return size_t(std::max(longest, own));
}

void CModDelayModule::reconfigure() {
    const auto pageLength = static_cast<long long>(pageLengthFor(value(kBlockSize, 64.0)));
    const long long fadeLength = roundHalfAwayToInt(std::max(0.0001, value(kTransTime, 0.01)) * sampleRate);
    m_line.configure(size_t(pageLength), size_t(std::max(fadeLength, 0LL)));
    m_latency = ownLatency(sampleRate);
}

long long CModDelayModule::ownLatency(double rate) const {
    return m_isLatencySeconds ? roundHalfAwayToInt(m_latencySeconds * rate) : m_latencySamples;
}

long long CModDelayModule::delayFor(double time, double samples, double timeMode, double rate) {
    const long long mode = roundHalfAwayToInt(timeMode);
    // The plain time is in thousands of the unit: seconds, kilometres or
    // thousands of feet.
    double seconds = time;
    if (mode == kMeter)
        seconds = seconds * 1000.0 / kSoundMetersPerSecond;
    else if (mode == kFoot)
        seconds = seconds * 1000.0 / kSoundFeetPerSecond;
    seconds += roundHalfAway(samples) / rate;
    seconds = std::min(seconds, kMaxDelaySeconds);
    return roundHalfAwayToInt(seconds * rate);
}

long long CModDelayModule::delaySamples() const {
    long long d = delayFor(value(kTime, 0.0), value(kSamples, 0.0), value(kTimeMode, 0.0), sampleRate);
    if (m_latency > 0) d = m_isLatencyPositive ? m_latency + d : m_latency - d;
    return std::max(d, 0LL);
}

CModDelay::CModDelay() : m_bank(std::make_unique<CDelayPageBank>()) {}

CErrorPtr CModDelay::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioModuleProcess::init(def, ctx));
    m_slots.assign(CModDelayModule::kSlotCount, CAudioParamSlot());
    ctx.bindSlots(def, m_slots);
    if (CDelayPageKeeper* keeper = ctx.pageKeeper()) keeper->add(*this);
    return nullptr;
}

void CModDelay::setStackGroup(int group) {
    CAudioModuleProcess::setStackGroup(group);
    m_group = std::max(group, 0);
}

void CModDelay::formatChanged() {
    CAudioModuleProcess::formatChanged();
    const double rate = m_ctx->format().sampleRate;
    if (rate <= 0) return;
    size_t longest = 0;
    forEachModule([&](CAudioModule& m) {
        auto& module = static_cast<CModDelayModule&>(m);
        module.prepareLine(rate, size_t(m_group));
        longest = std::max(longest, module.longestSpan(rate));
    });
    m_longestSpan.store(longest, std::memory_order_relaxed);
}

// Also when the group loses its channels: what the lines held goes back.
void CModDelay::reset() {
    CAudioModuleProcess::reset();
    m_bank->settle();
    wakeKeeper();
}

// The lines grow in their modules' update and in the block after it.
void CModDelay::update() {
    if (const CDelayPageKeeper* keeper = m_ctx->pageKeeper()) m_bank->setOffline(keeper->offline());
    CAudioModuleProcess::update();
}

void CModDelay::process(size_t n) {
    CAudioModuleProcess::process(n);
    m_bank->noteUse();
    m_bank->settle();
    wakeKeeper();
}

void CModDelay::wakeKeeper() {
    CDelayPageKeeper* keeper = m_ctx->pageKeeper();
    if (keeper && m_bank->waiting()) keeper->wake();
}

void CModDelay::keepPages(const CDelayPageKeeper& keeper) {
    const double rate = keeper.sampleRate();
    if (rate <= 0) return;
    const size_t group = size_t(m_group);
    const size_t pageLength =
        CModDelayModule::pageLengthFor(keeper.read(m_slots[CModDelayModule::kBlockSize], group, 64.0));
    const long long delay =
        CModDelayModule::delayFor(keeper.read(m_slots[CModDelayModule::kTime], group, 0.0),
                                  keeper.read(m_slots[CModDelayModule::kSamples], group, 0.0),
                                  keeper.read(m_slots[CModDelayModule::kTimeMode], group, 0.0), rate);
    const size_t ring = (pageLength + size_t(std::max(delay, 0LL)) + CDSPModDelay::kMargin - 1) / pageLength;
    // What the rings hold stays while the group has channels: their delay
    // may have come from the host, which the parameters have not heard of.
    const size_t lines = keeper.lines(m_group);
    m_expectedPages = lines ? std::max(lines * ring, m_bank->inUse()) : 0;
    m_expectedLength = pageLength;
    m_lines = lines;
    m_rate = rate;
    serveBank();
}

void CModDelay::keepPagesWaiting() {
    if (m_bank->waiting()) serveBank();
}

void CModDelay::serveBank() {
    const size_t pageLength = m_expectedLength;
    if (!m_lines || !pageLength || m_rate <= 0) {
        m_bank->serve(m_expectedPages, pageLength);
        return;
    }
    // Each line may enter a new slot every page length, and once more at
    // once where a growing ring moves what its write page held a whole
    // ring back.
    const auto written = size_t(std::ceil(m_rate * CDelayPageKeeper::kAnswerMs / 1000.0 / double(pageLength)));
    const size_t longest = m_longestSpan.load(std::memory_order_relaxed);
    const size_t most = m_lines * ((pageLength + longest + CDSPModDelay::kMargin - 1) / pageLength);
    m_bank->serve(m_expectedPages, pageLength, m_lines * (written + 2), most);
}

std::unique_ptr<CAudioModule> CModDelay::createModule() const {
    auto module = std::make_unique<CModDelayModule>();
    module->setPool(m_ctx->pool());
    module->setPageBank(*m_bank);
    return module;
}

void CModDelay::processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel*, CAudioChannel& out,
                               size_t n) {
    // Without memory the channel carries no buffer rather than undelayed audio.
    out.buffer = m_ctx->newBuffer();
    if (!out.buffer) return;
    // Mostly the output lies in one page and is read from there: the
    // buffer is taken all the same, so that the pool's use stays the same
    // from block to block.
    // Host samples nothing has read yet go into the pages as they are.
    auto& delay = static_cast<CModDelayModule&>(module);
    if (const float* host = in.buffer.get()->hostSamples()) {
        if (const double* kept = delay.processKept(host, n))
            out.buffer.get()->borrow(kept);
        else
            delay.process(host, out.buffer.data(), n);
    } else if (const double* kept = delay.processKept(in.buffer.data(), n)) {
        out.buffer.get()->borrow(kept);
    } else {
        delay.process(in.buffer.data(), out.buffer.data(), n);
    }
}

}  // namespace zel
