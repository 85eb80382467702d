// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "Core/Error.h"

namespace zel {

// A worker thread whose body is the subclass's run(). The body watches the
// stop request (waitStop) and returns when it is set; an error it returns is
// shown to the user.
class CThread {
public:
    CThread() = default;
    // Stops and joins as a last resort; subclasses must call stopThread() in
    // their own destructor, before the members run() uses are gone.
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts run() on a new thread, with the highest priority the system
    // grants when `timeCritical` is set.
    CErrorPtr runThread(bool timeCritical = false);
    // Sets the stop request and waits for run() to return. From the thread
    // itself it only sets the request.
    void stopThread();

    bool isRunning() const { return m_running; }
    bool isTimeCritical() const { return m_timeCritical; }

protected:
    virtual CErrorPtr run() = 0;

    // Waits up to `ms` milliseconds for the stop request; true when stopping.
    bool waitStop(uint32_t ms);
    bool isStopRequested();

private:
    void threadProc();

    std::mutex m_lock;
    std::condition_variable m_stopEvent;
    bool m_stop = false;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_timeCritical{false};
};

}  // namespace zel
