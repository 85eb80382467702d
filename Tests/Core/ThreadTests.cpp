// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Core/Notify.h"
#include "Core/Thread.h"
#include "Support/Patience.h"
#include "Support/ShownErrors.h"

#define ZEL_SOURCE_TAG "ThreadTests"

namespace zel {
namespace {

using test::eventually;

class CWorker final : public CThread {
public:
    ~CWorker() override { stopThread(); }

    std::atomic<int> starts{0};
    std::atomic<int> rounds{0};
    std::atomic<bool> fail{false};

protected:
    CErrorPtr run() override {
        ++starts;
        if (fail) return ZEL_ERROR("@zelstr_Test_run_Failed Worker failed in round %1.", 1);
        while (!waitStop(5)) ++rounds;
        return nullptr;
    }
};

TEST(Thread, RunStopAndRestart) {
    CWorker worker;
    EXPECT_FALSE(worker.isRunning());
    ASSERT_EQ(worker.runThread(), nullptr);
    EXPECT_TRUE(worker.isRunning());
    ASSERT_TRUE(eventually([&] { return worker.rounds > 2; }));

    CErrorPtr second = worker.runThread();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->key(), "@zelstr_CThread_runThread_AlreadyRunning");
    EXPECT_EQ(second->text().utf8(), "Thread is already running.");

    worker.stopThread();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.starts, 1);
    const int rounds = worker.rounds;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(worker.rounds, rounds);

    // A stopped thread starts again, with a fresh stop request.
    ASSERT_EQ(worker.runThread(true), nullptr);
    EXPECT_TRUE(worker.isTimeCritical());
    ASSERT_TRUE(eventually([&] { return worker.rounds > rounds + 2; }));
    EXPECT_EQ(worker.starts, 2);
    worker.stopThread();
    worker.stopThread();
}

TEST(Thread, ErrorOfTheBodyIsShownAndTheThreadEnds) {
    CShownErrors errors;
    CWorker worker;
    worker.fail = true;
    ASSERT_EQ(worker.runThread(), nullptr);
    ASSERT_TRUE(eventually([&] { return !worker.isRunning(); }));
    const std::vector<std::string> shown = errors.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind(std::string(CSystem::kErrorTitle) + "\n", 0), 0u);
    EXPECT_NE(shown[0].find("Worker failed in round 1."), std::string::npos);

    // The ended body left its handle behind; starting again must take it.
    worker.fail = false;
    ASSERT_EQ(worker.runThread(), nullptr);
    ASSERT_TRUE(eventually([&] { return worker.rounds > 0; }));
    EXPECT_EQ(worker.starts, 2);
}

TEST(Thread, StoppingAThreadThatNeverRanIsHarmless) {
    CWorker worker;
    worker.stopThread();
    EXPECT_FALSE(worker.isRunning());
    ASSERT_EQ(worker.runThread(), nullptr);
    ASSERT_TRUE(eventually([&] { return worker.starts == 1; }));
}

}  // namespace
}  // namespace zel
