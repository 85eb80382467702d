// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/UpdateTimer.h"

#include <algorithm>
#include <cmath>

#include "Core/Timer.h"
#include "Platform/Clock.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "UpdateTimer"

namespace zel {

// ---------------------------------------------------------------- group

CUpdateTimerGroup::~CUpdateTimerGroup() {
    for (CUpdateTimer* timer : m_timers) timer->groupReleased();
}

void CUpdateTimerGroup::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("system-timer-tick", &CUpdateTimerGroup::onSystemTick);
}

CErrorPtr CUpdateTimerGroup::init() {
    ZEL_TRY(CObject::init());
    if (m_system) return nullptr;
    ZEL_TRY(createChild(getAttr("timer-tag").empty() ? CString("core:timer") : getAttr("timer-tag"), "system-timer",
                        m_system));
    ZEL_TRY(m_system->init());
    ZEL_TRY(listenObject(m_system, "tick", "system-timer-tick"));
    ZEL_TRY(restartSystemTimer());
    return nullptr;
}

void CUpdateTimerGroup::registerTimer(CUpdateTimer& timer) {
    if (std::find(m_timers.begin(), m_timers.end(), &timer) != m_timers.end()) return;
    // After the timers of the same order: equal orders tick as registered.
    auto at = std::upper_bound(m_timers.begin(), m_timers.end(), &timer,
                               [](const CUpdateTimer* a, const CUpdateTimer* b) { return a->order() < b->order(); });
    m_timers.insert(at, &timer);
}

void CUpdateTimerGroup::unregisterTimer(CUpdateTimer& timer) {
    m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), &timer), m_timers.end());
}

CErrorPtr CUpdateTimerGroup::timerChanged() {
    // Keeps the order when a timer's `order-asc` changed.
    std::stable_sort(m_timers.begin(), m_timers.end(),
                     [](const CUpdateTimer* a, const CUpdateTimer* b) { return a->order() < b->order(); });
    ZEL_TRY(restartSystemTimer());
    return nullptr;
}

CErrorPtr CUpdateTimerGroup::restartSystemTimer() {
    uint32_t period = 0;
    long long interval = 0;
    if (readInt("interval", interval) && interval > 0) {
        period = uint32_t(interval);
    } else {
        for (const CUpdateTimer* timer : m_timers)
            if (timer->isRunning()) period = period ? std::min(period, timer->periodMs()) : timer->periodMs();
    }
    if (period == m_systemPeriodMs || !m_system) return nullptr;
    m_systemPeriodMs = period;
    // The system timer's own interval is in seconds; 0 stops it.
    ZEL_TRY(m_system->setAttr("interval", toText(period / 1000.0)));
    return nullptr;
}

CErrorPtr CUpdateTimerGroup::tickAt(double nowMs) {
    m_tickTimeMs = nowMs;
    // A timer that a tick releases or stops must not be touched again, one
    // registered meanwhile waits for the next tick.
    const std::vector<CUpdateTimer*> snapshot = m_timers;
    // The system timer runs late or early by a fraction of its period; a
    // timer due within half of it ticks now rather than a period later.
    const double slack = m_systemPeriodMs / 2.0;
    for (CUpdateTimer* timer : snapshot) {
        if (std::find(m_timers.begin(), m_timers.end(), timer) == m_timers.end()) continue;
        if (!timer->isDue(nowMs, slack)) continue;
        ZEL_TRY(timer->tick(nowMs));
    }
    return nullptr;
}

CErrorPtr CUpdateTimerGroup::onSystemTick(CObject*, CObject*) {
    ZEL_TRY(tickAt(platform::secondsSinceStart() * 1000.0));
    return nullptr;
}

// ---------------------------------------------------------------- update timer

CUpdateTimer::~CUpdateTimer() { stop(); }

void CUpdateTimer::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onAttr("fps", &CUpdateTimer::onRate);
    info.onAttr("interval", &CUpdateTimer::onRate);
    info.onAttr("order-asc", &CUpdateTimer::onOrder);
}

uint32_t CUpdateTimer::periodFromFps(double fps) {
    if (!(fps >= 0.001)) fps = 0.001;
    if (fps > 1000) fps = 1000;
    return uint32_t(std::lround(1000.0 / fps));
}

CErrorPtr CUpdateTimer::readRate() {
    double fps = 0;
    long long interval = 0;
    if (readReal("fps", fps))
        m_periodMs = periodFromFps(fps);
    else if (readInt("interval", interval) && interval > 0)
        m_periodMs = uint32_t(std::min<long long>(interval, 1000000));
    return nullptr;
}

CErrorPtr CUpdateTimer::onRate() {
    ZEL_TRY(readRate());
    if (m_group && m_running) ZEL_TRY(m_group->timerChanged());
    return nullptr;
}

CErrorPtr CUpdateTimer::onOrder() {
    m_order = int(getInt("order-asc", 0));
    if (m_group) ZEL_TRY(m_group->timerChanged());
    return nullptr;
}

CErrorPtr CUpdateTimer::init() {
    ZEL_TRY(CObject::init());
    m_order = int(getInt("order-asc", 0));
    ZEL_TRY(readRate());
    return nullptr;
}

CErrorPtr CUpdateTimer::start() {
    if (!m_group) {
        CWindowSharedData* shared = nullptr;
        ZEL_TRY(findObjectChecked("ui.window-shared-data", shared));
        ZEL_TRY(shared->updateTimerGroup(m_group));
    }
    m_nextDueMs = platform::secondsSinceStart() * 1000.0 + m_periodMs;
    m_running = true;
    m_group->registerTimer(*this);
    ZEL_TRY(m_group->timerChanged());
    return nullptr;
}

void CUpdateTimer::stop() {
    if (!m_group) return;
    m_running = false;
    m_group->unregisterTimer(*this);
    // Slows the system timer down when this was the fastest; a failure only
    // keeps it faster than needed.
    (void)m_group->timerChanged();
    // The group knows only running timers: one that is stopped may outlive
    // it, so it keeps no pointer to it and looks it up again at its start.
    m_group = nullptr;
}

CErrorPtr CUpdateTimer::tick(double nowMs) {
    m_nextDueMs += m_periodMs;
    // A loop that fell behind skips the missed frames.
    if (m_nextDueMs <= nowMs) m_nextDueMs = nowMs + m_periodMs;
    CObject* owner = parent();
    if (owner && owner->hasEventHandler("tick")) ZEL_TRY(owner->runEvent("tick", nullptr, this));
    return nullptr;
}

// ---------------------------------------------------------------- interval timer

void CIntervalTimer::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("tick", &CIntervalTimer::onTick);
}

CErrorPtr CIntervalTimer::init() {
    ZEL_TRY(CObject::init());
    const CString path = hasAttr("update-timer") ? getAttr("update-timer") : CString(".update-timer");
    if (CObject* found = findObject(path)) m_updateTimer = dynamic_cast<CUpdateTimer*>(found);
    if (!m_updateTimer) {
        ZEL_TRY(createChild("ui:update-timer", "update-timer", m_updateTimer));
        ZEL_TRY(m_updateTimer->init());
    }
    return nullptr;
}

CErrorPtr CIntervalTimer::start() {
    if (!m_updateTimer) return ZEL_ERROR("@zelstr_CIntervalTimer_start Interval timer is not initialized.");
    m_lastSeconds = platform::secondsSinceStart();
    ZEL_TRY(m_updateTimer->start());
    return nullptr;
}

void CIntervalTimer::stop() {
    if (m_updateTimer) m_updateTimer->stop();
}

CErrorPtr CIntervalTimer::onTick(CObject*, CObject* sender) {
    if (sender != m_updateTimer) return nullptr;
    // The clock of the tick under way, so that one tick sees one time.
    CUpdateTimerGroup* group = nullptr;
    CWindowSharedData* shared = dynamic_cast<CWindowSharedData*>(findObject("ui.window-shared-data"));
    if (shared) group = shared->existingGroup();
    const double now = group ? group->tickTimeMs() / 1000.0 : platform::secondsSinceStart();
    // A tick that lands on the interval to the last bit counts.
    if (now - m_lastSeconds < getReal("interval", 1.0) - 1e-9) return nullptr;
    m_lastSeconds = now;
    CObject* owner = parent();
    if (owner && owner->hasEventHandler("tick")) ZEL_TRY(owner->runEvent("tick", nullptr, this));
    return nullptr;
}

}  // namespace zel
