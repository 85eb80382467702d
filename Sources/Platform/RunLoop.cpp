// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace zel::platform {

namespace {

uint64_t nowMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::atomic<IRunLoop*> g_current{nullptr};

}  // namespace

CStandaloneRunLoop::CStandaloneRunLoop() {
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) m_wakeError = errno;
}

CStandaloneRunLoop::~CStandaloneRunLoop() {
    if (m_wakeFd >= 0) ::close(m_wakeFd);
}

int CStandaloneRunLoop::addTimer(uint32_t periodMs, CCallback callback, CTimerId& id) {
    // A zero period would spin; the system timers it stands in for have a
    // minimum too.
    const uint32_t period = std::max<uint32_t>(periodMs, 1);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        id = m_nextTimerId++;
        m_timers[id] = CTimer{period, nowMs() + period, std::make_shared<CCallback>(std::move(callback))};
    }
    // A loop that is waiting must learn about the earlier deadline.
    wake();
    return 0;
}

void CStandaloneRunLoop::removeTimer(CTimerId id) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_timers.erase(id);
}

int CStandaloneRunLoop::post(CCallback callback) {
    if (m_wakeFd < 0) return m_wakeError;
    std::lock_guard<std::mutex> lock(m_lock);
    const uint64_t one = 1;
    // EAGAIN means the counter is saturated: the loop is woken anyway.
    if (::write(m_wakeFd, &one, sizeof one) < 0 && errno != EAGAIN) return errno;
    m_posted.push_back(std::move(callback));
    return 0;
}

int CStandaloneRunLoop::addFdWatch(int fd, CCallback callback, CWatchId& id) {
    if (fd < 0) return EBADF;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        id = m_nextWatchId++;
        m_watches[id] = CWatch{fd, std::make_shared<CCallback>(std::move(callback))};
    }
    // A loop that is waiting must start polling the new descriptor.
    wake();
    return 0;
}

void CStandaloneRunLoop::removeFdWatch(CWatchId id) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_watches.erase(id);
}

size_t CStandaloneRunLoop::timerCount() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_timers.size();
}

size_t CStandaloneRunLoop::fdWatchCount() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_watches.size();
}

void CStandaloneRunLoop::runReadyWatches(const std::vector<std::pair<CWatchId, short>>& ready) {
    for (const auto& [id, events] : ready) {
        if (!(events & (POLLIN | POLLHUP | POLLERR))) continue;
        std::shared_ptr<CCallback> callback;
        {
            // An earlier callback may have removed this watch.
            std::lock_guard<std::mutex> lock(m_lock);
            auto it = m_watches.find(id);
            if (it == m_watches.end()) continue;
            callback = it->second.callback;
        }
        (*callback)();
    }
}

void CStandaloneRunLoop::wake() {
    if (m_wakeFd < 0) return;
    const uint64_t one = 1;
    // Fails only when the counter is saturated, i.e. a wake-up is pending.
    if (::write(m_wakeFd, &one, sizeof one) < 0) return;
}

void CStandaloneRunLoop::drainWake() {
    if (m_wakeFd < 0) return;
    uint64_t count;
    while (::read(m_wakeFd, &count, sizeof count) > 0) {}
}

void CStandaloneRunLoop::quit() {
    m_quit = true;
    wake();
}

void CStandaloneRunLoop::runPosted() {
    std::vector<CCallback> posted;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        posted.swap(m_posted);
    }
    for (CCallback& callback : posted) callback();
}

void CStandaloneRunLoop::runDueTimers() {
    const uint64_t now = nowMs();
    std::vector<std::pair<uint64_t, CTimerId>> due;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const auto& [id, timer] : m_timers)
            if (timer.dueMs <= now) due.emplace_back(timer.dueMs, id);
    }
    std::sort(due.begin(), due.end());
    for (const auto& entry : due) {
        std::shared_ptr<CCallback> callback;
        {
            // An earlier callback of this round may have removed the timer.
            std::lock_guard<std::mutex> lock(m_lock);
            auto it = m_timers.find(entry.second);
            if (it == m_timers.end()) continue;
            CTimer& timer = it->second;
            timer.dueMs += timer.periodMs;
            // A loop that fell behind skips the missed calls instead of
            // firing them in a burst.
            if (timer.dueMs <= now) timer.dueMs = now + timer.periodMs;
            callback = timer.callback;
        }
        (*callback)();
    }
}

uint64_t CStandaloneRunLoop::nextWaitMs(uint64_t limit) {
    const uint64_t now = nowMs();
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_posted.empty()) return 0;
    uint64_t wait = limit;
    for (const auto& entry : m_timers) {
        const uint64_t due = entry.second.dueMs;
        wait = std::min(wait, due > now ? due - now : 0);
    }
    return wait;
}

bool CStandaloneRunLoop::run(const std::function<bool()>* predicate, uint32_t timeoutMs) {
    const uint64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        if (predicate && (*predicate)()) return true;
        if (m_quit.exchange(false)) break;
        const uint64_t now = nowMs();
        if (now >= deadline) break;
        const uint64_t wait = nextWaitMs(deadline - now);
        std::vector<pollfd> fds;
        std::vector<CWatchId> ids;
        if (m_wakeFd >= 0) fds.push_back(pollfd{m_wakeFd, POLLIN, 0});
        {
            std::lock_guard<std::mutex> lock(m_lock);
            for (const auto& [id, watch] : m_watches) {
                fds.push_back(pollfd{watch.fd, POLLIN, 0});
                ids.push_back(id);
            }
        }
        // Descriptors are polled even when a timer is due, so that a busy
        // loop never starves them.
        ::poll(fds.data(), nfds_t(fds.size()), int(std::min<uint64_t>(wait, 1u << 30)));
        std::vector<std::pair<CWatchId, short>> ready;
        const size_t first = m_wakeFd >= 0 ? 1 : 0;
        for (size_t i = 0; i < ids.size(); ++i)
            if (fds[first + i].revents) ready.emplace_back(ids[i], fds[first + i].revents);
        drainWake();
        runReadyWatches(ready);
        runPosted();
        runDueTimers();
    }
    return predicate && (*predicate)();
}

void CStandaloneRunLoop::runFor(uint32_t ms) { run(nullptr, ms); }

bool CStandaloneRunLoop::runUntil(const std::function<bool()>& predicate, uint32_t timeoutMs) {
    return run(&predicate, timeoutMs);
}

CStandaloneRunLoop& standaloneRunLoop() {
    // Never destroyed: timers of objects released during process exit may
    // still call into it.
    static CStandaloneRunLoop* loop = new CStandaloneRunLoop();
    return *loop;
}

void setRunLoop(IRunLoop* loop) { g_current = loop; }

IRunLoop& runLoop() {
    if (IRunLoop* loop = g_current.load()) return *loop;
    return standaloneRunLoop();
}

}  // namespace zel::platform
