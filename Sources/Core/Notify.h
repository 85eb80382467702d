// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Core/Error.h"
#include "Core/String.h"

namespace zel {

class CObject;

// Process-wide registry of who listens to which named event of which object.
// Subscriptions match the sender object itself, not its full name: two
// plug-in instances build trees with identical full names.
class CNotifyServer {
public:
    static CNotifyServer& instance();

    // From now on `event` of `sender` runs `procedure` of `listener`. An
    // identical subscription is kept once.
    void subscribe(CObject* sender, const CString& event, CObject* listener, long long listenerId,
                   const CString& procedure);
    // Runs the procedure of every matching subscription on this thread with
    // a parameter object holding the caller's `params` plus `sender`,
    // `event-name`, `listener`, `listener-id` and `listener-proc`. Every
    // listener runs; the first error is returned.
    CErrorPtr notify(CObject* sender, const CString& event, const CObject* params = nullptr);
    // Forgets every subscription that names `object` as sender or listener,
    // and any event posted to it that has not run yet. Every CObject calls
    // this as it goes.
    void objectDestroyed(CObject* object);
    size_t subscriptionCount() const;

private:
    struct CSubscription {
        unsigned long long serial;
        CObject* sender;
        CString event;
        CObject* listener;
        long long listenerId;
        CString procedure;
    };

    CNotifyServer() = default;

    // Recursive: a listener procedure may subscribe, notify or release
    // objects while a notification runs.
    mutable std::recursive_mutex m_lock;
    std::vector<CSubscription> m_subscriptions;
    unsigned long long m_nextSerial = 1;
};

class CUpdateNotifier;

// Receives the changes of the notifiers it is attached to; detaches itself
// when it goes.
class CUpdateListener {
public:
    CUpdateListener() = default;
    virtual ~CUpdateListener();
    CUpdateListener(const CUpdateListener&) = delete;
    CUpdateListener& operator=(const CUpdateListener&) = delete;

    // `what` names the change; each notifier says what it passes.
    virtual void update(CUpdateNotifier& notifier, const CString& what) = 0;

protected:
    // Leaves every notifier. Subclasses call it first thing in their
    // destructor, so that no notification reaches a half-destroyed listener.
    void detach();

private:
    friend class CUpdateNotifier;
    std::mutex m_linkLock;
    std::vector<CUpdateNotifier*> m_notifiers;
};

// Keeps a list of listeners under its own lock and tells each of them about
// a change, on the thread that made it.
class CUpdateNotifier {
public:
    CUpdateNotifier() = default;
    virtual ~CUpdateNotifier();
    CUpdateNotifier(const CUpdateNotifier&) = delete;
    CUpdateNotifier& operator=(const CUpdateNotifier&) = delete;

    void addListener(CUpdateListener& listener);
    void removeListener(CUpdateListener& listener);
    // Listeners added or removed by a listener during the call take effect
    // at once: a removed one is not called any more.
    void notifyListeners(const CString& what);
    size_t listenerCount() const;

private:
    // Recursive: listeners may add or remove listeners from `update`.
    mutable std::recursive_mutex m_lock;
    std::vector<CUpdateListener*> m_listeners;
};

// A listener member of `T` that forwards each change to one method of its
// owner.
template <class T>
class COwnedUpdateListener final : public CUpdateListener {
public:
    using CHandler = void (T::*)(CUpdateNotifier& notifier, const CString& what);

    COwnedUpdateListener(T& owner, CHandler handler) : m_owner(owner), m_handler(handler) {}
    ~COwnedUpdateListener() override { detach(); }

    void update(CUpdateNotifier& notifier, const CString& what) override { (m_owner.*m_handler)(notifier, what); }

private:
    T& m_owner;
    CHandler m_handler;
};

// System services shared by the framework: running work on the run-loop
// thread and showing errors that have no caller left to handle them.
class CSystem {
public:
    using CCallback = std::function<void()>;
    using CErrorDisplay = std::function<void(const std::string& title, const std::string& text)>;

    static constexpr const char* kErrorTitle = "Zelmora Application Message";

    // Runs `callback` later on the thread of the current run loop.
    static CErrorPtr sendEvent(CCallback callback);
    // Runs `event` of `target` later on the run-loop thread; nothing runs if
    // `target` is released first (or is null). An error of the event is
    // shown.
    static CErrorPtr sendEvent(CObject* target, const CString& event);

    static void showError(const CError& error);
    // The error window's text: the fixed explanation, then the error's
    // details or "<no details>".
    static std::string errorWindowText(const CError* error);
    // Replaces where errors are shown; an empty display restores the
    // platform's.
    static void setErrorDisplay(CErrorDisplay display);

private:
    friend class CNotifyServer;
    static void cancelEvents(CObject* target);
};

}  // namespace zel
