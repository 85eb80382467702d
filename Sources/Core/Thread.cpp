// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Thread.h"

#include <chrono>
#include <system_error>

#include "Core/Notify.h"
#include "Platform/Thread.h"

#define ZEL_SOURCE_TAG "Thread"

namespace zel {

CThread::~CThread() { stopThread(); }

CErrorPtr CThread::runThread(bool timeCritical) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_running) return ZEL_ERROR("@zelstr_CThread_runThread_AlreadyRunning Thread is already running.");
    // A body that ended on its own still holds its handle.
    if (m_thread.joinable()) m_thread.join();
    m_stop = false;
    m_timeCritical = timeCritical;
    m_running = true;
    try {
        m_thread = std::thread(&CThread::threadProc, this);
    } catch (const std::system_error& e) {
        m_running = false;
        return ZEL_ERROR("@zelstr_CThread_runThread_createThreadError Thread creation error %1.", e.code().value());
    }
    return nullptr;
}

void CThread::stopThread() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
        m_stopEvent.notify_all();
        if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id()) return;
        thread = std::move(m_thread);
    }
    thread.join();
}

bool CThread::waitStop(uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_stopEvent.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
}

bool CThread::isStopRequested() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_stop;
}

void CThread::threadProc() {
    // Failure leaves the normal priority, which still works, only with less
    // margin against drop-outs.
    if (m_timeCritical) platform::raiseCurrentThreadToTimeCritical();
    if (CErrorPtr err = run()) CSystem::showError(*err);
    m_running = false;
}

}  // namespace zel
