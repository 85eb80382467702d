// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "Core/Object.h"

namespace zel {

class CTimer;
class CUpdateTimer;

// `ui:update-timer-group`: one system timer (`system-timer`) drives every
// update timer of an editor. On each system tick the due timers tick in
// ascending `order-asc`, so state updates (order 0) come before the render
// timer (order 1000) of the same tick.
class CUpdateTimerGroup : public CObject {
public:
    ~CUpdateTimerGroup() override;
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    void registerTimer(CUpdateTimer& timer);
    void unregisterTimer(CUpdateTimer& timer);
    // The period changed: the system timer may have to run faster.
    CErrorPtr timerChanged();
    // One system tick at `nowMs` (tests drive it with their own clock).
    CErrorPtr tickAt(double nowMs);
    // The time of the tick under way, in milliseconds of the process clock.
    double tickTimeMs() const { return m_tickTimeMs; }
    // The system timer's period: the group's `interval` when set, else the
    // shortest period of its timers; 0 while stopped.
    uint32_t systemPeriodMs() const { return m_systemPeriodMs; }
    size_t timerCount() const { return m_timers.size(); }

private:
    CErrorPtr onSystemTick(CObject* params, CObject* sender);
    CErrorPtr restartSystemTimer();

    CTimer* m_system = nullptr;
    std::vector<CUpdateTimer*> m_timers;
    uint32_t m_systemPeriodMs = 0;
    double m_tickTimeMs = 0;
};

// `ui:update-timer`: sends "tick" to its owner (its parent) at its own rate,
// `fps` frames per second or every `interval` milliseconds.
class CUpdateTimer : public CObject {
public:
    ~CUpdateTimer() override;
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // 1000 / rate rounded half away from zero, the rate clamped to
    // [0.001, 1000] frames per second.
    static uint32_t periodFromFps(double fps);

    CErrorPtr start();
    void stop();
    bool isRunning() const { return m_running; }
    uint32_t periodMs() const { return m_periodMs; }
    int order() const { return m_order; }

    // Called by the group; true when the timer was due and ticked.
    bool isDue(double nowMs, double slackMs) const { return m_running && nowMs + slackMs >= m_nextDueMs; }
    CErrorPtr tick(double nowMs);
    void groupReleased() {
        m_group = nullptr;
        m_running = false;
    }

private:
    CErrorPtr onRate();
    CErrorPtr onOrder();
    CErrorPtr readRate();

    CUpdateTimerGroup* m_group = nullptr;
    uint32_t m_periodMs = 25;
    int m_order = 0;
    bool m_running = false;
    double m_nextDueMs = 0;
};

// `ui:interval-timer`: sends "tick" to its owner at most once per `interval`
// seconds, driven by its child update timer (`update-timer`).
class CIntervalTimer : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    CErrorPtr start();
    void stop();
    CUpdateTimer* updateTimer() const { return m_updateTimer; }

private:
    CErrorPtr onTick(CObject* params, CObject* sender);

    CUpdateTimer* m_updateTimer = nullptr;
    double m_lastSeconds = 0;
};

}  // namespace zel
