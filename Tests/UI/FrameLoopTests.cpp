// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Platform/Clock.h"
#include "Support/Printers.h"
#include "UI/UpdateTimer.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

double nowMs() { return platform::secondsSinceStart() * 1000.0; }

CUpdateTimerGroup& groupOf(CObject& root) {
    auto* shared = dynamic_cast<CWindowSharedData*>(root.findObject("ui.window-shared-data"));
    CUpdateTimerGroup* group = nullptr;
    EXPECT_EQ(shared->updateTimerGroup(group), nullptr);
    return *group;
}

TEST(UpdateTimer, RateIsClampedAndRoundedToWholeMilliseconds) {
    EXPECT_EQ(CUpdateTimer::periodFromFps(0), 1000000u);
    EXPECT_EQ(CUpdateTimer::periodFromFps(-5), 1000000u);
    EXPECT_EQ(CUpdateTimer::periodFromFps(2000), 1u);
    EXPECT_EQ(CUpdateTimer::periodFromFps(40), 25u);
    EXPECT_EQ(CUpdateTimer::periodFromFps(30), 33u);
    // 1000 / 16 = 62.5 rounds away from zero.
    EXPECT_EQ(CUpdateTimer::periodFromFps(16), 63u);
}

TEST(UpdateTimer, OrderZeroTicksBeforeTheRenderTimerWhateverTheRegistrationOrder) {
    CErrorPtr err;
    auto root = buildTree(R"(<test:recorder name="owner">
      <ui:update-timer name="render" order-asc="1000" fps="40"/>
      <ui:update-timer name="a" fps="40"/>
      <ui:update-timer name="late" order-asc="5" fps="40"/>
      <ui:update-timer name="b" fps="40"/>
    </test:recorder>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto* owner = dynamic_cast<CRecorder*>(root->findObject("ui.owner"));
    for (const char* name : {"render", "a", "late", "b"})
        ASSERT_EQ(dynamic_cast<CUpdateTimer*>(owner->findChild(name))->start(), nullptr);
    CUpdateTimerGroup& group = groupOf(*root);
    EXPECT_EQ(group.systemPeriodMs(), 25u);
    const double t0 = nowMs();
    ASSERT_EQ(group.tickAt(t0 + 25), nullptr);
    EXPECT_EQ(owner->ticks, (std::vector<std::string>{"a", "b", "late", "render"}));
    // A changed order takes effect at the next tick.
    owner->findChild("render")->setAttr("order-asc", "-1");
    owner->ticks.clear();
    ASSERT_EQ(group.tickAt(t0 + 50), nullptr);
    EXPECT_EQ(owner->ticks, (std::vector<std::string>{"render", "a", "b", "late"}));
}

TEST(UpdateTimer, EachTimerTicksAtItsOwnRateOnTheSharedSystemTimer) {
    CErrorPtr err;
    auto root = buildTree(R"(<test:recorder name="owner">
      <ui:update-timer name="fast" fps="40"/>
      <ui:update-timer name="slow" fps="20"/>
    </test:recorder>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto* owner = dynamic_cast<CRecorder*>(root->findObject("ui.owner"));
    auto* slow = dynamic_cast<CUpdateTimer*>(owner->findChild("slow"));
    auto* fast = dynamic_cast<CUpdateTimer*>(owner->findChild("fast"));
    ASSERT_EQ(slow->start(), nullptr);
    CUpdateTimerGroup& group = groupOf(*root);
    EXPECT_EQ(group.systemPeriodMs(), 50u);
    ASSERT_EQ(fast->start(), nullptr);
    // The system timer follows the fastest running timer.
    EXPECT_EQ(group.systemPeriodMs(), 25u);
    const double t0 = nowMs();
    for (int k = 1; k <= 8; ++k) ASSERT_EQ(group.tickAt(t0 + 25 * k), nullptr);
    EXPECT_EQ(std::count(owner->ticks.begin(), owner->ticks.end(), "fast"), 8);
    EXPECT_EQ(std::count(owner->ticks.begin(), owner->ticks.end(), "slow"), 4);
    fast->stop();
    EXPECT_EQ(group.systemPeriodMs(), 50u);
    slow->stop();
    EXPECT_EQ(group.systemPeriodMs(), 0u);
    EXPECT_EQ(group.timerCount(), 0u);
}

TEST(UpdateTimer, ATimerReleasedByAnEarlierTickOfTheSameRoundDoesNotTick) {
    CErrorPtr err;
    auto root = buildTree(R"(<test:recorder name="owner">
      <ui:update-timer name="first" fps="40"/>
      <ui:update-timer name="second" order-asc="1" fps="40"/>
      <ui:update-timer name="third" order-asc="2" fps="40"/>
    </test:recorder>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto* owner = dynamic_cast<CRecorder*>(root->findObject("ui.owner"));
    for (const char* name : {"first", "second", "third"})
        ASSERT_EQ(dynamic_cast<CUpdateTimer*>(owner->findChild(name))->start(), nullptr);
    CObject* second = owner->findChild("second");
    CObject* third = owner->findChild("third");
    owner->whenTicked = [&](CObject* sender) {
        if (sender->name() == "first") owner->removeChild(second);
        if (sender->name() == "third") dynamic_cast<CUpdateTimer*>(third)->stop();
    };
    CUpdateTimerGroup& group = groupOf(*root);
    const double t0 = nowMs();
    ASSERT_EQ(group.tickAt(t0 + 25), nullptr);
    EXPECT_EQ(owner->ticks, (std::vector<std::string>{"first", "third"}));
    owner->ticks.clear();
    ASSERT_EQ(group.tickAt(t0 + 50), nullptr);
    EXPECT_EQ(owner->ticks, (std::vector<std::string>{"first"}));
}

TEST(IntervalTimer, TicksOnTheFirstUpdateTickAtOrAfterItsInterval) {
    CErrorPtr err;
    auto root = buildTree(R"(<test:recorder name="owner">
      <ui:interval-timer name="cursor-timer" interval="0.3"><ui:update-timer name="update-timer" fps="40"/></ui:interval-timer>
    </test:recorder>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto* owner = dynamic_cast<CRecorder*>(root->findObject("ui.owner"));
    auto* timer = dynamic_cast<CIntervalTimer*>(owner->findChild("cursor-timer"));
    ASSERT_EQ(timer->start(), nullptr);
    CUpdateTimerGroup& group = groupOf(*root);
    const double t0 = nowMs();
    std::vector<int> tickedAt;
    for (int k = 1; k <= 30; ++k) {
        const size_t before = owner->ticks.size();
        ASSERT_EQ(group.tickAt(t0 + 25 * k), nullptr);
        if (owner->ticks.size() > before) tickedAt.push_back(25 * k);
    }
    EXPECT_EQ(tickedAt, (std::vector<int>{300, 600}));
    EXPECT_EQ(owner->ticks, (std::vector<std::string>{"cursor-timer", "cursor-timer"}));
}

TEST(IntervalTimer, CreatesItsUpdateTimerWhenTheDocumentGivesNone) {
    CErrorPtr err;
    auto root = buildTree(
        R"(<test:recorder name="owner"><ui:interval-timer name="blink" interval="0.05"/></test:recorder>)", err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto* timer = dynamic_cast<CIntervalTimer*>(root->findObject("ui.owner.blink"));
    ASSERT_NE(timer->updateTimer(), nullptr);
    ASSERT_EQ(timer->start(), nullptr);
    // Through the real system timer on the tree's own loop.
    auto* owner = dynamic_cast<CRecorder*>(root->findObject("ui.owner"));
    EXPECT_TRUE(root->loop.runUntil([&] { return owner->ticks.size() >= 2; }, 5000));
    timer->stop();
}

TEST(EditorLoop, EventsSentToAnEditorObjectRunOnTheEditorsLoop) {
    CErrorPtr err;
    auto root = buildTree(R"(<test:recorder name="owner"/>)", err);
    ASSERT_EQ(err, nullptr) << err->describe();
    auto* owner = dynamic_cast<CRecorder*>(root->findObject("ui.owner"));
    ASSERT_EQ(CSystem::sendEvent(owner, "tick"), nullptr);
    // The process's own loop does not run it.
    platform::standaloneRunLoop().runFor(20);
    EXPECT_TRUE(owner->ticks.empty());
    EXPECT_TRUE(root->loop.runUntil([&] { return owner->ticks.size() == 1; }, 5000));
}

TEST(SectorMap, MarksEverySectorARectangleTouchesOnce) {
    CSectorMap map;
    map.setAttr("sector-size", "64");
    map.resize(540, 315);
    map.invalidate(CRect{60, 60, 70, 70});
    EXPECT_EQ(map.dirtyCount(), 4u);
    map.invalidate(CRect{0, 0, 10, 10});
    EXPECT_EQ(map.dirtyCount(), 4u);
    // Outside the window: nothing.
    map.invalidate(CRect{600, 0, 700, 10});
    map.invalidate(CRect{-20, -20, -1, -1});
    EXPECT_EQ(map.dirtyCount(), 4u);
    const std::vector<CRect> dirty = map.takeDirty();
    ASSERT_EQ(dirty.size(), 4u);
    EXPECT_EQ(map.dirtyCount(), 0u);
    EXPECT_EQ(dirty[3].right, 128);
    // The last column and row are cut at the window's edge.
    map.invalidateAll();
    EXPECT_EQ(map.dirtyCount(), 9u * 5u);
    const std::vector<CRect> all = map.takeDirty();
    EXPECT_EQ(all.back().right, 540);
    EXPECT_EQ(all.back().bottom, 315);
}

TEST(WindowRenderer, InitFailsWithTheMessageOfWhatIsMissing) {
    struct CCase {
        const char* body;
        const char* text;
    } cases[] = {
        {R"(<core:object name="w"><ui:window-renderer name="r"><ui:sector-map name="sector-map"/></ui:window-renderer></core:object>)",
         "Unable to find root view."},
        {R"(<ui:window-drag name="w" width="10" height="10"><ui:window-renderer name="r"/></ui:window-drag>)",
         "Unable to find sector map."},
        {R"(<ui:window-drag name="w" width="10" height="10"><ui:window-renderer name="r" is-popup-window="true" window-alignment="middle"><ui:sector-map name="sector-map"/></ui:window-renderer></ui:window-drag>)",
         "Invalid window alignment 'middle'"},
        {R"(<ui:window-drag name="w" width="10" height="10"><ui:window-renderer name="r" is-window-position-storing-enabled="true" is-window-position-stored="true"><ui:sector-map name="sector-map"/></ui:window-renderer></ui:window-drag>)",
         "Window position ID is empty."},
    };
    for (const CCase& c : cases) {
        CErrorPtr err;
        auto root = buildTree(c.body, err);
        ASSERT_NE(err, nullptr) << c.text;
        EXPECT_NE(err->describe().find(c.text), std::string::npos) << err->describe();
    }
}

}  // namespace
