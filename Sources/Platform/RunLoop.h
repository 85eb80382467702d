// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace zel::platform {

// Where timers fire and posted work runs: always on the thread that runs the
// loop (in a plug-in, the host's user-interface thread).
class IRunLoop {
public:
    using CCallback = std::function<void()>;
    using CTimerId = uint64_t;
    using CWatchId = uint64_t;

    virtual ~IRunLoop() = default;

    // Calls `callback` every `periodMs` milliseconds until the timer is
    // removed. Returns 0 or the system error code; ids are never 0.
    virtual int addTimer(uint32_t periodMs, CCallback callback, CTimerId& id) = 0;
    // No call of the timer starts after this; unknown ids are ignored.
    virtual void removeTimer(CTimerId id) = 0;
    // Runs `callback` once, soon; callable from any thread. Returns 0 or the
    // system error code.
    virtual int post(CCallback callback) = 0;
    // Calls `callback` whenever `fd` is readable (or hung up) until the watch
    // is removed. Returns 0 or the system error code; ids are never 0.
    virtual int addFdWatch(int fd, CCallback callback, CWatchId& id) = 0;
    // No call of the watch starts after this; unknown ids are ignored.
    virtual void removeFdWatch(CWatchId id) = 0;
};

// A loop of our own for programs and tests, and for hosts that offer none.
// It runs only while a thread is inside runFor or runUntil.
class CStandaloneRunLoop final : public IRunLoop {
public:
    CStandaloneRunLoop();
    ~CStandaloneRunLoop() override;
    CStandaloneRunLoop(const CStandaloneRunLoop&) = delete;
    CStandaloneRunLoop& operator=(const CStandaloneRunLoop&) = delete;

    int addTimer(uint32_t periodMs, CCallback callback, CTimerId& id) override;
    void removeTimer(CTimerId id) override;
    int post(CCallback callback) override;
    int addFdWatch(int fd, CCallback callback, CWatchId& id) override;
    void removeFdWatch(CWatchId id) override;
    size_t timerCount();
    size_t fdWatchCount();

    // Dispatches timers and posted callbacks for `ms` milliseconds, or until
    // quit() is called.
    void runFor(uint32_t ms);
    // Dispatches until `predicate` holds (checked after each round of
    // callbacks), `timeoutMs` have passed or quit() is called; returns the
    // predicate's last value.
    bool runUntil(const std::function<bool()>& predicate, uint32_t timeoutMs);
    // Ends the current run, or the next one if none is running; callable
    // from any thread.
    void quit();

private:
    struct CTimer {
        uint32_t periodMs;
        uint64_t dueMs;
        std::shared_ptr<CCallback> callback;
    };

    bool run(const std::function<bool()>* predicate, uint32_t timeoutMs);
    void wake();
    void drainWake();
    void runPosted();
    void runDueTimers();
    void runReadyWatches(const std::vector<std::pair<CWatchId, short>>& ready);
    // Milliseconds until the next timer is due, at most `limit`.
    uint64_t nextWaitMs(uint64_t limit);

    std::mutex m_lock;
    std::vector<CCallback> m_posted;
    std::map<CTimerId, CTimer> m_timers;
    CTimerId m_nextTimerId = 1;
    struct CWatch {
        int fd;
        std::shared_ptr<CCallback> callback;
    };
    std::map<CWatchId, CWatch> m_watches;
    CWatchId m_nextWatchId = 1;
    std::atomic<bool> m_quit{false};
    int m_wakeFd = -1;
    int m_wakeError = 0;
};

// The loop that framework timers and posts use from now on; null goes back
// to the standalone default. Set it before any timer starts.
void setRunLoop(IRunLoop* loop);
IRunLoop& runLoop();
// The default loop, created on first use.
CStandaloneRunLoop& standaloneRunLoop();

}  // namespace zel::platform
