// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "Core/Object.h"
#include "Platform/RunLoop.h"

namespace zel {

// An object whose subtree runs on a loop of its own (an editor runs on its
// host's loop). Timers and windows below it use that loop.
class IRunLoopOwner {
public:
    virtual ~IRunLoopOwner() = default;
    virtual platform::IRunLoop& ownRunLoop() = 0;
};

// The loop of the nearest owner above or at `object`, else the process's.
platform::IRunLoop& runLoopOf(CObject& object);

// `core:timer`: runs its "tick" event every `interval` seconds on the
// run-loop thread. Setting `fps` above 0 sets `interval` to 1/`fps`; an
// `interval` of 0 or below stops the timer. The plain class's "tick" tells
// the objects that listen to the timer's "tick"; subclasses register their
// own.
class CTimer : public CObject {
public:
    CTimer() = default;
    ~CTimer() override;

    static void setupClass(CClassInfo& info);

    // (Re)starts the system timer from `interval`; stops it when the interval
    // is not above 0.
    CErrorPtr initTimer();
    void stopTimer();
    bool isTimerRunning() const { return m_key != 0; }
    uint32_t periodMs() const { return m_periodMs; }

    // `seconds` × 1000 rounded half away from zero, at least 1 ms; 0 when
    // `seconds` is not above 0.
    static uint32_t periodFromInterval(double seconds);

private:
    CErrorPtr onInterval();
    CErrorPtr onFps();
    CErrorPtr onTick(CObject* params, CObject* sender);
    static void fire(uint64_t key);

    // Key in the process-wide timer map; 0 while stopped.
    uint64_t m_key = 0;
    platform::IRunLoop* m_loop = nullptr;
    platform::IRunLoop::CTimerId m_loopTimer = 0;
    uint32_t m_periodMs = 0;
};

}  // namespace zel
