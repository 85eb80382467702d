// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>

#include "Audio/Modules/ModBypass.h"
#include "Audio/Modules/ModGain.h"

using namespace zel;

namespace {

constexpr size_t kBlock = 8;

// The noise floor's signs for seeds 1..16 from 0, worked out by hand from
// seed × 30013 + 30011: 30011 has bit 23 clear, 900750154 has it set, ...
const char* const kNoiseSigns = "-++--+-+--+---++";

// A parameter as the engine hands it to the audio thread.
struct CTestParam {
    CAudioParamInfo info;
    std::unique_ptr<CAudioParamCopy> copy;

    explicit CTestParam(double def, bool single = false) {
        info.defaultValue.set(0, 0, 0, def);
        info.isSingleGroup = info.isSingleElement = single;
        copy = std::make_unique<CAudioParamCopy>(info);
    }
    CTestParam(const CTestParam&) = delete;
    void set(size_t group, double v) { copy->setGroup(group, &v, 1); }
};

class CTestGraph final : public CAudioGraphContext {
public:
    struct CBinding {
        const CTestParam* param;
        bool allGroups;
    };

    CTestGraph() {
        m_format.sampleRate = 48000.0;
        m_format.maxBlock = kBlock;
    }
    CPoolAllocator& pool() override { return m_pool; }
    const CAudioStreamFormat& format() const override { return m_format; }
    void bindSlots(const CAudioProcessDefBase&, std::vector<CAudioParamSlot>& slots) override {
        for (size_t i = 0; i < slots.size() && i < bindings.size(); ++i)
            if (bindings[i].param) slots[i].bind(bindings[i].param->copy.get(), bindings[i].allGroups, false);
    }
    const CAudioParamCopy* findParam(const CObject&, const CString&) override { return nullptr; }
    CAudioVizCollector* vizCollector() override { return nullptr; }

    CAudioChannel channel(int number, int group, std::initializer_list<double> samples) {
        CAudioChannel c;
        c.channel = number;
        c.group = group;
        c.buffer = newBuffer();
        std::copy(samples.begin(), samples.end(), c.buffer.data());
        return c;
    }

    std::vector<CBinding> bindings;

private:
    CPoolAllocator m_pool;
    CAudioStreamFormat m_format;
};

void expectNoise(const double* out, size_t n, size_t first = 0) {
    for (size_t i = 0; i < n; ++i)
        EXPECT_EQ(out[i], kNoiseSigns[first + i] == '+' ? 1e-11 : -1e-11) << "sample " << first + i;
}

void bindGain(CModGainModule& m, CTestParam& gain, CTestParam& mute, CTestParam& invert) {
    m.slots()[CModGainModule::kGain].bind(gain.copy.get(), false, false);
    m.slots()[CModGainModule::kMute].bind(mute.copy.get(), false, false);
    m.slots()[CModGainModule::kPhaseInvert].bind(invert.copy.get(), false, false);
}

void bindBypass(CModBypassModule& m, CTestParam& enable, CTestParam& solo) {
    m.slots()[CModBypassModule::kEnable].bind(enable.copy.get(), false, false);
    m.slots()[CModBypassModule::kGroupSolo].bind(solo.copy.get(), true, false);
}

}  // namespace

TEST(GainProcess, NeutralGainPassesTheSameBufferAndPolarityNegatesExactly) {
    CTestGraph graph;
    CTestParam gain(1.0), mute(0.0), invert(0.0);
    graph.bindings = {{&gain, false}, {&mute, false}, {&invert, false}};
    CModGainDef def;
    CModGain process;
    ASSERT_EQ(process.init(def, graph), nullptr);

    process.inputs[0].push_back(graph.channel(0, 0, {0.5, -0.25, 1.0, 0.0, -1.0, 0.125, 3.0, -7.5}));
    const CAudioBuffer* input = process.inputs[0][0].buffer.get();
    process.update();
    process.process(kBlock);
    ASSERT_EQ(process.output.size(), 1u);
    EXPECT_EQ(process.output[0].buffer.get(), input);
    EXPECT_EQ(input->refs(), 2u);

    invert.set(0, 1.0);
    process.update();
    process.process(kBlock);
    ASSERT_EQ(process.output.size(), 1u);
    ASSERT_NE(process.output[0].buffer.get(), input);
    const double* in = input->data();
    const double* out = process.output[0].buffer.data();
    for (size_t i = 0; i < kBlock; ++i) EXPECT_EQ(out[i], -in[i]) << i;
}

TEST(GainModule, AppliesItsGroupsFactorWithPolarity) {
    CTestParam gain(1.0), mute(0.0), invert(0.0);
    const double g = std::pow(10.0, 6.0 / 20.0);
    gain.set(0, 0.25);
    gain.set(1, g);
    CModGainModule m;
    m.group = 1;
    bindGain(m, gain, mute, invert);
    m.update();
    EXPECT_TRUE(m.active());
    const double in[4] = {0.3, -0.7, 1.0, 1e-3};
    double out[4];
    m.process(in, out, 4);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out[i], in[i] * g) << i;

    invert.set(1, 1.0);
    m.update();
    m.process(in, out, 4);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out[i], -(in[i] * g)) << i;
}

TEST(GainModule, UnityWithinOneUlpStaysInactive) {
    CTestParam gain(1.0), mute(0.0), invert(0.0);
    CModGainModule m;
    bindGain(m, gain, mute, invert);
    const double up1 = std::nextafter(1.0, 2.0), up2 = std::nextafter(up1, 2.0);
    for (double v : {1.0, up1, std::nextafter(1.0, 0.0)}) {
        gain.set(0, v);
        m.update();
        EXPECT_FALSE(m.active()) << v;
    }
    gain.set(0, up2);
    m.update();
    EXPECT_TRUE(m.active());

    // Unbound slots read as neutral.
    CModGainModule unbound;
    unbound.update();
    EXPECT_FALSE(unbound.active());
    EXPECT_EQ(unbound.factor(), 1.0);
}

TEST(GainModule, MutedWritesTheNoiseFloorAcrossBlocksAndResetRestartsIt) {
    CTestParam gain(1.0), mute(0.0), invert(0.0);
    CModGainModule m;
    bindGain(m, gain, mute, invert);
    gain.set(0, 2.0);
    invert.set(0, 1.0);
    mute.set(0, 0.5);
    m.update();
    ASSERT_TRUE(m.muted());
    EXPECT_EQ(m.factor(), 0.0);
    EXPECT_TRUE(m.active());

    const double in[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    double out[16];
    m.process(in, out, 8);
    m.process(in, out + 8, 8);
    expectNoise(out, 16);

    m.reset();
    m.process(in, out, 3);
    expectNoise(out, 3);
}

TEST(BypassModule, SoloOfOneGroupSilencesTheOthers) {
    CTestParam enable(0.0, true), solo(0.0);
    solo.set(1, 1.0);
    for (double on : {0.0, 1.0}) {
        enable.set(0, on);
        for (int group : {0, 1, 2, 7}) {
            CModBypassModule m;
            m.group = group;
            bindBypass(m, enable, solo);
            m.update();
            m.setDryInput(true);
            // Bypassed, the soloed group takes the dry signal.
            EXPECT_EQ(m.passes(), group == 1 && on == 0.0) << group << " " << on;
            EXPECT_EQ(m.silent(), group != 1) << group << " " << on;
        }
    }
}

TEST(BypassModule, DryInputArrivingAfterUpdateRedecides) {
    CTestParam enable(0.0, true), solo(0.0);
    CModBypassModule m;
    bindBypass(m, enable, solo);
    enable.set(0, 1.0);
    m.update();
    EXPECT_TRUE(m.silent());
    m.setDryInput(true);
    EXPECT_FALSE(m.silent());
    EXPECT_FALSE(m.passes());
    // A later value is only taken over by update().
    enable.set(0, 0.0);
    m.setDryInput(false);
    EXPECT_TRUE(m.silent());
    m.update();
    EXPECT_TRUE(m.passes());
}

TEST(BypassProcess, SharesWetOrDryBuffersAndFallsToNoiseWithoutDry) {
    CTestGraph graph;
    CTestParam enable(0.0, true), solo(0.0);
    graph.bindings = {{&enable, false}, {&solo, true}};
    CModBypassDef def;
    CModBypass process;
    ASSERT_EQ(process.init(def, graph), nullptr);

    process.inputs[0].push_back(graph.channel(0, 0, {1, 2, 3, 4, 5, 6, 7, 8}));
    process.inputs[0].push_back(graph.channel(1, 0, {-1, -2, -3, -4, -5, -6, -7, -8}));
    // Only channel 0 has a dry signal.
    process.inputs[1].push_back(graph.channel(0, 0, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}));
    const CAudioBuffer* wet0 = process.inputs[0][0].buffer.get();
    const CAudioBuffer* wet1 = process.inputs[0][1].buffer.get();
    const CAudioBuffer* dry0 = process.inputs[1][0].buffer.get();

    process.update();
    process.process(kBlock);
    ASSERT_EQ(process.output.size(), 2u);
    EXPECT_EQ(process.output[0].buffer.get(), wet0);
    EXPECT_EQ(process.output[1].buffer.get(), wet1);

    enable.set(0, 1.0);
    process.update();
    process.process(kBlock);
    ASSERT_EQ(process.output.size(), 2u);
    EXPECT_EQ(process.output[0].buffer.get(), dry0);
    EXPECT_EQ(process.output[0].channel, 0);
    ASSERT_TRUE(process.output[1].buffer);
    EXPECT_EQ(process.output[1].channel, 1);
    expectNoise(process.output[1].buffer.data(), kBlock);
}
