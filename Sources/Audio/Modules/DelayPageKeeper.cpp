// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/DelayPageKeeper.h"

#include "Audio/Modules/ModDelay.h"

namespace zel {

CDelayPageKeeper::~CDelayPageKeeper() { stopThread(); }

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
    stopThread();
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
    if (!isRunning()) runThread();
}

void CDelayPageKeeper::serveWaiting() {
    std::lock_guard<std::mutex> lock(m_lock);
    for (CModDelay* process : m_processes) process->keepPagesWaiting();
}

CErrorPtr CDelayPageKeeper::run() {
    for (unsigned round = 1; !waitStop(kPeriodMs); ++round) {
        if (round % kFullRounds)
            serveWaiting();
        else
            serve();
    }
    return nullptr;
}

double CDelayPageKeeper::read(const CAudioParamSlot& slot, size_t group, double fallback) const {
    return m_reader ? m_reader(slot, group, fallback) : fallback;
}

size_t CDelayPageKeeper::lines(int group) const { return m_lines ? m_lines(group) : 0; }

}  // namespace zel
