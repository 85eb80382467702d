// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Platform/Clock.h"
#include "Platform/RunLoop.h"
#include "Support/Patience.h"

namespace zel::platform {
namespace {

using zel::test::kPatienceMs;

TEST(RunLoop, PostsFromOtherThreadsRunInOrderOnTheLoopThread) {
    CStandaloneRunLoop loop;
    const std::thread::id loopThread = std::this_thread::get_id();
    std::vector<int> seen;
    bool allOnLoopThread = true;
    std::thread poster([&] {
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(loop.post([&, i] {
                seen.push_back(i);
                allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
            }),
                      0);
    });
    EXPECT_TRUE(loop.runUntil([&] { return seen.size() == 200; }, kPatienceMs));
    poster.join();
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_TRUE(allOnLoopThread);
}

TEST(RunLoop, TimersRepeatUntilRemoved) {
    CStandaloneRunLoop loop;
    int fast = 0, slow = 0;
    IRunLoop::CTimerId fastId = 0, slowId = 0;
    ASSERT_EQ(loop.addTimer(
                  5, [&] { ++fast; }, fastId),
              0);
    ASSERT_EQ(loop.addTimer(
                  20, [&] { ++slow; }, slowId),
              0);
    EXPECT_NE(fastId, 0u);
    EXPECT_NE(fastId, slowId);
    EXPECT_TRUE(loop.runUntil([&] { return fast >= 4 && slow >= 2; }, kPatienceMs));

    loop.removeTimer(fastId);
    loop.removeTimer(slowId);
    const int fastAtStop = fast, slowAtStop = slow;
    loop.runFor(60);
    EXPECT_EQ(fast, fastAtStop);
    EXPECT_EQ(slow, slowAtStop);
    // Removing twice, or an id that never existed, is harmless.
    loop.removeTimer(fastId);
    loop.removeTimer(12345);
}

TEST(RunLoop, TimerRemovedByACallbackDoesNotFireAgain) {
    CStandaloneRunLoop loop;
    IRunLoop::CTimerId selfId = 0, victimId = 0;
    int selfCalls = 0, victimCalls = 0;
    ASSERT_EQ(loop.addTimer(
                  2,
                  [&] {
                      if (++selfCalls == 3) loop.removeTimer(selfId);
                      // The victim shares the period and is always due in the same round
                      // or later.
                      loop.removeTimer(victimId);
                  },
                  selfId),
              0);
    ASSERT_EQ(loop.addTimer(
                  2, [&] { ++victimCalls; }, victimId),
              0);
    EXPECT_TRUE(loop.runUntil([&] { return selfCalls >= 3; }, kPatienceMs));
    loop.runFor(30);
    EXPECT_EQ(selfCalls, 3);
    EXPECT_EQ(victimCalls, 0);
}

TEST(RunLoop, QuitFromAnotherThreadEndsTheRun) {
    CStandaloneRunLoop loop;
    std::thread stopper([&] {
        sleepMs(20);
        loop.quit();
    });
    const double start = secondsSinceStart();
    loop.runFor(120000);
    stopper.join();
    EXPECT_LT(secondsSinceStart() - start, 60.0);
}

class CRecordingLoop final : public IRunLoop {
public:
    int addTimer(uint32_t, CCallback, CTimerId& id) override {
        id = 7;
        return 0;
    }
    void removeTimer(CTimerId) override {}
    int post(CCallback) override {
        ++posts;
        return 0;
    }
    int addFdWatch(int, CCallback, CWatchId&) override { return 0; }
    void removeFdWatch(CWatchId) override {}
    int posts = 0;
};

TEST(RunLoop, CurrentLoopCanBeReplacedAndRestored) {
    EXPECT_EQ(&runLoop(), &standaloneRunLoop());
    CRecordingLoop host;
    setRunLoop(&host);
    EXPECT_EQ(&runLoop(), &host);
    EXPECT_EQ(runLoop().post([] {}), 0);
    EXPECT_EQ(host.posts, 1);
    setRunLoop(nullptr);
    EXPECT_EQ(&runLoop(), &standaloneRunLoop());
}

TEST(RunLoop, FdWatchFiresWhileReadableAndStopsWhenRemovedInItsCallback) {
    CStandaloneRunLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int calls = 0;
    IRunLoop::CWatchId id = 0;
    ASSERT_EQ(loop.addFdWatch(
                  fds[0],
                  [&] {
                      char c;
                      ASSERT_EQ(read(fds[0], &c, 1), 1);
                      if (++calls == 2) loop.removeFdWatch(id);
                  },
                  id),
              0);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(loop.fdWatchCount(), 1u);
    // Nothing readable: the loop waits without calling.
    loop.runFor(20);
    EXPECT_EQ(calls, 0);
    // Written from another thread while the loop sleeps in poll.
    std::thread writer([&] { ASSERT_EQ(write(fds[1], "ab", 2), 2); });
    EXPECT_TRUE(loop.runUntil([&] { return calls == 2; }, kPatienceMs));
    writer.join();
    EXPECT_EQ(loop.fdWatchCount(), 0u);
    ASSERT_EQ(write(fds[1], "c", 1), 1);
    loop.runFor(20);
    EXPECT_EQ(calls, 2);
    EXPECT_NE(loop.addFdWatch(
                  -1, [] {}, id),
              0);
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoop, HungUpDescriptorIsReported) {
    CStandaloneRunLoop loop;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    bool hungUp = false;
    IRunLoop::CWatchId id = 0;
    ASSERT_EQ(loop.addFdWatch(
                  fds[0],
                  [&] {
                      hungUp = true;
                      loop.removeFdWatch(id);
                  },
                  id),
              0);
    close(fds[1]);
    EXPECT_TRUE(loop.runUntil([&] { return hungUp; }, kPatienceMs));
    close(fds[0]);
}

TEST(Clock, AdvancesAcrossASleep) {
    const double s0 = secondsSinceStart();
    const uint32_t t0 = tickCountMs();
    sleepMs(30);
    EXPECT_GE(secondsSinceStart() - s0, 0.029);
    EXPECT_GE(uint32_t(tickCountMs() - t0), 29u);
    EXPECT_GT(s0, 0.0);
}

}  // namespace
}  // namespace zel::platform
