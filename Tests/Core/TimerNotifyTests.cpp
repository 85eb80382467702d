// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Core/ClassRegistry.h"
#include "Core/Notify.h"
#include "Core/Object.h"
#include "Core/Timer.h"
#include "Platform/RunLoop.h"
#include "Support/Patience.h"
#include "Support/ShownErrors.h"

#define ZEL_SOURCE_TAG "TimerNotifyTests"

namespace zel {
namespace {

using test::kPatienceMs;

platform::CStandaloneRunLoop& loop() { return platform::standaloneRunLoop(); }

// A listener that records every event it receives, and can be told to fail
// or to release another object from inside a handler.
class CRecorder final : public CObject {
public:
    struct CCall {
        std::string procedure;
        CObject::CAttrMap params;
        CObject* sender;
    };

    static void setupClass(CClassInfo& info) {
        setupObjectClass(info);
        info.onEvent("on-event", &CRecorder::onEvent);
        info.onEvent("on-other", &CRecorder::onOther);
        info.onEvent("on-fail", &CRecorder::onFail);
        info.onEvent("on-release", &CRecorder::onRelease);
    }
    static const CClassInfo& classInfo() {
        static const CClassEntry entry{"test:recorder", &createObject<CRecorder>, &CRecorder::setupClass};
        static const CClassInfo info = [] {
            CClassInfo i(entry);
            setupClass(i);
            return i;
        }();
        return info;
    }
    static std::unique_ptr<CRecorder> make(const char* name) {
        auto r = std::make_unique<CRecorder>();
        r->setClassInfo(&classInfo());
        r->setName(name);
        return r;
    }

    std::vector<CCall> calls;
    std::unique_ptr<CObject>* toRelease = nullptr;
    // Outlives the recorder: names the recorders that handled an event.
    std::vector<std::string>* journal = nullptr;

private:
    CErrorPtr record(const char* procedure, CObject* params, CObject* sender) {
        calls.push_back({procedure, params ? params->attrs() : CObject::CAttrMap(), sender});
        if (journal) journal->push_back(name().utf8());
        return nullptr;
    }
    CErrorPtr onEvent(CObject* params, CObject* sender) { return record("on-event", params, sender); }
    CErrorPtr onOther(CObject* params, CObject* sender) { return record("on-other", params, sender); }
    CErrorPtr onFail(CObject* params, CObject* sender) {
        record("on-fail", params, sender);
        return ZEL_ERROR("@zelstr_Test_onFail_Failed Listener '%1' failed.", name());
    }
    CErrorPtr onRelease(CObject* params, CObject* sender) {
        record("on-release", params, sender);
        if (toRelease) toRelease->reset();
        return nullptr;
    }
};

// The test thread's loop, counting the timers it holds.
class CCountingLoop final : public platform::IRunLoop {
public:
    CCountingLoop() { platform::setRunLoop(this); }
    ~CCountingLoop() override { platform::setRunLoop(nullptr); }
    CCountingLoop(const CCountingLoop&) = delete;
    CCountingLoop& operator=(const CCountingLoop&) = delete;

    int addTimer(uint32_t periodMs, CCallback callback, CTimerId& id) override {
        const int error = loop().addTimer(periodMs, std::move(callback), id);
        if (!error) ++timers;
        return error;
    }
    void removeTimer(CTimerId id) override {
        --timers;
        loop().removeTimer(id);
    }
    int post(CCallback callback) override { return loop().post(std::move(callback)); }
    int addFdWatch(int fd, CCallback callback, CWatchId& id) override {
        return loop().addFdWatch(fd, std::move(callback), id);
    }
    void removeFdWatch(CWatchId id) override { loop().removeFdWatch(id); }

    int timers = 0;
};

std::unique_ptr<CTimer> makeTimer(const char* name) {
    std::unique_ptr<CObject> created(CClassRegistry::instance().create("core:timer"));
    auto* timer = dynamic_cast<CTimer*>(created.get());
    if (!timer) return nullptr;
    created.release();
    timer->setName(name);
    return std::unique_ptr<CTimer>(timer);
}

TEST(Timer, PeriodIsIntervalInMillisecondsRoundedHalfAwayFromZero) {
    EXPECT_EQ(CTimer::periodFromInterval(0.0166), 17u);
    EXPECT_EQ(CTimer::periodFromInterval(0.0025), 3u);
    EXPECT_EQ(CTimer::periodFromInterval(0.3), 300u);
    EXPECT_EQ(CTimer::periodFromInterval(1e-9), 1u);
    EXPECT_EQ(CTimer::periodFromInterval(1e12), UINT32_MAX);
    EXPECT_EQ(CTimer::periodFromInterval(0.0), 0u);
    EXPECT_EQ(CTimer::periodFromInterval(-0.5), 0u);
}

TEST(Timer, IntervalAndFpsStartAndStopTheTimer) {
    std::unique_ptr<CTimer> timer = makeTimer("t");
    ASSERT_TRUE(timer);
    EXPECT_FALSE(timer->isTimerRunning());

    ASSERT_EQ(timer->setAttr("interval", "0.0166"), nullptr);
    EXPECT_TRUE(timer->isTimerRunning());
    EXPECT_EQ(timer->periodMs(), 17u);

    for (const char* none : {"0", "-0.25", "", "soon"}) {
        ASSERT_EQ(timer->setAttr("interval", none), nullptr);
        EXPECT_FALSE(timer->isTimerRunning()) << none;
    }

    ASSERT_EQ(timer->setAttr("fps", "40"), nullptr);
    EXPECT_EQ(timer->getAttr("interval").utf8(), "0.025");
    EXPECT_EQ(timer->periodMs(), 25u);
    // A rate that is not positive, or an empty declaration, changes nothing.
    for (const char* ignored : {"0", "-5", ""}) {
        ASSERT_EQ(timer->setAttr("fps", ignored), nullptr);
        EXPECT_EQ(timer->periodMs(), 25u) << ignored;
    }
    ASSERT_EQ(timer->setAttr("fps", "60"), nullptr);
    EXPECT_EQ(timer->periodMs(), 17u);
}

TEST(Timer, TicksReachListenersUntilStoppedOrReleased) {
    CCountingLoop counting;
    CObject root;
    CTimer* timer = makeTimer("ticker").release();
    ASSERT_NE(timer, nullptr);
    ASSERT_EQ(root.addChild(std::unique_ptr<CObject>(timer)), nullptr);
    auto listener = CRecorder::make("listener");
    ASSERT_EQ(listener->listenObject(timer, "tick", "on-event", 3), nullptr);
    ASSERT_EQ(timer->setAttr("interval", "0.005"), nullptr);
    ASSERT_TRUE(loop().runUntil([&] { return listener->calls.size() >= 3; }, kPatienceMs));
    const CRecorder::CCall& call = listener->calls[0];
    EXPECT_EQ(call.sender, timer);
    EXPECT_EQ(call.params.at("sender").utf8(), "ticker");
    EXPECT_EQ(call.params.at("event-name").utf8(), "tick");
    EXPECT_EQ(call.params.at("listener-id").utf8(), "3");

    ASSERT_EQ(timer->setAttr("interval", "0"), nullptr);
    size_t count = listener->calls.size();
    loop().runFor(40);
    EXPECT_EQ(listener->calls.size(), count);
    EXPECT_EQ(counting.timers, 0) << "a stopped timer leaves the loop";

    ASSERT_EQ(timer->setAttr("interval", "0.005"), nullptr);
    ASSERT_TRUE(loop().runUntil([&] { return listener->calls.size() > count; }, kPatienceMs));
    EXPECT_EQ(counting.timers, 1);
    root.removeChild(timer);
    EXPECT_EQ(counting.timers, 0) << "a released timer leaves the loop";
}

TEST(Timer, FailingTickIsShownOnceAndStopsTheTimer) {
    CShownErrors errors;
    std::unique_ptr<CTimer> timer = makeTimer("failing");
    auto listener = CRecorder::make("listener");
    ASSERT_EQ(listener->listenObject(timer.get(), "tick", "on-fail"), nullptr);
    ASSERT_EQ(timer->setAttr("interval", "0.002"), nullptr);
    ASSERT_TRUE(loop().runUntil([&] { return !listener->calls.empty(); }, kPatienceMs));
    loop().runFor(30);
    EXPECT_FALSE(timer->isTimerRunning());
    EXPECT_EQ(listener->calls.size(), 1u);
    const std::vector<std::string> shown = errors.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("Listener 'listener' failed."), std::string::npos);
}

TEST(NotifyServer, DeliversOnlyMatchingSubscriptionsWithFullParameters) {
    CNotifyServer& server = CNotifyServer::instance();
    CObject root;
    auto* sender = new CObject();
    sender->setName("sender");
    ASSERT_EQ(root.addChild(std::unique_ptr<CObject>(sender)), nullptr);
    CRecorder* listener = CRecorder::make("listener").release();
    ASSERT_EQ(root.addChild(std::unique_ptr<CObject>(listener)), nullptr);

    server.subscribe(sender, "changed", listener, 42, "on-event");
    server.subscribe(sender, "changed", listener, 42, "on-event");
    server.subscribe(sender, "other", listener, 1, "on-other");

    CObject params;
    params.setAttr("value", "5");
    params.setAttr("sender", "caller's own");
    ASSERT_EQ(server.notify(sender, "changed", &params), nullptr);
    ASSERT_EQ(listener->calls.size(), 1u) << "an identical subscription is kept once";
    const CRecorder::CCall& call = listener->calls[0];
    EXPECT_EQ(call.procedure, "on-event");
    EXPECT_EQ(call.sender, sender);
    EXPECT_EQ(call.params.at("value").utf8(), "5");
    EXPECT_EQ(call.params.at("sender").utf8(), "sender");
    EXPECT_EQ(call.params.at("event-name").utf8(), "changed");
    EXPECT_EQ(call.params.at("listener").utf8(), "listener");
    EXPECT_EQ(call.params.at("listener-id").utf8(), "42");
    EXPECT_EQ(call.params.at("listener-proc").utf8(), "on-event");

    // Nothing subscribed to this event, or to this object: nothing happens.
    ASSERT_EQ(server.notify(sender, "unheard"), nullptr);
    ASSERT_EQ(server.notify(&root, "changed"), nullptr);
    EXPECT_EQ(listener->calls.size(), 1u);
}

TEST(NotifyServer, SameFullNameInAnotherTreeIsAnotherSender) {
    CObject rootA, rootB;
    auto* a = new CObject();
    auto* b = new CObject();
    a->setName("param");
    b->setName("param");
    ASSERT_EQ(rootA.addChild(std::unique_ptr<CObject>(a)), nullptr);
    ASSERT_EQ(rootB.addChild(std::unique_ptr<CObject>(b)), nullptr);
    ASSERT_EQ(a->fullName(), b->fullName());
    auto listener = CRecorder::make("listener");
    CNotifyServer::instance().subscribe(a, "changed", listener.get(), 0, "on-event");
    ASSERT_EQ(CNotifyServer::instance().notify(b, "changed"), nullptr);
    EXPECT_TRUE(listener->calls.empty());
    ASSERT_EQ(CNotifyServer::instance().notify(a, "changed"), nullptr);
    EXPECT_EQ(listener->calls.size(), 1u);
}

TEST(NotifyServer, SubscriptionsGoWithEitherObject) {
    CNotifyServer& server = CNotifyServer::instance();
    const size_t before = server.subscriptionCount();
    auto sender = std::make_unique<CObject>();
    auto keeper = CRecorder::make("keeper");
    auto leaver = CRecorder::make("leaver");
    server.subscribe(sender.get(), "changed", keeper.get(), 0, "on-event");
    server.subscribe(sender.get(), "changed", leaver.get(), 0, "on-event");
    server.subscribe(keeper.get(), "changed", leaver.get(), 0, "on-event");
    EXPECT_EQ(server.subscriptionCount(), before + 3);

    leaver.reset();
    EXPECT_EQ(server.subscriptionCount(), before + 1);
    ASSERT_EQ(server.notify(sender.get(), "changed"), nullptr);
    EXPECT_EQ(keeper->calls.size(), 1u);

    sender.reset();
    EXPECT_EQ(server.subscriptionCount(), before);
}

TEST(NotifyServer, ListenerReleasedDuringDeliveryIsSkippedAndErrorsComeBack) {
    CNotifyServer& server = CNotifyServer::instance();
    CObject sender;
    auto first = CRecorder::make("first");
    std::unique_ptr<CObject> second = CRecorder::make("second");
    auto failing = CRecorder::make("failing");
    auto last = CRecorder::make("last");
    auto* secondRecorder = static_cast<CRecorder*>(second.get());
    first->toRelease = &second;
    server.subscribe(&sender, "go", first.get(), 0, "on-release");
    server.subscribe(&sender, "go", secondRecorder, 0, "on-event");
    server.subscribe(&sender, "go", failing.get(), 0, "on-fail");
    server.subscribe(&sender, "go", last.get(), 0, "on-event");

    CErrorPtr err = server.notify(&sender, "go");
    EXPECT_EQ(second, nullptr);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Listener 'failing' failed.");
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(last->calls.size(), 1u) << "listeners after a failing one still run";
}

class COwner {
public:
    void changed(CUpdateNotifier&, const CString& what) { seen.push_back(what.utf8()); }
    std::vector<std::string> seen;
};

TEST(UpdateNotifier, ListenersHearChangesUntilEitherSideGoes) {
    COwner owner;
    auto notifier = std::make_unique<CUpdateNotifier>();
    auto a = std::make_unique<COwnedUpdateListener<COwner>>(owner, &COwner::changed);
    COwnedUpdateListener<COwner> b(owner, &COwner::changed);
    notifier->addListener(*a);
    notifier->addListener(*a);
    notifier->addListener(b);
    EXPECT_EQ(notifier->listenerCount(), 2u);

    notifier->notifyListeners("one");
    EXPECT_EQ(owner.seen, (std::vector<std::string>{"one", "one"}));

    a.reset();
    EXPECT_EQ(notifier->listenerCount(), 1u);
    notifier->notifyListeners("two");
    EXPECT_EQ(owner.seen.size(), 3u);

    // The listener outlives its notifier and must not reach back into it.
    notifier.reset();
}

class CSelfRemover final : public CUpdateListener {
public:
    void update(CUpdateNotifier& notifier, const CString&) override {
        ++calls;
        notifier.removeListener(*this);
        if (other) notifier.removeListener(*other);
    }
    CUpdateListener* other = nullptr;
    int calls = 0;
};

TEST(UpdateNotifier, ListenerRemovedDuringNotificationIsNotCalled) {
    CUpdateNotifier notifier;
    CSelfRemover first, second;
    first.other = &second;
    notifier.addListener(first);
    notifier.addListener(second);
    notifier.notifyListeners("x");
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 0);
    EXPECT_EQ(notifier.listenerCount(), 0u);
}

TEST(System, SendEventRunsOnTheLoopThreadAndNotForReleasedObjects) {
    const std::thread::id loopThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::thread poster([&] { ASSERT_EQ(CSystem::sendEvent([&] { ranOn = std::this_thread::get_id(); }), nullptr); });
    poster.join();
    ASSERT_TRUE(loop().runUntil([&] { return ranOn != std::thread::id(); }, kPatienceMs));
    EXPECT_EQ(ranOn, loopThread);

    // Events run in posting order: once the last one has run, the released
    // object's would have run too.
    std::vector<std::string> journal;
    auto released = CRecorder::make("released");
    auto kept = CRecorder::make("kept");
    released->journal = kept->journal = &journal;
    ASSERT_EQ(CSystem::sendEvent(released.get(), "on-event"), nullptr);
    ASSERT_EQ(CSystem::sendEvent(kept.get(), "on-event"), nullptr);
    released.reset();
    ASSERT_TRUE(loop().runUntil([&] { return !kept->calls.empty(); }, kPatienceMs));
    EXPECT_EQ(journal, std::vector<std::string>{"kept"});
}

TEST(System, ErrorWindowText) {
    const std::string none = CSystem::errorWindowText(nullptr);
    EXPECT_NE(none.find("support@zelmora.example"), std::string::npos);
    EXPECT_NE(none.find("Ctrl+Insert"), std::string::npos);
    EXPECT_NE(none.find("Shift+Insert"), std::string::npos);
    EXPECT_EQ(none.substr(none.size() - 13), "\n<no details>");

    CErrorPtr err = ZEL_ERROR("@zelstr_Test_run_Broken Something broke (%1).", 7);
    const std::string text = CSystem::errorWindowText(err.get());
    EXPECT_EQ(text.find("<no details>"), std::string::npos);
    EXPECT_NE(text.find("\nSomething broke (7)."), std::string::npos);
    EXPECT_EQ(std::string(CSystem::kErrorTitle), "Zelmora Application Message");
}

}  // namespace
}  // namespace zel
