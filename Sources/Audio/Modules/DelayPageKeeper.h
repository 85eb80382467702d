// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "Core/Thread.h"

namespace zel {

class CAudioParamSlot;
class CModDelay;

// Supplies the page banks of an instance's delay processes, never on the
// audio thread: at once when parameters are about to reach the audio thread
// (their values say what the lines will need) and every few milliseconds
// from a thread of its own (for what host automation asked of the audio
// thread directly, and to take back what the lines gave up).
class CDelayPageKeeper final : private CThread {
public:
    // The current value of a slot's parameter for a group, as the instance
    // holds it (the audio thread's copies are not for other threads).
    using CReader = std::function<double(const CAudioParamSlot& slot, size_t group, double fallback)>;
    // How many channels a channel group can have now.
    using CLineCounter = std::function<size_t(int group)>;

    // The thread's round: banks the audio side is waiting on are served
    // every kPeriodMs, every bank from the parameters every kFullRounds.
    static constexpr uint32_t kPeriodMs = 10;
    static constexpr unsigned kFullRounds = 50;

    CDelayPageKeeper() = default;
    ~CDelayPageKeeper() override;

    // While the graph is built.
    void add(CModDelay& process);
    void setSources(CReader reader, CLineCounter lines);
    // Stops the thread and forgets the processes, before they go.
    void clear();

    // Serves every bank now, on the calling thread.
    void serve();
    // Serves the banks the audio side is waiting on, with what was worked
    // out for them last.
    void serveWaiting();
    // The thread that serves regularly; start() once the format is known.
    void start();
    // The rate the lines run at (the engine's format, for this thread).
    void setSampleRate(double rate) { m_sampleRate.store(rate, std::memory_order_relaxed); }
    double sampleRate() const { return m_sampleRate.load(std::memory_order_relaxed); }

    double read(const CAudioParamSlot& slot, size_t group, double fallback) const;
    size_t lines(int group) const;

private:
    CErrorPtr run() override;

    std::mutex m_lock;  // one serving thread at a time
    std::vector<CModDelay*> m_processes;
    CReader m_reader;
    CLineCounter m_lines;
    std::atomic<double> m_sampleRate{0.0};
};

}  // namespace zel
