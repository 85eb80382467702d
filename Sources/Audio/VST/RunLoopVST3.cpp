// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VST/RunLoopVST3.h"

#include <atomic>
#include <cstring>

namespace zel {

using namespace Steinberg;

namespace {
// Bytewise: a host's interface id need not be aligned.
bool sameId(const TUID a, const FUID& b) { return std::memcmp(a, b.toTUID(), sizeof(TUID)) == 0; }
}  // namespace

// One timer or descriptor handler as the host sees it. The host and this
// loop each hold a reference, so a handler removed inside its own callback
// lives until the callback returns; once removed it calls nothing.
class CRunLoopVST3::CHandler final : public Linux::ITimerHandler, public Linux::IEventHandler {
public:
    explicit CHandler(IRunLoop::CCallback callback) : m_callback(std::move(callback)) {}

    void cancel() { m_active = false; }

    void PLUGIN_API onTimer() override { call(); }
    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override { call(); }

    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (sameId(iid, Linux::ITimerHandler::iid)) {
            addRef();
            *obj = static_cast<Linux::ITimerHandler*>(this);
            return kResultOk;
        }
        if (sameId(iid, Linux::IEventHandler::iid)) {
            addRef();
            *obj = static_cast<Linux::IEventHandler*>(this);
            return kResultOk;
        }
        if (sameId(iid, FUnknown::iid)) {
            addRef();
            *obj = static_cast<FUnknown*>(static_cast<Linux::ITimerHandler*>(this));
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++m_refs; }
    uint32 PLUGIN_API release() override {
        const uint32 left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

private:
    void call() {
        if (!m_active) return;
        IPtr<CHandler> keep(this);
        m_callback();
    }

    IRunLoop::CCallback m_callback;
    bool m_active = true;
    std::atomic<uint32> m_refs{1};
};

std::unique_ptr<CRunLoopVST3> CRunLoopVST3::fromFrame(IPlugFrame* frame) {
    if (!frame) return nullptr;
    Linux::IRunLoop* host = nullptr;
    if (frame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&host)) != kResultOk || !host)
        return nullptr;
    auto loop = std::make_unique<CRunLoopVST3>(host);
    // The loop holds its own reference now.
    host->release();
    return loop;
}

CRunLoopVST3::CRunLoopVST3(Linux::IRunLoop* host) : m_host(host) {
    // Registered at once, on the loop's thread: posts may come from any
    // thread later, host calls may not.
    if (m_posted.fd() < 0) return;
    IPtr<CHandler> handler(new CHandler([this] { m_posted.runPosted(); }), false);
    if (m_host->registerEventHandler(handler, m_posted.fd()) == kResultOk) m_postHandler = handler;
}

CRunLoopVST3::~CRunLoopVST3() {
    for (auto& [id, handler] : m_timers) {
        handler->cancel();
        m_host->unregisterTimer(handler);
    }
    for (auto& [id, handler] : m_watches) {
        handler->cancel();
        m_host->unregisterEventHandler(handler);
    }
    if (m_postHandler) {
        m_postHandler->cancel();
        m_host->unregisterEventHandler(m_postHandler);
    }
}

int CRunLoopVST3::addTimer(uint32_t periodMs, CCallback callback, CTimerId& id) {
    IPtr<CHandler> handler(new CHandler(std::move(callback)), false);
    if (m_host->registerTimer(handler, periodMs ? periodMs : 1) != kResultOk) return kHostRefused;
    id = m_nextId++;
    m_timers[id] = handler;
    return 0;
}

void CRunLoopVST3::removeTimer(CTimerId id) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    // Held until the host has let go, also when this runs inside the
    // timer's own callback.
    IPtr<CHandler> handler = it->second;
    m_timers.erase(it);
    handler->cancel();
    m_host->unregisterTimer(handler);
}

int CRunLoopVST3::addFdWatch(int fd, CCallback callback, CWatchId& id) {
    IPtr<CHandler> handler(new CHandler(std::move(callback)), false);
    if (m_host->registerEventHandler(handler, fd) != kResultOk) return kHostRefused;
    id = m_nextId++;
    m_watches[id] = handler;
    return 0;
}

void CRunLoopVST3::removeFdWatch(CWatchId id) {
    auto it = m_watches.find(id);
    if (it == m_watches.end()) return;
    IPtr<CHandler> handler = it->second;
    m_watches.erase(it);
    handler->cancel();
    m_host->unregisterEventHandler(handler);
}

int CRunLoopVST3::post(CCallback callback) {
    if (!m_postHandler) return kHostRefused;
    return m_posted.post(std::move(callback));
}

}  // namespace zel
