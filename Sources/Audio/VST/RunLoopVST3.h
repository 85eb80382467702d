// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>

#include "Platform/PostQueue.h"
#include "Platform/RunLoop.h"
#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"

namespace zel {

// The editor's loop inside a host: timers and descriptors go to the host's
// Linux run loop, so that they run on its user-interface thread. Each editor
// has its own, also when two editors share the host's loop, and it
// unregisters everything it registered when it goes.
class CRunLoopVST3 final : public platform::IRunLoop {
public:
    // What addTimer and addFdWatch return when the host refuses.
    static constexpr int kHostRefused = -1;

    // Null when the frame offers no run loop.
    static std::unique_ptr<CRunLoopVST3> fromFrame(Steinberg::IPlugFrame* frame);
    explicit CRunLoopVST3(Steinberg::Linux::IRunLoop* host);
    ~CRunLoopVST3() override;
    CRunLoopVST3(const CRunLoopVST3&) = delete;
    CRunLoopVST3& operator=(const CRunLoopVST3&) = delete;

    int addTimer(uint32_t periodMs, CCallback callback, CTimerId& id) override;
    void removeTimer(CTimerId id) override;
    int post(CCallback callback) override;
    int addFdWatch(int fd, CCallback callback, CWatchId& id) override;
    void removeFdWatch(CWatchId id) override;

    size_t timerCount() const { return m_timers.size(); }
    size_t fdWatchCount() const { return m_watches.size(); }

    class CHandler;

private:
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> m_host;
    std::map<CTimerId, Steinberg::IPtr<CHandler>> m_timers;
    std::map<CWatchId, Steinberg::IPtr<CHandler>> m_watches;
    uint64_t m_nextId = 1;
    platform::CPostQueue m_posted;
    // The post queue's descriptor handler.
    Steinberg::IPtr<CHandler> m_postHandler;
};

}  // namespace zel
