// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#include "../UI/EditorInstance.h"
#include "Audio/AudioWrapper.h"
#include "Audio/Engine/AudioGraph.h"
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
// lengthens waits for the keeper's thread to bring the pages, then applies
// on both channels of the group in the same block, while the audio thread
// allocates nothing and takes no lock.
TEST(AudioThread, HostAutomationLengthensADelayOnceTheKeeperBringsItsPages) {
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
    const size_t poolBefore = w.engine().heapAllocations();
    w.queueEvent(0, CAudioWrapper::kEventParamChange, thousands, 1.0);  // 9 s
    size_t heapCalls = 0, locks = 0;
    long long first = -1, second = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        {
            CAudioThreadCounter counter;
            w.process(ip, 2, op, 2, kBlock);
            heapCalls += counter.heapCalls();
            locks += counter.locks();
        }
        const auto* delay =
            dynamic_cast<const CModDelay*>(dynamic_cast<CAudioProcess*>(stack->element(0))->child("modDelay"));
        ASSERT_EQ(delay->moduleCount(), 2u);
        first = static_cast<const CModDelayModule&>(delay->module(0)).line().delay();
        second = static_cast<const CModDelayModule&>(delay->module(1)).line().delay();
        ASSERT_EQ(first, second) << "the channels of a group move together";
        if (first == 432000) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(first, 432000);

    // The parameters have not heard of the host's delay yet when the keeper
    // works the banks out again and the host resets: the group keeps its
    // pages, and its rings are whole again in the next block.
    w.engine().pageKeeper()->serve();
    w.reset();
    {
        CAudioThreadCounter counter;
        w.process(ip, 2, op, 2, kBlock);
        heapCalls += counter.heapCalls();
        locks += counter.locks();
    }
    const auto* delay =
        dynamic_cast<const CModDelay*>(dynamic_cast<CAudioProcess*>(stack->element(0))->child("modDelay"));
    for (size_t m = 0; m < 2; ++m) {
        const CDSPModDelay& line = static_cast<const CModDelayModule&>(delay->module(m)).line();
        EXPECT_EQ(line.delay(), 432000);
        EXPECT_EQ(line.ringLength(), line.ringLengthFor(432000));
    }
    EXPECT_EQ(heapCalls, 0u);
    EXPECT_EQ(locks, 0u);
    EXPECT_EQ(w.engine().heapAllocations(), poolBefore);
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
