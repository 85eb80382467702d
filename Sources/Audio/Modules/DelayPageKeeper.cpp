// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/DelayPageKeeper.h"

#include "Audio/Modules/ModDelay.h"

namespace zel {

CDelayPageKeeper::~CDelayPageKeeper() { stop(); }

void CDelayPageKeeper::add(CModDelay& process) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_processes.push_back(&process);
}

void CDelayPageKeeper::setSources(CReader reader, CLineCounter lines) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_reader = std::move(reader);
    m_lines = std::move(lines);
}

void CDelayPageKeeper::clear() {
    stop();
    std::lock_guard<std::mutex> lock(m_lock);
    m_processes.clear();
    m_reader = nullptr;
    m_lines = nullptr;
}

void CDelayPageKeeper::serve() {
    std::lock_guard<std::mutex> lock(m_lock);
    for (CModDelay* process : m_processes) process->keepPages(*this);
}

void CDelayPageKeeper::start() {
    if (isRunning()) return;
    m_stopping = false;
    runThread();
}

void CDelayPageKeeper::stop() {
    // The request is there before the post that wakes the thread to see it.
    m_stopping = true;
    if (isRunning()) m_wakeUp.post();
    stopThread();
}

void CDelayPageKeeper::wake() {
    if (!m_woken.exchange(true, std::memory_order_acq_rel)) m_wakeUp.post();
}

void CDelayPageKeeper::serveWaiting() {
    std::lock_guard<std::mutex> lock(m_lock);
    for (CModDelay* process : m_processes) process->keepPagesWaiting();
}

CErrorPtr CDelayPageKeeper::run() {
    for (;;) {
        const bool woken = m_wakeUp.wait(kQuietMs);
        if (m_stopping) break;
        m_wakes.fetch_add(1, std::memory_order_relaxed);
        // Cleared first: what the audio side asks during the round wakes
        // the thread again.
        m_woken.store(false, std::memory_order_release);
        if (woken)
            serveWaiting();
        else
            serve();
        m_served.fetch_add(1, std::memory_order_release);
    }
    return nullptr;
}

double CDelayPageKeeper::read(const CAudioParamSlot& slot, size_t group, double fallback) const {
    return m_reader ? m_reader(slot, group, fallback) : fallback;
}

size_t CDelayPageKeeper::lines(int group) const { return m_lines ? m_lines(group) : 0; }

}  // namespace zel
