// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Timer.h"

#include <cmath>
#include <map>
#include <mutex>

#include "Core/Notify.h"
#include "Core/Singleton.h"

#define ZEL_SOURCE_TAG "Timer"

namespace zel {

namespace {

// Timer callbacks find their object here, so that a call that was already
// under way when the timer stopped finds nothing instead of a released
// object. Keys are our own: ids of different run loops may repeat.
struct CTimerMap {
    std::mutex lock;
    std::map<uint64_t, CTimer*> timers;
    uint64_t nextKey = 1;
};

CTimerMap& timerMap() {
    return moduleSingleton<CTimerMap>([] { return new CTimerMap(); });
}

}  // namespace

platform::IRunLoop& runLoopOf(CObject& object) {
    for (CObject* o = &object; o; o = o->parent())
        if (auto* owner = dynamic_cast<IRunLoopOwner*>(o)) return owner->ownRunLoop();
    return platform::runLoop();
}

CTimer::~CTimer() { stopTimer(); }

void CTimer::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onAttr("interval", &CTimer::onInterval);
    info.onAttr("fps", &CTimer::onFps);
    info.onEvent("tick", &CTimer::onTick);
}

uint32_t CTimer::periodFromInterval(double seconds) {
    if (!(seconds > 0)) return 0;
    const double ms = std::round(seconds * 1000.0);
    if (ms >= double(UINT32_MAX)) return UINT32_MAX;
    return ms < 1 ? 1 : uint32_t(ms);
}

CErrorPtr CTimer::onInterval() {
    ZEL_TRY(initTimer());
    return nullptr;
}

CErrorPtr CTimer::onFps() {
    double fps = 0;
    // Anything but a positive rate (the templates declare `fps` empty)
    // leaves `interval` as it is.
    if (!readReal("fps", fps) || !(fps > 0)) return nullptr;
    ZEL_TRY(setAttr("interval", toText(1.0 / fps)));
    return nullptr;
}

CErrorPtr CTimer::initTimer() {
    stopTimer();
    const uint32_t period = periodFromInterval(getReal("interval", 0.0));
    if (period == 0) return nullptr;
    CTimerMap& map = timerMap();
    uint64_t key;
    {
        std::lock_guard<std::mutex> lock(map.lock);
        key = map.nextKey++;
        map.timers[key] = this;
    }
    platform::IRunLoop& loop = runLoopOf(*this);
    platform::IRunLoop::CTimerId id = 0;
    if (const int error = loop.addTimer(
            period, [key] { fire(key); }, id)) {
        std::lock_guard<std::mutex> lock(map.lock);
        map.timers.erase(key);
        return ZEL_ERROR("@zelstr_CTimer_initTimer_createTimer Timer creation error %1.", error);
    }
    m_key = key;
    m_loop = &loop;
    m_loopTimer = id;
    m_periodMs = period;
    return nullptr;
}

void CTimer::stopTimer() {
    if (m_key == 0) return;
    m_loop->removeTimer(m_loopTimer);
    {
        CTimerMap& map = timerMap();
        std::lock_guard<std::mutex> lock(map.lock);
        map.timers.erase(m_key);
    }
    m_key = 0;
    m_loop = nullptr;
    m_loopTimer = 0;
    m_periodMs = 0;
}

void CTimer::fire(uint64_t key) {
    CTimer* timer;
    {
        CTimerMap& map = timerMap();
        std::lock_guard<std::mutex> lock(map.lock);
        auto it = map.timers.find(key);
        if (it == map.timers.end()) return;
        timer = it->second;
    }
    CErrorPtr err = timer->runEvent("tick");
    if (!err) return;
    {
        // The tick may have released its own timer.
        CTimerMap& map = timerMap();
        std::lock_guard<std::mutex> lock(map.lock);
        if (!map.timers.count(key)) timer = nullptr;
    }
    // One report, not one per period.
    if (timer) timer->stopTimer();
    CSystem::showError(*err);
}

CErrorPtr CTimer::onTick(CObject*, CObject*) {
    ZEL_TRY(CNotifyServer::instance().notify(this, "tick"));
    return nullptr;
}

}  // namespace zel
