// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "../UI/EditorInstance.h"
#include "Audio/AudioWrapper.h"
#include "Audio/Engine/AudioGraph.h"
#include "Audio/Modules/DelayPageKeeper.h"
#include "Audio/Modules/ModDelay.h"
#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Audio/ParamUndo.h"
#include "AudioThreadCounter.h"
#include "Core/MemoryStream.h"
#include "Other/AudioInterfaceBase.h"
#include "UI/Controls/LevelMeterBase.h"
#include "UI/Controls/LevelMeterListener.h"

using namespace zel;

namespace {

class CTestWrapper final : public CAudioWrapper {
public:
    void reportExtParam(size_t, double) override {}
    void beginExtParamEdit(size_t) override {}
    void performExtParamEdit(size_t, double) override {}
    void endExtParamEdit(size_t) override {}
};

constexpr size_t kChannels = 8;
constexpr size_t kBlock = 256;

}  // namespace

// The audio thread runs blocks with random host automation and channel
// counts while another thread applies presets, undoes, regroups, changes
// the host's channel counts and sets every host parameter at random. The
// audio thread must not touch the heap or take a lock all the while.
TEST(AudioThread, NeverAllocatesNorLocksWhileTheUserAndTheHostChangeEverything) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, kBlock);
    std::vector<std::vector<float>> in(kChannels, std::vector<float>(kBlock)), out = in;
    std::vector<const float*> ip;
    std::vector<float*> op;
    for (size_t c = 0; c < kChannels; ++c) {
        for (size_t t = 0; t < kBlock; ++t) in[c][t] = float(std::sin(0.05 * double(t) * double(c + 1)));
        ip.push_back(in[c].data());
        op.push_back(out[c].data());
    }
    // Warm-up at the widest layout: the pool's audio buffers and the
    // engine's hand-over buffers reach their size.
    for (int i = 0; i < 200; ++i) w.process(ip.data(), kChannels, op.data(), kChannels, kBlock);

    const size_t poolBefore = w.engine().heapAllocations();
    std::atomic<bool> stop{false};
    std::thread user([&] {
        std::mt19937 random(11);
        CAudioParam* grouping = dynamic_cast<CAudioParam*>(w.plugin().findObject("plugin.modMain.io-params.grouping"));
        CAudioParam* inRouting =
            dynamic_cast<CAudioParam*>(w.plugin().findObject("plugin.modMain.io-params.in-routing"));
        CAudioParam* outRouting =
            dynamic_cast<CAudioParam*>(w.plugin().findObject("plugin.modMain.io-params.out-routing"));
        CAudioParam* solo =
            dynamic_cast<CAudioParam*>(w.plugin().findObject("plugin.modMain.io-params.channel-group-solo"));
        CAudioParam* pairs = dynamic_cast<CAudioParam*>(w.plugin().findObject("plugin.modMain.io-params.ms-pairs"));
        ASSERT_TRUE(grouping && inRouting && outRouting && solo && pairs);
        CAudioParamCollector& collector =
            *dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
        const int programs = int(w.registry().sessionBank().presets().size());
        while (!stop) {
            switch (random() % 8) {
                case 0:
                    w.registry().activateRomPreset(int(random() % size_t(std::max(programs, 1))));
                    break;
                case 1:
                    if (w.interfaceBase().undo().position() > 0)
                        w.interfaceBase().undo().moveTo(w.interfaceBase().undo().position() - 1);
                    break;
                case 2: {
                    CAudioParamTransaction tx(collector);
                    std::vector<double> groups(kChannels), channels(kChannels);
                    for (double& g : groups) g = double(random() % 8);
                    for (size_t c = 0; c < kChannels; ++c) channels[c] = double(c + 1);
                    tx.setElements(*grouping, 0, 0, groups);
                    tx.setElements(*inRouting, 0, 0, channels);
                    tx.setElements(*outRouting, 0, 0, channels);
                    w.interfaceBase().undo().push(tx.finish("Grouping"));
                    break;
                }
                case 3: {
                    CAudioParamTransaction tx(collector);
                    tx.setElements(*solo, random() % 8, 0, {double(random() % 2)});
                    std::vector<double> p(kChannels);
                    for (double& v : p) v = double(random() % 3);
                    tx.setElements(*pairs, 0, 0, p);
                    w.interfaceBase().undo().push(tx.finish("Solo"));
                    break;
                }
                case 4:
                    w.setIOChannels(1 + random() % kChannels, 1 + random() % kChannels);
                    break;
                case 5: {
                    CMemoryWriter state;
                    EXPECT_EQ(w.saveState(state), nullptr);
                    break;
                }
                default:
                    w.setExtParamNormalized(random() % w.extParamCount(), double(random() % 1000) / 999.0);
                    break;
            }
            w.idle();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    std::mt19937 random(7);
    size_t heapCalls = 0, locks = 0, blocks = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    while (std::chrono::steady_clock::now() < end) {
        const size_t numIn = 1 + random() % kChannels, numOut = 1 + random() % kChannels;
        const int events = int(random() % 5);
        for (int e = 0; e < events; ++e)
            w.queueEvent(uint32_t(random() % kBlock), CAudioWrapper::kEventParamChange,
                         int32_t(random() % w.extParamCount()), double(random() % 1000) / 999.0);
        {
            CAudioThreadCounter counter;
            w.process(ip.data(), numIn, op.data(), numOut, kBlock);
            heapCalls += counter.heapCalls();
            locks += counter.locks();
        }
        ++blocks;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    stop = true;
    user.join();
    // Delay lines that reach further than ever before get their pages
    // from the other threads: the pool does not grow either.
    const size_t poolBlocks = w.engine().heapAllocations() - poolBefore;
    std::printf("audio thread: %zu blocks, %zu heap calls, %zu lock acquisitions, %zu pool blocks from the heap\n",
                blocks, heapCalls, locks, poolBlocks);
    EXPECT_EQ(heapCalls, 0u);
    EXPECT_EQ(locks, 0u);
    EXPECT_EQ(poolBlocks, 0u);
}

// Host automation reaches the audio thread before any other: a delay it
// lengthens applies in the block it is sent for, on both channels of the
// group, while the audio thread allocates nothing and takes no lock.
TEST(AudioThread, HostAutomationLengthensADelayInTheBlockItIsSentFor) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, kBlock);
    std::vector<std::vector<float>> in(2, std::vector<float>(kBlock, 0.5f)), out = in;
    const float* ip[2] = {in[0].data(), in[1].data()};
    float* op[2] = {out[0].data(), out[1].data()};
    for (int i = 0; i < 20; ++i) w.process(ip, 2, op, 2, kBlock);
    int32_t thousands = -1;  // the digit of whole seconds of group 1
    for (size_t i = 0; i < w.extParamCount(); ++i)
        if (w.extParam(i).extName() == CString("ADelay5")) thousands = int32_t(i);
    ASSERT_GE(thousands, 0);

    auto* stack = dynamic_cast<CAudioProcessStack*>(w.engine().graph().child("modLagwell"));
    ASSERT_NE(stack, nullptr);
    auto lines = [&] {
        const auto* delay =
            dynamic_cast<const CModDelay*>(dynamic_cast<CAudioProcess*>(stack->element(0))->child("modDelay"));
        std::vector<const CDSPModDelay*> v;
        for (size_t m = 0; m < delay->moduleCount(); ++m)
            v.push_back(&static_cast<const CModDelayModule&>(delay->module(m)).line());
        return v;
    };
    ASSERT_EQ(lines().size(), 2u);
    const size_t poolBefore = w.engine().heapAllocations();
    w.queueEvent(100, CAudioWrapper::kEventParamChange, thousands, 1.0);  // 9 s
    size_t heapCalls = 0, locks = 0;
    {
        CAudioThreadCounter counter;
        w.process(ip, 2, op, 2, kBlock);
        heapCalls += counter.heapCalls();
        locks += counter.locks();
    }
    for (const CDSPModDelay* line : lines()) {
        EXPECT_EQ(line->delay(), 432000);
        EXPECT_TRUE(line->fading());
    }

    // The parameters have not heard of the host's delay yet when the keeper
    // works the banks out again and the host resets: the group keeps its
    // delay, and its rings are whole again in the next block.
    w.engine().pageKeeper()->serve();
    w.reset();
    {
        CAudioThreadCounter counter;
        w.process(ip, 2, op, 2, kBlock);
        heapCalls += counter.heapCalls();
        locks += counter.locks();
    }
    for (const CDSPModDelay* line : lines()) {
        EXPECT_EQ(line->delay(), 432000);
        EXPECT_EQ(line->ringLength(), line->ringLengthFor(432000));
    }
    EXPECT_EQ(heapCalls, 0u);
    EXPECT_EQ(locks, 0u);
    EXPECT_EQ(w.engine().heapAllocations(), poolBefore);
}

namespace {

// A delay set by the host for group 1 at a sample of the session: a time in
// milliseconds plus a number of samples, sent as their digits.
struct CDelayChange {
    size_t at;
    double ms;
    double samples;
};

// One session through a wrapper of its own, in real time or offline. In
// real time the keeper's thread serves as the plug-in runs it, woken by the
// audio side; the blocks come faster than real time, so the session lets
// the thread answer within half the time the banks' reserve is made for,
// counted in the session's samples.
class CDelaySession {
public:
    static constexpr size_t kHostBlock = 480;

    CDelaySession(double rate, size_t pageLength, bool offline) : m_rate(rate), m_offline(offline) {
        EXPECT_EQ(m_w.init(), nullptr);
        m_w.setupProcessing(rate, kHostBlock);
        if (offline) m_w.setOffline(true);
        CAudioParamCollector& collector =
            *dynamic_cast<CAudioParamCollector*>(m_w.plugin().findObject("plugin.param-collector"));
        CAudioParam* blockSize = collector.find("plugin.modMain.modLagwell.modDelay.block-size");
        EXPECT_NE(blockSize, nullptr);
        if (blockSize) {
            CAudioParamTransaction tx(collector);
            tx.setElements(*blockSize, 0, 0, {double(pageLength)});
            tx.finish("Page length");
        }
        for (size_t i = 0; i < m_w.extParamCount(); ++i) {
            const CString name = m_w.extParam(i).extName();
            for (int d = 0; d < 6; ++d)
                if (name == CString(("ADelay" + std::to_string(d)).c_str())) m_time[d] = int32_t(i);
            for (int d = 0; d < 5; ++d)
                if (name == CString(("SDelay" + std::to_string(d)).c_str())) m_samples[d] = int32_t(i);
        }
    }

    // The next block of `n` samples from `t`, with the changes that fall
    // into it.
    void block(size_t t, size_t n, const std::vector<CDelayChange>& changes, const float* const* in,
               float* const* out) {
        for (const CDelayChange& c : changes)
            if (c.at >= t && c.at < t + n) queue(uint32_t(c.at - t), c);
        {
            CAudioThreadCounter counter;
            m_w.process(in, 2, out, 2, n);
            heapCalls += counter.heapCalls();
            locks += counter.locks();
        }
        if (!m_offline) keepPace(n);
    }

    size_t heapCalls = 0, locks = 0;

private:
    void queue(uint32_t offset, const CDelayChange& c) {
        // Hundredths of a millisecond up to thousands, ones of samples up
        // to ten thousands.
        auto digits = [&](const int32_t* params, int count, long long value) {
            for (int d = 0; d < count; ++d, value /= 10)
                m_w.queueEvent(offset, CAudioWrapper::kEventParamChange, params[d],
                               m_w.extParamToNormalized(size_t(params[d]), double(value % 10)));
        };
        digits(m_time, 6, std::llround(c.ms * 100.0));
        digits(m_samples, 5, std::llround(c.samples));
    }
    void keepPace(size_t n) {
        const CDelayPageKeeper& keeper = *m_w.engine().pageKeeper();
        if (keeper.idle()) {
            m_asked = 0;
            return;
        }
        m_asked += n;
        if (double(m_asked) < m_rate * CDelayPageKeeper::kAnswerMs / 2000.0) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!keeper.idle() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        EXPECT_TRUE(keeper.idle()) << "the keeper's thread did not answer";
        m_asked = 0;
    }

    CTestWrapper m_w;
    double m_rate;
    bool m_offline;
    int32_t m_time[6] = {-1, -1, -1, -1, -1, -1};
    int32_t m_samples[5] = {-1, -1, -1, -1, -1};
    size_t m_asked = 0;  // samples since the keeper was woken
};

// Distinct values on both channels, exact in single precision.
float sessionInput(size_t channel, size_t t) {
    return float(int((t * 2654435761u + channel * 977u) >> 9 & 2047u) - 1024) / 1024.0f;
}

// Renders the session in real time and offline, block by block, and
// expects every output sample to agree; `seconds` past the last change.
void expectRealTimeAsOffline(double rate, size_t pageLength, const std::vector<CDelayChange>& changes, double seconds) {
    CDelaySession live(rate, pageLength, false), offline(rate, pageLength, true);
    const size_t n = CDelaySession::kHostBlock;
    const size_t length = changes.back().at + size_t(seconds * rate);
    std::vector<std::vector<float>> in(2, std::vector<float>(n)), liveOut = in, offlineOut = in;
    const float* ip[2] = {in[0].data(), in[1].data()};
    float* lp[2] = {liveOut[0].data(), liveOut[1].data()};
    float* op[2] = {offlineOut[0].data(), offlineOut[1].data()};
    for (size_t t = 0; t < length; t += n) {
        for (size_t c = 0; c < 2; ++c)
            for (size_t i = 0; i < n; ++i) in[c][i] = sessionInput(c, t + i);
        live.block(t, n, changes, ip, lp);
        offline.block(t, n, changes, ip, op);
        for (size_t c = 0; c < 2; ++c)
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(liveOut[c][i], offlineOut[c][i])
                    << rate << " Hz, pages of " << pageLength << ", channel " << c << ", sample " << t + i;
    }
    EXPECT_EQ(live.heapCalls, 0u);
    EXPECT_EQ(live.locks, 0u);
}

}  // namespace

// Host automation that lengthens a delay applies at the sample it is sent
// for in real time as offline, whatever the rate and page length: from
// none to the longest the parameters reach (12 s where the rate allows),
// from 10 ms to 2 s, and jumping up and down within one second. The
// sessions run until the longest delay has brought back what came in after
// the change.
TEST(AudioThread, HostAutomationOfTheDelayIsSampleExactInRealTimeAsOffline) {
    const CDelayChange longest{3 * CDelaySession::kHostBlock + 137, 9999.99, 99999};
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0})
        for (size_t pageLength : {64u, 8100u, 32768u}) {
            expectRealTimeAsOffline(rate, pageLength, {{0, 0, 0}, longest}, 12.2);
            expectRealTimeAsOffline(rate, pageLength, {{0, 10, 0}, {5000 + 311, 2000, 0}}, 2.2);
            const auto s = [rate](double seconds) { return size_t(seconds * rate) + 77; };
            expectRealTimeAsOffline(rate, pageLength,
                                    {{0, 10, 0},
                                     {s(0.1), 9999.99, 99999},
                                     {s(0.25), 0, 0},
                                     {s(0.26), 5000, 3},
                                     {s(0.5), 20, 0},
                                     {s(0.7), 1, 4321},
                                     {s(0.95), 9999.99, 99999}},
                                    12.2);
            if (HasFatalFailure()) return;
        }
}

// An open editor's level meter fetches the meters' frames at its frame rate
// on its own thread while audio plays: the audio thread never waits for it
// (no lock, no heap), and the meter sees the level it played.
TEST(AudioThread, NeverWaitsForTheLevelMeterReadingItsFrames) {
    test::CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, kBlock);
    std::vector<float> in(kBlock), outL(kBlock), outR(kBlock);
    for (size_t t = 0; t < kBlock; ++t) in[t] = float(0.1 * std::sin(2 * M_PI * double(t) * 4 / double(kBlock)));
    const float* ip[2] = {in.data(), in.data()};
    float* op[2] = {outL.data(), outR.data()};
    for (int i = 0; i < 200; ++i) w.process(ip, 2, op, 2, kBlock);

    test::CInstanceRoot root(w);
    ASSERT_EQ(test::buildEditor(root, R"(
    <ui:param-bridge name="in-routing-bridge" param="plugin.modMain.io-params.in-routing"/>
    <ui:param-bridge name="grouping-bridge" param="plugin.modMain.io-params.grouping"/>
    <ui:viz-exchange name="viz-exchange" interface-client="^interface-client" fps="60"/>
    <ui:view name="box" is-root-view="true" width="40" height="100">
      <ui:min-max name="range" min="-48" max="6"/>
      <ui:level-meter name="meter" placement="full" min-max="^range">
        <ui:level-meter-listener name="listener" viz-name="plugin.modMain.modMeterOut" fps="60"/>
        <ui:ui-param name="ui-param-in-routing" bridge="ui.in-routing-bridge"/>
        <ui:ui-param name="ui-param-grouping" bridge="ui.grouping-bridge"/>
      </ui:level-meter>
    </ui:view>)"),
              nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* listener = dynamic_cast<CLevelMeterListener*>(root.findObject("ui.box.meter.listener"));
    auto* meter = dynamic_cast<CLevelMeterBase*>(root.findObject("ui.box.meter"));
    ASSERT_TRUE(listener && meter);

    std::atomic<bool> stop{false};
    std::atomic<size_t> frames{0};
    std::thread editor([&] {
        const auto start = std::chrono::steady_clock::now();
        while (!stop) {
            const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_EQ(listener->update(now), nullptr);
            ++frames;
        }
    });
    size_t heapCalls = 0, locks = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
        CAudioThreadCounter counter;
        w.process(ip, 2, op, 2, kBlock);
        heapCalls += counter.heapCalls();
        locks += counter.locks();
    }
    stop = true;
    editor.join();
    std::printf("audio thread beside %zu meter frames: %zu heap calls, %zu lock acquisitions\n", frames.load(),
                heapCalls, locks);
    EXPECT_GT(frames.load(), 100u);
    EXPECT_EQ(heapCalls, 0u);
    EXPECT_EQ(locks, 0u);
    ASSERT_EQ(meter->bars().size(), 2u);
    // RMS of a sine of amplitude 0.1: -23 dB (the short integration reads
    // it a little high).
    EXPECT_NEAR(meter->bars()[0].level, -23.0, 1.0);
}
