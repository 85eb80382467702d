// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Audio/AudioEnv.h"
#include "Audio/AudioWrapper.h"
#include "Audio/Param.h"
#include "Audio/ParamDef.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Audio/Preset.h"
#include "Core/MemoryStream.h"
#include "Support/FactoryValues.h"
#include "Support/Printers.h"
#include "Support/ShownErrors.h"

using namespace zel;

namespace {

// A host layer that records what the wrapper tells it.
class CTestWrapper final : public CAudioWrapper {
public:
    std::vector<std::pair<size_t, double>> reported;
    std::vector<int> programs;
    void reportExtParam(size_t index, double normalized) override { reported.emplace_back(index, normalized); }
    void beginExtParamEdit(size_t) override {}
    void performExtParamEdit(size_t index, double normalized) override { reported.emplace_back(index, normalized); }
    void endExtParamEdit(size_t) override {}
    void onProgramChanged(int program) override { programs.push_back(program); }
};

size_t indexOf(const CAudioWrapper& w, const char* title) {
    for (size_t i = 0; i < w.extParamCount(); ++i)
        if (w.extParam(i).extName() == title) return i;
    ADD_FAILURE() << "no host parameter " << title;
    return 0;
}

template <class T>
struct CBlock {
    std::vector<std::vector<T>> in, out;
    std::vector<const T*> ip;
    std::vector<T*> op;
    CBlock(size_t channels, size_t n) : in(channels, std::vector<T>(n)), out(channels, std::vector<T>(n, T(-9))) {
        for (size_t c = 0; c < channels; ++c) {
            for (size_t t = 0; t < n; ++t) in[c][t] = T(std::sin(0.01 * double(t + 1) * double(c + 1)));
            ip.push_back(in[c].data());
            op.push_back(out[c].data());
        }
    }
    void run(CAudioWrapper& w) { w.process(ip.data(), ip.size(), op.data(), op.size(), in[0].size()); }
};

CAudioParamCollector& collectorOf(CAudioWrapper& w) {
    return *dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
}

CAudioParam* ioParam(CAudioWrapper& w, const char* name) {
    CAudioParam* p = collectorOf(w).find(CString("plugin.modMain.io-params.") + name);
    if (!p) ADD_FAILURE() << "no routing parameter " << name;
    return p;
}

std::vector<double> ioRow(CAudioWrapper& w, const char* name) {
    std::vector<double> row;
    if (CAudioParam* p = ioParam(w, name))
        for (size_t e = 0; e < 8; ++e) row.push_back(p->storage().read(0, e));
    return row;
}

}  // namespace

// The host's layout picks the system routing preset made for it; a stereo
// layout keeps the user's routing.
TEST(AudioWrapper, HostLayoutPicksItsRoutingPreset) {
    using CRow = std::vector<double>;
    const struct {
        size_t inputs, outputs;
        CRow inRouting, outRouting, grouping;
    } cases[] = {
        {1, 1, {1, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 1, 1, 2, 2, 3, 3}},  // "Force Mono"
        {1, 2, {1, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0}, {0, 0, 1, 1, 2, 2, 3, 3}},  // "Mono To Stereo"
        {6, 6, {1, 2, 3, 4, 5, 6, 0, 0}, {1, 2, 3, 4, 5, 6, 0, 0}, {0, 0, 1, 2, 3, 3, 3, 3}},  // 5.1 groups
        {8, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 0, 0}, {0, 0, 1, 2, 3, 3, 4, 4}},  // 7.1 groups
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.inputs) + " in, " + std::to_string(c.outputs) + " out");
        CTestWrapper w;
        ASSERT_EQ(w.init(), nullptr);
        w.setIOChannels(c.inputs, c.outputs);
        EXPECT_EQ(ioRow(w, "in-routing"), c.inRouting);
        EXPECT_EQ(ioRow(w, "out-routing"), c.outRouting);
        EXPECT_EQ(ioRow(w, "grouping"), c.grouping);
    }

    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setIOChannels(6, 6);
    const CRow own = {1, 2, 2, 1, 0, 0, 0, 0};
    CAudioParam* inRouting = ioParam(w, "in-routing");
    ASSERT_NE(inRouting, nullptr);
    {
        CAudioParamTransaction tx(collectorOf(w));
        tx.setElements(*inRouting, 0, 0, own);
        tx.finish("Routing");
    }
    w.setIOChannels(2, 2);
    EXPECT_EQ(ioRow(w, "in-routing"), own) << "stereo keeps what the user routed";
    EXPECT_EQ(ioRow(w, "grouping"), (CRow{0, 0, 1, 2, 3, 3, 3, 3}));
}

TEST(AudioWrapper, InitialisesTheInstanceAndItsHostFacts) {
    CTestWrapper w;
    CErrorPtr err = w.init();
    ASSERT_EQ(err, nullptr) << err->describe();
    ASSERT_EQ(w.extParamCount(), 49u);
    EXPECT_EQ(w.extParam(0).extName(), "Bypass");
    EXPECT_EQ(w.extParamSteps(0), 1);
    EXPECT_EQ(w.extParamSteps(indexOf(w, "ADelay3")), 0);
    EXPECT_EQ(w.internalChannelCount(), 8u);
    EXPECT_EQ(w.groupCount(), 8u);
    w.setupProcessing(48000, 1024);
    EXPECT_EQ(w.tailSamples(), 576000);
    EXPECT_EQ(w.latency(), 0);
    EXPECT_EQ(w.extParamText(0, 1.0), "On");
    double v = -1;
    EXPECT_TRUE(w.extParamFromText(indexOf(w, "SDelay1"), "7", v));
    EXPECT_DOUBLE_EQ(v, 7.0 / 9.0);
    EXPECT_FALSE(w.extParamFromText(indexOf(w, "SDelay1"), "seven", v));
}

TEST(AudioWrapper, AnEventTakesEffectAtItsExactSample) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 512);
    CBlock<double> warm(2, 256), block(2, 256);
    warm.run(w);
    // SDelay0 to 5 samples at offset 100: samples before it are untouched,
    // the fade to the new delay starts exactly there.
    w.queueEvent(100, CAudioWrapper::kEventParamChange, int32_t(indexOf(w, "SDelay0")), 5.0 / 9.0);
    block.run(w);
    for (size_t t = 0; t <= 100; ++t) ASSERT_EQ(block.out[0][t], block.in[0][t]) << t;
    EXPECT_NE(block.out[0][101], block.in[0][101]);
    w.idle();  // the parameters hear of the automation on the UI thread
    EXPECT_DOUBLE_EQ(w.extParamNormalized(indexOf(w, "SDelay0")), 5.0 / 9.0);
    EXPECT_TRUE(w.reported.empty()) << "the host's own automation is not reported back";

    // A long host block runs in sub-blocks of 512: the block time of the
    // first one is what the environment shows.
    CBlock<double> longBlock(2, 2000);
    longBlock.run(w);
    CAudioEnv& env = *dynamic_cast<CAudioEnv*>(w.plugin().findObject("plugin.audio-env"));
    EXPECT_DOUBLE_EQ(env.blockEndTime - (512.0 / 48000.0), 512.0 / 48000.0) << "two blocks of 256 before it";
}

// A host that sends more changes in one block than the queue holds loses
// intermediate points only: every parameter ends on its last value, also
// one whose only change comes after the queue filled up.
TEST(AudioWrapper, AnOverfullEventQueueKeepsEveryParametersLastChange) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 512);
    const int32_t units = int32_t(indexOf(w, "SDelay0")), tens = int32_t(indexOf(w, "SDelay1"));
    for (uint32_t i = 0; i < 5000; ++i)
        w.queueEvent(i % 100, CAudioWrapper::kEventParamChange, units, double(i % 2) / 9.0);
    w.queueEvent(200, CAudioWrapper::kEventParamChange, units, 7.0 / 9.0);
    w.queueEvent(150, CAudioWrapper::kEventParamChange, units, 4.0 / 9.0);  // earlier than the last: dropped
    w.queueEvent(250, CAudioWrapper::kEventParamChange, tens, 3.0 / 9.0);
    CBlock<double> block(2, 256);
    block.run(w);
    w.idle();
    EXPECT_DOUBLE_EQ(w.extParamNormalized(size_t(units)), 7.0 / 9.0);
    EXPECT_DOUBLE_EQ(w.extParamNormalized(size_t(tens)), 3.0 / 9.0);
}

TEST(AudioWrapper, ThePluginsValuesFollowTheHostsLatestAutomationHoweverLongTheUIWaits) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 512);
    CBlock<float> block(2, 64);
    const size_t digit = indexOf(w, "SDelay0");
    // Blocks full of automation while the UI thread looks away.
    for (int b = 0; b < 200; ++b) {
        for (uint32_t e = 0; e < 60; ++e)
            w.queueEvent(e, CAudioWrapper::kEventParamChange, int32_t(digit), double((b + int(e)) % 10) / 9.0);
        block.run(w);
    }
    EXPECT_EQ(w.extParamNormalized(digit), 0.0) << "the parameters hear of it on the UI thread only";
    w.idle();
    EXPECT_DOUBLE_EQ(w.extParamNormalized(digit), double((199 + 59) % 10) / 9.0);
    EXPECT_TRUE(w.reported.empty()) << "the host's own automation is not reported back";
}

TEST(AudioWrapper, SingleAndDoublePrecisionAgreeAndUnservedOutputsAreSilent) {
    CTestWrapper a, b;
    ASSERT_EQ(a.init(), nullptr);
    ASSERT_EQ(b.init(), nullptr);
    for (CAudioWrapper* w : {&a, &b}) {
        w->setupProcessing(44100, 512);
        w->registry().activateRomPreset(9);  // "Stereo Delay"
    }
    CBlock<float> f(4, 3000);
    CBlock<double> d(4, 3000);
    for (size_t c = 0; c < 4; ++c)
        for (size_t t = 0; t < 3000; ++t) d.in[c][t] = double(f.in[c][t]);
    f.run(a);
    d.run(b);
    for (size_t t = 0; t < 3000; ++t) {
        ASSERT_EQ(f.out[0][t], float(d.out[0][t])) << t;
        ASSERT_EQ(f.out[1][t], float(d.out[1][t])) << t;
        ASSERT_EQ(d.out[2][t], 0.0);
    }
    EXPECT_EQ(d.out[0][441], d.in[0][0]) << "10 ms at 44.1 kHz";
    EXPECT_EQ(d.out[0][440], 0.0);
    EXPECT_DOUBLE_EQ(d.out[1][5], d.in[1][5] * test::kStereoDelayRightGain);
}

TEST(AudioWrapper, OddLengthsMissingInputsAndMissingOutputsConvertExactly) {
    // Sub-blocks whose lengths are not multiples of the conversion's four
    // samples; a host channel without a buffer reads as silence and an
    // output without one is left alone.
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 512);
    CBlock<float> f(2, 1001);
    f.ip[1] = nullptr;
    f.op[1] = nullptr;
    for (size_t n : {1001u, 7u, 3u}) {
        for (auto& x : f.out) std::fill(x.begin(), x.end(), -9.0f);
        w.process(f.ip.data(), 2, f.op.data(), 2, n);
        for (size_t t = 0; t < n; ++t) ASSERT_EQ(f.out[0][t], f.in[0][t]) << "no delay: the input exactly, " << t;
        for (size_t t = n; t < 1001; ++t) ASSERT_EQ(f.out[0][t], -9.0f) << "beyond the block " << t;
        EXPECT_EQ(f.out[1], std::vector<float>(1001, -9.0f)) << "no output buffer: nothing written";
    }
}

TEST(AudioWrapper, ChangesInsideThePluginReachTheHostAndStateRoundTrips) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 512);
    w.registry().activateRomPreset(1);  // "32 samples": SDelay0 = 2, SDelay1 = 3
    bool sawDigit = false;
    for (const auto& [index, value] : w.reported)
        if (index == indexOf(w, "SDelay1")) sawDigit = value == 3.0 / 9.0;
    EXPECT_TRUE(sawDigit);
    w.reported.clear();
    w.setExtParamNormalized(indexOf(w, "4ADly2"), 1.0);
    EXPECT_TRUE(w.reported.empty());

    CMemoryWriter bank;
    ASSERT_EQ(w.registry().acquireBank(bank), nullptr);
    CAudioPresetBank two;
    CMemoryReaderStatic bankIn(bank.bytes().data(), bank.bytes().size());
    ASSERT_EQ(two.load(bankIn), nullptr);
    two.presets().push_back(two.presets()[0]);
    CMemoryWriter twoOut;
    ASSERT_EQ(two.save(twoOut), nullptr);
    CMemoryReaderStatic twoIn(twoOut.bytes().data(), twoOut.bytes().size());
    ASSERT_EQ(w.registry().loadSessionBank(twoIn), nullptr);
    w.registry().setCurrentProgram(1);
    EXPECT_EQ(w.programs, (std::vector<int>{0, 1})) << "the host hears of every program change";

    CMemoryWriter state;
    ASSERT_EQ(w.saveState(state), nullptr);
    CTestWrapper other;
    ASSERT_EQ(other.init(), nullptr);
    CMemoryReaderStatic in(state.bytes().data(), state.bytes().size());
    ASSERT_EQ(other.restoreState(in), nullptr);
    EXPECT_DOUBLE_EQ(other.extParamNormalized(indexOf(other, "4ADly2")), 1.0);
    EXPECT_DOUBLE_EQ(other.extParamNormalized(indexOf(other, "SDelay1")), 3.0 / 9.0);
}

TEST(AudioWrapper, GlobalSettingsFollowInEveryInstance) {
    CTestWrapper a, b;
    ASSERT_EQ(a.init(), nullptr);
    ASSERT_EQ(b.init(), nullptr);
    auto param = [](CAudioWrapper& w, const char* name) -> CAudioParam& {
        return *dynamic_cast<CAudioParam*>(w.plugin().findObject(CString("plugin.modMain.") + name));
    };
    auto set = [&](CAudioWrapper& w, const char* name, double v) {
        CAudioParamTransaction tx(
            *dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector")));
        tx.setElements(param(w, name), 0, 0, {v});
        tx.finish("Edit");
    };
    set(a, "meter-rmstime", 0.3);
    EXPECT_DOUBLE_EQ(param(b, "meter-rmstime").storage().read(0, 0), 0.3) << "the other instance follows";
    {
        CTestWrapper later;
        ASSERT_EQ(later.init(), nullptr);
        EXPECT_DOUBLE_EQ(param(later, "meter-rmstime").storage().read(0, 0), 0.3) << "a new instance starts with it";
        EXPECT_EQ(later.globalParams().size(), 5u) << "three meter times, the colour name and palette";
    }
    set(b, "meter-rmstime", 0.002);
    EXPECT_DOUBLE_EQ(param(a, "meter-rmstime").storage().read(0, 0), 0.002);
}

// The host's thread edits while the audio thread processes, as in a host:
// the last edit reaches the sound. Under ThreadSanitizer (make tsan) this
// is the hand-over of changes to the audio thread.
TEST(AudioWrapperThreaded, EditsWhileProcessingReachTheSound) {
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 256);
    const size_t units = indexOf(w, "SDelay0");
    std::atomic<bool> editing{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        CBlock<double> block(2, 256);
        while (editing.load() || blocks.load() < 4) {
            block.run(w);
            ++blocks;
        }
    });
    for (int i = 0; i < 300; ++i) w.setExtParamNormalized(units, double(i % 10) / 9.0);
    w.setExtParamNormalized(units, 5.0 / 9.0);
    editing = false;
    audio.join();

    CBlock<double> settle(2, 2048), block(2, 256);
    settle.run(w);
    block.run(w);
    for (size_t t = 5; t < 256; ++t) ASSERT_EQ(block.out[0][t], block.in[0][t - 5]) << t;
}

TEST(AudioWrapper, DamagedSharedRoutingListFallsBackToTheEmbeddedOne) {
    CShownErrors shown;
    const std::string file = CAppDataGlobal::instance().itemPath("../routing-presets-sys");
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    std::ofstream(file, std::ios::binary) << "garbage";
    CTestWrapper w;
    ASSERT_EQ(w.init(), nullptr);
    w.setIOChannels(1, 2);
    auto* out =
        dynamic_cast<CAudioParam*>(w.plugin().findObject(w.plugin().fullName() + ".modMain.io-params.out-routing"));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->storage().read(0, 0), 1.0);
    EXPECT_EQ(out->storage().read(0, 1), 1.0) << "mono reaches the right output too";
    EXPECT_TRUE(std::filesystem::exists(file + CAppData::kDamagedSuffix));
    EXPECT_EQ(shown.shown().size(), 1u);
    std::filesystem::remove(file + CAppData::kDamagedSuffix);
}
