// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Notify.h"

#include <algorithm>
#include <map>

#include "Core/Object.h"
#include "Core/Singleton.h"
#include "Core/Timer.h"
#include "Platform/ErrorDisplay.h"
#include "Platform/RunLoop.h"

#define ZEL_SOURCE_TAG "Notify"

namespace zel {

// ---------------------------------------------------------------- CNotifyServer

CNotifyServer& CNotifyServer::instance() {
    return moduleSingleton<CNotifyServer>([] { return new CNotifyServer(); });
}

void CNotifyServer::subscribe(CObject* sender, const CString& event, CObject* listener, long long listenerId,
                              const CString& procedure) {
    if (!sender || !listener) return;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (const CSubscription& s : m_subscriptions)
        if (s.sender == sender && s.listener == listener && s.listenerId == listenerId && s.event == event &&
            s.procedure == procedure)
            return;
    m_subscriptions.push_back({m_nextSerial++, sender, event, listener, listenerId, procedure});
}

CErrorPtr CNotifyServer::notify(CObject* sender, const CString& event, const CObject* params) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<unsigned long long> matching;
    for (const CSubscription& s : m_subscriptions)
        if (s.sender == sender && s.event == event) matching.push_back(s.serial);
    CErrorPtr first;
    for (unsigned long long serial : matching) {
        // An earlier listener may have released objects and with them their
        // subscriptions.
        auto it = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                               [serial](const CSubscription& s) { return s.serial == serial; });
        if (it == m_subscriptions.end()) continue;
        const CSubscription s = *it;
        CObject eventParams;
        if (params)
            for (const auto& [name, value] : params->attrs())
                if (name != "full-name") eventParams.setAttr(name, value);
        eventParams.setAttr("sender", sender->fullName());
        eventParams.setAttr("event-name", event);
        eventParams.setAttr("listener", s.listener->fullName());
        eventParams.setAttr("listener-id", toText(s.listenerId));
        eventParams.setAttr("listener-proc", s.procedure);
        CErrorPtr err = s.listener->runEvent(s.procedure, &eventParams, sender);
        if (err && !first) first = ZEL_PASS(err);
    }
    return first;
}

void CNotifyServer::objectDestroyed(CObject* object) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        m_subscriptions.erase(
            std::remove_if(m_subscriptions.begin(), m_subscriptions.end(),
                           [object](const CSubscription& s) { return s.sender == object || s.listener == object; }),
            m_subscriptions.end());
    }
    CSystem::cancelEvents(object);
}

size_t CNotifyServer::subscriptionCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_subscriptions.size();
}

// ---------------------------------------------------------------- update notifiers

CUpdateListener::~CUpdateListener() { detach(); }

void CUpdateListener::detach() {
    std::vector<CUpdateNotifier*> notifiers;
    {
        std::lock_guard<std::mutex> lock(m_linkLock);
        notifiers = m_notifiers;
    }
    for (CUpdateNotifier* n : notifiers) n->removeListener(*this);
}

CUpdateNotifier::~CUpdateNotifier() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (CUpdateListener* l : m_listeners) {
        std::lock_guard<std::mutex> link(l->m_linkLock);
        auto& v = l->m_notifiers;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
}

void CUpdateNotifier::addListener(CUpdateListener& listener) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (std::find(m_listeners.begin(), m_listeners.end(), &listener) != m_listeners.end()) return;
    m_listeners.push_back(&listener);
    std::lock_guard<std::mutex> link(listener.m_linkLock);
    listener.m_notifiers.push_back(this);
}

void CUpdateNotifier::removeListener(CUpdateListener& listener) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    auto it = std::find(m_listeners.begin(), m_listeners.end(), &listener);
    if (it == m_listeners.end()) return;
    m_listeners.erase(it);
    std::lock_guard<std::mutex> link(listener.m_linkLock);
    auto& v = listener.m_notifiers;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void CUpdateNotifier::notifyListeners(const CString& what) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const std::vector<CUpdateListener*> snapshot(m_listeners);
    for (CUpdateListener* l : snapshot)
        if (std::find(m_listeners.begin(), m_listeners.end(), l) != m_listeners.end()) l->update(*this, what);
}

size_t CUpdateNotifier::listenerCount() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_listeners.size();
}

// ---------------------------------------------------------------- CSystem

namespace {

struct CPendingEvents {
    std::mutex lock;
    std::map<unsigned long long, std::pair<CObject*, CString>> events;
    unsigned long long nextSerial = 1;
};

CPendingEvents& pendingEvents() {
    return moduleSingleton<CPendingEvents>([] { return new CPendingEvents(); });
}

struct CDisplaySlot {
    std::mutex lock;
    CSystem::CErrorDisplay display;
};

CDisplaySlot& displaySlot() {
    return moduleSingleton<CDisplaySlot>([] { return new CDisplaySlot(); });
}

}  // namespace

namespace {

CErrorPtr post(platform::IRunLoop& loop, CSystem::CCallback callback) {
    if (const int error = loop.post(std::move(callback)))
        return ZEL_ERROR("@zelstr_CSystem_sendEvent_PostMessage Post message error %1.", error);
    return nullptr;
}

}  // namespace

CErrorPtr CSystem::sendEvent(CCallback callback) {
    ZEL_TRY(post(platform::runLoop(), std::move(callback)));
    return nullptr;
}

CErrorPtr CSystem::sendEvent(CObject* target, const CString& event) {
    if (!target) return nullptr;
    CPendingEvents& pending = pendingEvents();
    unsigned long long serial;
    {
        std::lock_guard<std::mutex> lock(pending.lock);
        serial = pending.nextSerial++;
        pending.events[serial] = {target, event};
    }
    // On the loop of the target's tree: an editor's objects run on their
    // host's loop.
    CErrorPtr err = post(runLoopOf(*target), [serial] {
        CPendingEvents& p = pendingEvents();
        CObject* object;
        CString name;
        {
            std::lock_guard<std::mutex> lock(p.lock);
            auto it = p.events.find(serial);
            if (it == p.events.end()) return;
            object = it->second.first;
            name = it->second.second;
            p.events.erase(it);
        }
        if (CErrorPtr e = object->runEvent(name)) showError(*e);
    });
    if (err) {
        std::lock_guard<std::mutex> lock(pending.lock);
        pending.events.erase(serial);
        return ZEL_PASS(err);
    }
    return nullptr;
}

void CSystem::cancelEvents(CObject* target) {
    CPendingEvents& pending = pendingEvents();
    std::lock_guard<std::mutex> lock(pending.lock);
    for (auto it = pending.events.begin(); it != pending.events.end();)
        it = it->second.first == target ? pending.events.erase(it) : std::next(it);
}

std::string CSystem::errorWindowText(const CError* error) {
    std::string text =
        "An issue has happened while running the application. If it persists, please contact our support "
        "at support@zelmora.example and send the details below. They can be selected and copied with "
        "Ctrl+Insert and pasted with Shift+Insert.\n\n";
    text += error && !error->text().empty() ? error->describe() : std::string("<no details>");
    return text;
}

void CSystem::showError(const CError& error) {
    CErrorDisplay display;
    {
        CDisplaySlot& slot = displaySlot();
        std::lock_guard<std::mutex> lock(slot.lock);
        display = slot.display;
    }
    const std::string text = errorWindowText(&error);
    if (display)
        display(kErrorTitle, text);
    else
        platform::showErrorText(kErrorTitle, text);
}

void CSystem::setErrorDisplay(CErrorDisplay display) {
    CDisplaySlot& slot = displaySlot();
    std::lock_guard<std::mutex> lock(slot.lock);
    slot.display = std::move(display);
}

}  // namespace zel
