// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "Audio/Engine/AudioProcess.h"
#include "Audio/Modules/DSPModDelay.h"

namespace zel {

class CDelayPageKeeper;

// One channel of a channel group's delay: turns a time in the chosen unit
// plus a number of samples into a delay in samples and runs the delay line,
// which cross-fades whenever that delay changes.
class CModDelayModule final : public CAudioModule {
public:
    enum ESlot { kTime, kSamples, kTransTime, kBlockSize, kTimeMode, kSlotCount };
    enum ETimeMode { kMsec, kMeter, kFoot };
    static constexpr double kMaxDelaySeconds = 12.0;
    static constexpr double kSoundMetersPerSecond = 340.29;
    static constexpr double kSoundFeetPerSecond = 1116.437;

    CModDelayModule() : CAudioModule(kSlotCount) {}

    // The pool for the delay line's pages; set before the first update.
    void setPool(CPoolAllocator& pool) { m_line.setPool(pool); }
    // The bank that the pages come from instead.
    void setPageBank(CDelayPageBank& bank) { m_line.setPageBank(bank); }
    // Off the audio thread, for the format to come: the ring for the
    // longest delay at `sampleRate`, with the page length group `group`
    // asks for.
    void prepareLine(double sampleRate, size_t group);
    // The longest span in samples the line reaches at `sampleRate`.
    size_t longestSpan(double sampleRate) const;

    // Page length for a `block-size` value.
    static size_t pageLengthFor(double blockSize);
    // The delay in samples for the plain values of `time`, `samples` and
    // `time-mode`, without the module's own latency.
    static long long delayFor(double time, double samples, double mode, double sampleRate);

    CErrorPtr init(const CAudioProcessDefBase& def) override;
    void reset() override;
    void update() override;
    // Doubles or host samples through the line.
    template <typename Sample>
    void process(const Sample* in, double* out, size_t n) {
        takeFillValue(in, n);
        m_line.process(in, out, n);
    }
    // The line's processKept(), the output left in its pages.
    template <typename Sample>
    const double* processKept(const Sample* in, size_t n) {
        takeFillValue(in, n);
        return m_line.processKept(in, n);
    }

    // Latency of the output in samples: the input's plus the module's own.
    long long latency() const override { return inputLatency + m_latency; }
    long long ownLatency(double sampleRate) const override;
    const CDSPModDelay& line() const { return m_line; }

private:
    double value(ESlot slot, double fallback) const;
    template <typename Sample>
    void takeFillValue(const Sample* in, size_t n) {
        // Unwritten history continues the signal instead of starting from
        // silence when the definition asks for it; a first sample that is
        // not a number would stay in every page allocated from then on.
        if (m_isCompInput && m_line.freshlyReset() && n) m_line.setFillValue(std::isfinite(in[0]) ? in[0] : 0.0);
    }
    void reconfigure();
    long long delaySamples() const;

    bool m_isLatencySeconds = false;
    bool m_isLatencyPositive = false;
    bool m_isCompInput = false;
    long long m_latencySamples = 0;
    double m_latencySeconds = 0.0;
    long long m_latency = 0;  // at the current sample rate
    CDSPModDelay m_line;
};

// The delay process of one channel group: a module per channel, each
// writing a fresh buffer. Its lines share one page bank, which the
// instance's keeper supplies, woken when the bank's reserve ran low; offline,
// the lines take what it lacks on the processing thread.
class CModDelay final : public CAudioModuleProcess {
public:
    CModDelay();

    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;
    void formatChanged() override;
    void setStackGroup(int group) override;
    void reset() override;
    void update() override;
    void process(size_t n) override;

    // Off the audio thread: hands the bank what the group's channels will
    // need at the instance's current values.
    void keepPages(const CDelayPageKeeper& keeper);
    // The same with what was worked out last, when the audio side waits.
    void keepPagesWaiting();
    const CDelayPageBank& pageBank() const { return *m_bank; }

protected:
    std::unique_ptr<CAudioModule> createModule() const override;
    void processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux, CAudioChannel& out,
                        size_t n) override;

private:
    // After the bank settled: the keeper hears when it waits.
    void wakeKeeper();
    // Hands the bank what was worked out last, with a reserve for what the
    // lines write before the keeper answers and what growing rings take at
    // once, no more than they can still take (none once every ring is as
    // long as it can get).
    void serveBank();

    std::unique_ptr<CDelayPageBank> m_bank;
    std::vector<CAudioParamSlot> m_slots;  // the modules' bindings, read by the keeper
    int m_group = 0;
    // The longest span of the lines at the current rate.
    std::atomic<size_t> m_longestSpan{0};
    // The keeper's last answer (its own, under its lock).
    size_t m_expectedPages = 0;
    size_t m_expectedLength = 0;
    size_t m_lines = 0;
    double m_rate = 0.0;
};

}  // namespace zel
