// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "Core/Thread.h"
#include "Platform/Semaphore.h"

namespace zel {

class CAudioParamSlot;
class CModDelay;

// Supplies the page banks of an instance's delay processes, never on the
// audio thread: at once when parameters are about to reach the audio thread
// (their values say what the lines will need), and from a thread of its own
// that sleeps until the audio side wakes it (to top up the reserve that
// lines growing under host automation took from, and to take back what the
// lines gave up). Offline, the processing thread takes what it needs
// itself.
class CDelayPageKeeper final : private CThread {
public:
    // The current value of a slot's parameter for a group, as the instance
    // holds it (the audio thread's copies are not for other threads).
    using CReader = std::function<double(const CAudioParamSlot& slot, size_t group, double fallback)>;
    // How many channels a channel group can have now.
    using CLineCounter = std::function<size_t(int group)>;

    // The thread serves the banks the audio side waits on whenever it is
    // woken, and every bank from the parameters when it has slept this
    // long: values the parameters took over from the audio thread may
    // leave pages to take back.
    static constexpr uint32_t kQuietMs = 1000;
    // The thread is taken to answer a wake-up within this: each bank keeps
    // spare pages for what its lines write in that time, and what a ring
    // that grows needs at once.
    static constexpr uint32_t kAnswerMs = 100;

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
    // The thread that serves when woken; start() once the format is known.
    void start();
    // The audio side, wait-free: a bank waits to be served.
    void wake();
    // The times the thread woke up so far.
    size_t wakes() const { return m_wakes.load(std::memory_order_relaxed); }
    // Neither woken nor serving: what the audio side asked so far has been
    // answered.
    bool idle() const {
        return !m_woken.load(std::memory_order_acquire) &&
               m_served.load(std::memory_order_acquire) == m_wakes.load(std::memory_order_acquire);
    }
    // Offline rendering: the processing thread may wait, so the lines take
    // the pages they need on it, at once (any thread; read on the audio
    // thread).
    void setOffline(bool offline) { m_offline.store(offline, std::memory_order_relaxed); }
    bool offline() const { return m_offline.load(std::memory_order_relaxed); }
    // The rate the lines run at (the engine's format, for this thread).
    void setSampleRate(double rate) { m_sampleRate.store(rate, std::memory_order_relaxed); }
    double sampleRate() const { return m_sampleRate.load(std::memory_order_relaxed); }

    double read(const CAudioParamSlot& slot, size_t group, double fallback) const;
    size_t lines(int group) const;

private:
    CErrorPtr run() override;
    void stop();

    std::mutex m_lock;  // one serving thread at a time
    std::vector<CModDelay*> m_processes;
    CReader m_reader;
    CLineCounter m_lines;
    std::atomic<double> m_sampleRate{0.0};
    std::atomic<bool> m_offline{false};
    platform::CSemaphore m_wakeUp;
    std::atomic<bool> m_woken{false};  // posted and not yet served
    std::atomic<bool> m_stopping{false};
    std::atomic<size_t> m_wakes{0};
    std::atomic<size_t> m_served{0};  // rounds of the thread finished
};

}  // namespace zel
