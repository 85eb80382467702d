// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>

#include "Audio/AudioEngine.h"
#include "Audio/Engine/AudioGraph.h"
#include "Audio/Modules/ModDelay.h"
#include "Audio/Modules/ModMeter.h"
#include "Audio/ParamTransaction.h"
#include "Audio/VizCollector.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"
#include "Support/HeapCounter.h"
#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

constexpr size_t kChannels = 8;

// An instance with its engine and host-side buffers of 8 channels.
struct CRig {
    CInstance inst;
    CAudioEngine engine;
    std::vector<std::vector<double>> in, out;

    explicit CRig(double rate = 48000, size_t block = 512) : in(kChannels), out(kChannels) {
        CErrorPtr err = engine.build(*inst.root.findObject("plugin"));
        EXPECT_EQ(err, nullptr) << (err ? err->describe() : "");
        engine.setFormat(rate, block);
    }
    // Runs n samples of a signal where input channel h at time t is
    // signal(h, t); `start` continues the time axis.
    void run(size_t n, size_t start = 0) {
        std::vector<const double*> ip;
        std::vector<double*> op;
        for (size_t h = 0; h < kChannels; ++h) {
            in[h].resize(n);
            out[h].assign(n, -99.0);
            for (size_t t = 0; t < n; ++t) in[h][t] = signal(h, start + t);
            ip.push_back(in[h].data());
            op.push_back(out[h].data());
        }
        engine.process(ip.data(), kChannels, op.data(), kChannels, n);
    }
    static double signal(size_t h, size_t t) {
        return std::sin(0.001 * double(t) * double(h + 1)) * (0.25 + 0.1 * double(h)) + 0.01 * double(h);
    }
};

bool isNoiseFloor(const std::vector<double>& v, size_t from = 0) {
    for (size_t i = from; i < v.size(); ++i)
        if (std::fabs(v[i]) != 1e-11) return false;
    return true;
}

}  // namespace

TEST(Engine, DefaultStereoPassesBitForBitAndOtherOutputsAreSilent) {
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        CRig rig(rate, 512);
        rig.run(1500);
        for (size_t t = 0; t < 1500; ++t) {
            ASSERT_EQ(rig.out[0][t], rig.in[0][t]) << rate << " Hz, sample " << t;
            ASSERT_EQ(rig.out[1][t], rig.in[1][t]);
        }
        for (size_t k = 2; k < kChannels; ++k) EXPECT_EQ(rig.out[k], std::vector<double>(1500, 0.0));
        EXPECT_TRUE(rig.engine.graph().isBypassed("modMSEncoder")) << "no M/S pair: the coders do not run";
        EXPECT_TRUE(rig.engine.graph().isBypassed("modGroupSolo")) << "no solo: the solo stage does not run";
        EXPECT_EQ(rig.engine.latency(), 0);
    }
}

TEST(Engine, DelaysAGroupByItsDigits) {
    CRig rig;
    rig.inst.edit("modLagwell.adelay", 0, 0, {0, 0, 0, 1});  // 10.00 ms
    rig.inst.edit("modLagwell.sdelay", 0, 0, {5});           // + 5 samples
    rig.run(3000);
    for (size_t t = 0; t < 3000; ++t) {
        const double expected = t < 485 ? 0.0 : rig.in[0][t - 485];
        ASSERT_EQ(rig.out[0][t], expected) << t;
    }
}

// Host blocks of floats reach the delay lines unconverted while nothing
// else has read them: whatever reads them on the way (a fade of the delay,
// the meters, mid/side coding, the bypass's dry path), every output sample
// and meter level is what the same samples give as doubles.
TEST(Engine, SingleAndDoublePrecisionHostBlocksAgreeWhateverReadsThem) {
    CRig doubles, floats;
    auto both = [&](const char* name, std::vector<double> v) {
        doubles.inst.edit(name, 0, 0, v);
        floats.inst.edit(name, 0, 0, v);
    };
    auto levels = [](CRig& rig) {
        std::vector<double> v;
        for (const char* name : {"modMeterOut", "modMeterIODiff"}) {
            const auto& meter = dynamic_cast<const CModMeter&>(*rig.engine.graph().child(name));
            for (size_t i = 0; i < meter.moduleCount(); ++i) {
                const auto& m = static_cast<const CModMeterModule&>(meter.module(i));
                v.insert(v.end(), {m.integrated(), m.referenceLevel(), m.released()});
            }
        }
        return v;
    };
    size_t at = 0;
    auto run = [&](std::initializer_list<size_t> blocks, const char* what) {
        for (size_t n : blocks) {
            std::vector<std::vector<float>> fin(2, std::vector<float>(n)), fout(2, std::vector<float>(n, -9.0f));
            std::vector<std::vector<double>> din(2, std::vector<double>(n)), dout(2, std::vector<double>(n, -9.0));
            std::vector<const float*> fip;
            std::vector<float*> fop;
            std::vector<const double*> dip;
            std::vector<double*> dop;
            for (size_t h = 0; h < 2; ++h) {
                for (size_t t = 0; t < n; ++t) din[h][t] = fin[h][t] = float(CRig::signal(h, at + t));
                fip.push_back(fin[h].data());
                fop.push_back(fout[h].data());
                dip.push_back(din[h].data());
                dop.push_back(dout[h].data());
            }
            doubles.engine.process(dip.data(), 2, dop.data(), 2, n);
            floats.engine.process(fip.data(), 2, fop.data(), 2, n);
            for (size_t h = 0; h < 2; ++h)
                for (size_t t = 0; t < n; ++t)
                    ASSERT_EQ(fout[h][t], float(dout[h][t])) << what << ", channel " << h << ", sample " << at + t;
            ASSERT_EQ(levels(floats), levels(doubles)) << what << " at " << at;
            at += n;
        }
    };
    run({512, 300, 7, 512}, "no delay");
    both("modLagwell.sdelay", {7});
    run({512, 512, 100}, "a fade to 7 samples");
    both("modLagwell.adelay", {0, 0, 0, 1});
    run({512, 512, 512, 512, 33}, "10 ms");
    both("modMeterOut-enable", {1});
    both("modMeterIODiff-enable", {1});
    run({512, 512, 512, 512}, "meters");
    both("io-params.ms-pairs", {1});
    run({512, 512, 512}, "mid/side");
    both("bypass-enable", {1});
    run({512, 512, 512}, "bypass");
    EXPECT_GT(levels(floats)[0], 0.0) << "the meters ran";
}

TEST(Engine, GroupsReadTheirOwnValuesAndFollowTheGrouping) {
    CRig rig;
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("io-params.out-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("modLagwell.sdelay", 1, 0, {7});  // group 1: channels 3 and 4
    rig.run(1000);
    for (size_t t = 0; t < 1000; ++t) {
        ASSERT_EQ(rig.out[0][t], rig.in[0][t]);
        ASSERT_EQ(rig.out[2][t], t < 7 ? 0.0 : rig.in[2][t - 7]);
        ASSERT_EQ(rig.out[3][t], t < 7 ? 0.0 : rig.in[3][t - 7]);
    }
    auto* lagwell = dynamic_cast<CAudioProcessStack*>(rig.engine.graph().child("modLagwell"));
    ASSERT_NE(lagwell, nullptr);
    EXPECT_EQ(lagwell->elementCount(), 2u);

    // Channels 3 and 4 join group 0: group 1's element and its history go.
    rig.inst.edit("io-params.grouping", 0, 0, {0, 0, 0, 0});
    rig.run(512, 1000);
    EXPECT_EQ(lagwell->elementCount(), 1u);
    EXPECT_EQ(lagwell->element(1), nullptr);
    EXPECT_EQ(rig.out[2][0], rig.in[2][0]) << "group 0 has no delay";
}

TEST(Engine, TwoInputsIntoOneChannelAverage) {
    CRig rig;
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 1});
    rig.run(600);
    for (size_t t = 0; t < 600; ++t) ASSERT_EQ(rig.out[0][t], (rig.in[0][t] + rig.in[1][t]) * 0.5);
    EXPECT_EQ(rig.out[1], std::vector<double>(600, 0.0)) << "internal channel 2 has no source";
}

TEST(Engine, MidSideCodingAroundEqualDelaysRestoresTheInput) {
    CRig rig;
    rig.inst.edit("io-params.ms-pairs", 0, 0, {1, 1});
    rig.inst.edit("modLagwell.sdelay", 0, 0, {3});
    rig.run(2000);
    EXPECT_FALSE(rig.engine.graph().isBypassed("modMSEncoder"));
    EXPECT_FALSE(rig.engine.graph().isBypassed("modMSDecoder"));
    for (size_t t = 3; t < 2000; ++t) {
        ASSERT_NEAR(rig.out[0][t], rig.in[0][t - 3], 1e-15);
        ASSERT_NEAR(rig.out[1][t], rig.in[1][t - 3], 1e-15);
    }

    // Mid and side in different groups get different delays.
    rig.inst.edit("io-params.grouping", 0, 0, {0, 1});
    rig.inst.edit("modLagwell.sdelay", 1, 0, {0});
    rig.engine.reset();
    rig.run(2000, 2000);
    const size_t t = 1000;
    const double mid = (rig.in[0][t - 3] + rig.in[1][t - 3]) * 0.5;
    const double side = (rig.in[0][t] - rig.in[1][t]) * 0.5;
    EXPECT_NEAR(rig.out[0][t], mid + side, 1e-15);
    EXPECT_NEAR(rig.out[1][t], mid - side, 1e-15);
}

TEST(Engine, BypassStatesFollowEveryChangeOfTheirParameters) {
    // States are evaluated again only when their parameters change: each
    // change, back and forth, must still switch the coders.
    CRig rig;
    size_t at = 0;
    for (double pairs : {1.0, 0.0, 1.0, 0.0}) {
        rig.inst.edit("io-params.ms-pairs", 0, 0, {pairs, pairs});
        rig.run(512, at);
        at += 512;
        EXPECT_EQ(rig.engine.graph().isBypassed("modMSEncoder"), pairs == 0.0) << "pairs " << pairs;
        EXPECT_EQ(rig.engine.graph().isBypassed("modMSDecoder"), pairs == 0.0) << "pairs " << pairs;
        rig.run(512, at);
        at += 512;
        EXPECT_EQ(rig.engine.graph().isBypassed("modMSEncoder"), pairs == 0.0) << "unchanged " << pairs;
    }
}

TEST(Engine, SoloAndBypassFadeToTheNoiseFloorAndTheDryInput) {
    CRig rig;
    rig.inst.edit("modLagwell.sdelay", 0, 0, {9});
    rig.run(1024);
    rig.inst.edit("io-params.channel-group-solo", 1, 0, {1});  // solo group 2: group 1 goes quiet
    rig.run(2048, 1024);
    EXPECT_FALSE(rig.engine.graph().isBypassed("modGroupSolo"));
    EXPECT_TRUE(isNoiseFloor(rig.out[0], 720)) << "after the 15 ms fade only the noise floor is left";
    EXPECT_NE(rig.out[0][100], rig.out[0][1000]) << "the fade is gradual";

    rig.inst.edit("io-params.channel-group-solo", 1, 0, {0});
    rig.inst.edit("bypass-enable", 0, 0, {1});
    rig.run(2048, 3072);
    for (size_t t = 720; t < 2048; ++t) ASSERT_EQ(rig.out[0][t], rig.in[0][t]) << "bypass: the dry routed input";
}

// What a 15 ms switch at 48 kHz must give at sample j of the fade: the
// raised-cosine mix of what was heard and what is to be heard. A side that
// is the noise floor (±1e-11, sign unknown here) is given as NaN.
void expectFade(const std::vector<double>& out, const std::vector<double>& in, bool oldNoise, bool newNoise,
                const char* what) {
    constexpr size_t kFade = 720;
    for (size_t j = 0; j < out.size(); ++j) {
        const double c = j < kFade ? 0.5 * std::cos(M_PI * double(j) / double(kFade)) : -0.5;
        const double a = oldNoise ? 0.0 : in[j], b = newNoise ? 0.0 : in[j];
        const double tolerance = 1e-12 + (oldNoise ? (0.5 + c) * 1.01e-11 : 0) + (newNoise ? (0.5 - c) * 1.01e-11 : 0);
        ASSERT_NEAR(out[j], (0.5 + c) * a + (0.5 - c) * b, tolerance) << what << ", sample " << j;
    }
}

TEST(Engine, EverySoloSwitchIsAFifteenMillisecondFade) {
    CRig rig;
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("io-params.out-routing", 0, 0, {1, 2, 3, 4});  // channels 1-2 in group 1, 3-4 in group 2
    rig.run(1024);
    ASSERT_TRUE(rig.engine.graph().isBypassed("modGroupSolo"));

    rig.inst.edit("io-params.channel-group-solo", 0, 0, {1});  // solo group 1 from no solo
    rig.run(2048, 1024);
    for (size_t h : {0, 1}) expectFade(rig.out[h], rig.in[h], false, false, "soloed group stays");
    for (size_t h : {2, 3}) expectFade(rig.out[h], rig.in[h], false, true, "other group fades out");

    CAudioParamTransaction move(*rig.inst.collector);  // the solo moves to group 2
    move.setElements(rig.inst.param("io-params.channel-group-solo"), 0, 0, {0});
    move.setElements(rig.inst.param("io-params.channel-group-solo"), 1, 0, {1});
    move.finish("Solo");
    rig.run(2048, 3072);
    for (size_t h : {0, 1}) expectFade(rig.out[h], rig.in[h], false, true, "group 1 fades out");
    for (size_t h : {2, 3}) expectFade(rig.out[h], rig.in[h], true, false, "group 2 fades in");

    rig.inst.edit("io-params.channel-group-solo", 1, 0, {0});  // no solo left
    rig.run(2048, 5120);
    for (size_t h : {0, 1}) expectFade(rig.out[h], rig.in[h], true, false, "group 1 comes back");
    for (size_t h : {2, 3}) expectFade(rig.out[h], rig.in[h], false, false, "group 2 stays");
    EXPECT_TRUE(rig.engine.graph().isBypassed("modGroupSolo")) << "after its fade the stage no longer runs";

    // Soloing again starts from what is heard now, all groups, not from the
    // stage's modules of the last solo.
    rig.inst.edit("io-params.channel-group-solo", 1, 0, {1});
    rig.run(2048, 7168);
    for (size_t h : {0, 1}) expectFade(rig.out[h], rig.in[h], false, true, "group 1 fades out again");
    for (size_t h : {2, 3}) expectFade(rig.out[h], rig.in[h], false, false, "soloed group 2 stays");
}

TEST(Engine, MidSidePairAcrossGroupsOutOfChannelOrderDecodesByChannel) {
    CRig rig;
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 2, 3});
    rig.inst.edit("io-params.out-routing", 0, 0, {1, 2, 3});
    rig.inst.edit("io-params.grouping", 0, 0, {0, 1, 0});
    rig.inst.edit("io-params.ms-pairs", 0, 0, {0, 1, 1});
    rig.run(1000);
    for (size_t t = 0; t < 1000; ++t)
        for (size_t h = 0; h < 3; ++h) ASSERT_NEAR(rig.out[h][t], rig.in[h][t], 1e-15) << h << ", sample " << t;

    // Channel 2, the lower one, carries the mid, delayed with its group 2;
    // channel 3 carries the side, undelayed with group 1.
    rig.inst.edit("modLagwell.sdelay", 1, 0, {3});
    rig.engine.reset();
    rig.run(1000, 1000);
    for (size_t t = 3; t < 1000; ++t) {
        const double mid = (rig.in[1][t - 3] + rig.in[2][t - 3]) * 0.5;
        const double side = (rig.in[1][t] - rig.in[2][t]) * 0.5;
        ASSERT_NEAR(rig.out[1][t], mid + side, 1e-15) << t;
        ASSERT_NEAR(rig.out[2][t], mid - side, 1e-15) << t;
    }
}

TEST(Engine, AGainChangeInOneGroupLeavesTheOthersUntouched) {
    CRig rig;
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("io-params.out-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("modOutGain.gain", 0, 0, {0.5});
    rig.run(2048);
    rig.inst.edit("modOutGain.gain", 1, 0, {0.75});
    rig.run(2048, 2048);
    for (size_t t = 0; t < 2048; ++t) {
        ASSERT_EQ(rig.out[0][t], rig.in[0][t] * 0.5) << "group 1 is not faded, sample " << t;
        ASSERT_EQ(rig.out[1][t], rig.in[1][t] * 0.5) << t;
    }
    EXPECT_NE(rig.out[2][100], rig.in[2][100] * 0.75) << "group 2 fades to its new gain";
    EXPECT_EQ(rig.out[2][1000], rig.in[2][1000] * 0.75);
}

TEST(Engine, SteadyProcessingAllocatesNothing) {
    CRig rig;
    rig.inst.edit("modLagwell.adelay", 0, 0, {0, 0, 5});
    rig.inst.edit("io-params.ms-pairs", 0, 0, {1, 1});
    rig.inst.edit("modOutGain.gain", 0, 0, {0.5});
    rig.run(48000);
    const size_t poolBefore = rig.engine.heapAllocations();
    std::vector<const double*> ip;
    std::vector<double*> op;
    for (size_t h = 0; h < kChannels; ++h) {
        ip.push_back(rig.in[h].data());
        op.push_back(rig.out[h].data());
    }
    size_t allocations = 0;
    {
        CHeapCounter heap;
        for (int i = 0; i < 100; ++i) rig.engine.process(ip.data(), kChannels, op.data(), kChannels, 480);
        allocations = heap.count();
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(rig.engine.heapAllocations(), poolBefore);
}

TEST(Engine, BadGraphsFailToBuildWithTheirMessages) {
    struct CContext final : CAudioGraphContext {
        CPoolAllocator p;
        CAudioStreamFormat f{48000, 64};
        CPoolAllocator& pool() override { return p; }
        const CAudioStreamFormat& format() const override { return f; }
        void bindSlots(const CAudioProcessDefBase&, std::vector<CAudioParamSlot>&) override {}
        const CAudioParamCopy* findParam(const CObject&, const CString&) override { return nullptr; }
        CAudioVizCollector* vizCollector() override { return nullptr; }
    } ctx;
    auto build = [&](const std::string& body) {
        CObject root;
        const std::string xml = "<document><audio:process-def name=\"graph\" is-auto-links=\"true\">" + body +
                                "</audio:process-def></document>";
        CErrorPtr e = CXMLData::loadFromMemory("graph", compileDocument(xml, "graph"), root);
        if (!e) e = root.init();
        CAudioProcess process;
        if (!e) e = process.init(*dynamic_cast<CAudioProcessDefBase*>(root.findChild("graph")), ctx);
        return e ? e->text().utf8() : std::string("<built>");
    };
    EXPECT_EQ(build("<audio:modNode name=\"a\"/><audio:modNode name=\"b\"/>"), "<built>");
    EXPECT_EQ(build("<audio:modNode name=\"a\"/><audio:modNode name=\"a\"/>"), "Duplicate audio process name 'a'.");
    EXPECT_EQ(build("<audio:modNode name=\"a\"/><audio:modNode name=\"b\"/>"
                    "<audio:process-link name=\"l\" src=\"b\" dst=\"a\"/>"),
              "The process links form a cycle.");
    EXPECT_EQ(build("<audio:modNode name=\"a\"/><audio:process-link name=\"l\" src=\"x\" dst=\"a\"/>"),
              "Invalid process in the 'src' attribute value 'x' specified.");
    EXPECT_EQ(build("<audio:modNode name=\"a\"/><audio:process-link name=\"l\" src=\"a\" dst=\"a/2\"/>"),
              "Invalid port in the 'dst' attribute value 'a/2' specified.");
}

TEST(Engine, ChangesTakeEffectAfterAFadeAndAfterBlocksWithoutChanges) {
    // The second gain arrives during the first one's 15 ms fade and waits
    // for its end with nothing else changing; the delay changes after many
    // quiet blocks.
    CRig rig(48000, 64);
    rig.run(640);
    rig.inst.edit("modOutGain.gain", 0, 0, {0.5});
    rig.run(64, 640);
    rig.inst.edit("modOutGain.gain", 0, 0, {0.75});
    size_t at = 704;
    for (int block = 0; block < 30; ++block, at += 64) rig.run(64, at);
    EXPECT_EQ(rig.out[0][63], rig.in[0][63] * 0.75) << "the waiting change is taken";
    rig.inst.edit("modLagwell.adelay", 0, 0, {0, 0, 1});  // 1 ms
    rig.run(512, at);
    at += 512;
    rig.run(64, at);
    EXPECT_EQ(rig.out[0][10], CRig::signal(0, at + 10 - 48) * 0.75);
}

TEST(Engine, NodesHandTheSameBuffersOnBlockAfterBlock) {
    // Nodes are not run: their consumers, the chain's end among them, read
    // what the node received in this block; a node fed by two sources hands
    // on the channels of both, in the order of its links. Counting values
    // that do not change, the blocks after the first repeat the first
    // one's steps without the unity gains, which rest.
    struct CContext final : CAudioGraphContext {
        uint64_t values = kUncounted;
        CPoolAllocator p;
        CAudioStreamFormat f{48000, 64};
        CPoolAllocator& pool() override { return p; }
        const CAudioStreamFormat& format() const override { return f; }
        void bindSlots(const CAudioProcessDefBase&, std::vector<CAudioParamSlot>&) override {}
        const CAudioParamCopy* findParam(const CObject&, const CString&) override { return nullptr; }
        CAudioVizCollector* vizCollector() override { return nullptr; }
        uint64_t valuesVersion() const override { return values; }
    };
    CObject root;
    const std::string xml =
        "<document><audio:process-def name=\"graph\" is-auto-links=\"true\">"
        "<audio:modNode name=\"a\"/><audio:modNode name=\"b\"/>"
        "<audio:modGain name=\"g\" is-outoforder=\"true\"/><audio:modNode name=\"c\" is-outoforder=\"true\"/>"
        "<audio:process-link name=\"l\" src=\"a\" dst=\"g\"/><audio:process-link name=\"l\" src=\"g\" dst=\"c\"/>"
        "<audio:modNode name=\"d\"/><audio:modGain name=\"h\" is-outoforder=\"true\"/>"
        "<audio:process-link name=\"l\" src=\"c\" dst=\"d\"/>"
        "<audio:process-link name=\"l\" src=\"d\" dst=\"h\"/>"
        "</audio:process-def></document>";
    ASSERT_EQ(CXMLData::loadFromMemory("graph", compileDocument(xml, "nodes"), root), nullptr);
    ASSERT_EQ(root.init(), nullptr);
    for (uint64_t values : {CAudioGraphContext::kUncounted, uint64_t(7)}) {
        const bool counted = values != CAudioGraphContext::kUncounted;
        CContext ctx;
        ctx.values = values;
        CAudioProcess graph;
        ASSERT_EQ(graph.init(*dynamic_cast<CAudioProcessDefBase*>(root.findChild("graph")), ctx), nullptr);
        auto* gain = graph.child("g");
        auto* both = graph.child("h");
        for (int block = 0; block < 4; ++block) {
            graph.inputs[0].clear();
            for (int c = 0; c < 2; ++c) {
                CAudioChannel channel;
                channel.buffer = ctx.newBuffer();
                std::fill(channel.buffer.data(), channel.buffer.data() + 64, double(block + c));
                channel.channel = c;
                graph.inputs[0].push_back(channel);
            }
            graph.update();
            graph.process(64);
            // The chain's end is the node fed by b and by c.
            ASSERT_EQ(graph.output.size(), 4u) << "block " << block;
            for (size_t c = 0; c < 4; ++c) {
                EXPECT_EQ(graph.output[c].buffer.get(), graph.inputs[0][c % 2].buffer.get()) << "block " << block;
                EXPECT_EQ(graph.output[c].channel, int(c % 2));
            }
            if (block >= 2) {
                EXPECT_EQ(graph.isResting("g"), counted);
                EXPECT_EQ(graph.isResting("h"), counted);
            }
            if (counted) continue;
            ASSERT_EQ(gain->output.size(), 2u) << "block " << block;
            ASSERT_EQ(both->output.size(), 4u) << "block " << block;
            for (size_t c = 0; c < 4; ++c) {
                if (c < 2) {
                    EXPECT_EQ(gain->output[c].buffer.get(), graph.inputs[0][c].buffer.get());
                }
                EXPECT_EQ(both->output[c].buffer.get(), graph.inputs[0][c % 2].buffer.get()) << "block " << block;
            }
        }
    }
}

// Stages that hand their input on as it is (routers routing each channel
// to itself, unity gain, no bypass) are not run while nothing changes; a
// value or the host's channels changing wakes them, before the block that
// needs them.
TEST(Engine, StagesThatHandTheirInputOnRestUntilAValueOrTheChannelsChange) {
    CRig rig(48000, 64);
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("io-params.out-routing", 0, 0, {1, 2, 3, 4});
    rig.inst.edit("modLagwell.sdelay", 1, 0, {3});  // group 2: channels 3 and 4
    const CAudioProcess& graph = rig.engine.graph();
    const char* const neutral[] = {"modInRouter", "modOutGain", "modBypass", "modOutRouter"};
    size_t at = 0;
    // Two host channels, both in group 1: every stage but the delay rests.
    auto runHost = [&](size_t channels, size_t n) {
        for (size_t h = 0; h < kChannels; ++h) {
            rig.in[h].resize(n);
            rig.out[h].assign(n, -99.0);
            for (size_t t = 0; t < n; ++t) rig.in[h][t] = CRig::signal(h, at + t);
        }
        std::vector<const double*> ip;
        std::vector<double*> op;
        for (size_t h = 0; h < channels; ++h) {
            ip.push_back(rig.in[h].data());
            op.push_back(rig.out[h].data());
        }
        rig.engine.process(ip.data(), channels, op.data(), channels, n);
        at += n;
    };
    runHost(2, 640);
    for (const char* name : neutral) EXPECT_TRUE(graph.isResting(name)) << name;
    EXPECT_FALSE(graph.isResting("modLagwell"));
    for (size_t t = 0; t < 640; ++t) ASSERT_EQ(rig.out[1][t], rig.in[1][t]) << t;

    // Four: channels 3 and 4 join group 2 with its delay, with no value
    // changing; the input router no longer hands its input on.
    runHost(4, 640);
    EXPECT_FALSE(graph.isResting("modInRouter"));
    for (size_t t = 3; t < 640; ++t) {
        ASSERT_EQ(rig.out[1][t], rig.in[1][t]) << t;
        ASSERT_EQ(rig.out[2][t], rig.in[2][t - 3]) << "group 2's delay, sample " << t;
    }

    // A gain and then a bypass after resting stages: each is heard after
    // its fade, and once it is off again the stage rests again.
    runHost(2, 640);
    rig.inst.edit("modOutGain.gain", 0, 0, {0.5});
    runHost(2, 1280);
    EXPECT_FALSE(graph.isResting("modOutGain"));
    for (size_t t = 720; t < 1280; ++t) ASSERT_EQ(rig.out[0][t], rig.in[0][t] * 0.5) << t;
    rig.inst.edit("modOutGain.gain", 0, 0, {1});
    rig.inst.edit("bypass-enable", 0, 0, {1});
    runHost(2, 1280);
    EXPECT_FALSE(graph.isResting("modBypass"));
    for (size_t t = 720; t < 1280; ++t) ASSERT_EQ(rig.out[0][t], rig.in[0][t]) << "the dry input, sample " << t;
    rig.inst.edit("bypass-enable", 0, 0, {0});
    runHost(2, 1280);
    for (const char* name : neutral) EXPECT_TRUE(graph.isResting(name)) << name;
    for (size_t t = 720; t < 1280; ++t) ASSERT_EQ(rig.out[0][t], rig.in[0][t]) << t;
}

TEST(Engine, AMinuteOfRandomDelayChangesHasNoJumpsBeyondTheFade) {
    CRig rig(48000, 512);
    rig.inst.edit("io-params.in-routing", 0, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    rig.inst.edit("io-params.out-routing", 0, 0, {1, 2, 3, 4, 5, 6, 7, 8});
    constexpr double kRate = 48000, kAmp = 0.5, kTwoPi = 6.283185307179586;
    constexpr size_t kChunk = 4800;  // a change every 100 ms
    // A sine moves at most 2π f A / rate per sample; a raised-cosine fade of
    // N samples between two such signals adds at most A π / N.
    const size_t fade = 480;  // the default transition time, 10 ms
    double bound = 0;
    for (size_t h = 0; h < kChannels; ++h) bound = std::max(bound, kTwoPi * (100.0 + 50.0 * h) * kAmp / kRate);
    bound += kAmp * M_PI / double(fade) * 1.001;

    std::mt19937 random(20261206);
    std::vector<double> last(kChannels, 0.0);
    std::vector<std::vector<double>> in(kChannels, std::vector<double>(kChunk)), out = in;
    std::vector<const double*> ip;
    std::vector<double*> op;
    for (size_t h = 0; h < kChannels; ++h) {
        ip.push_back(in[h].data());
        op.push_back(out[h].data());
    }
    double worst = 0;
    for (size_t chunk = 0; chunk < 600; ++chunk) {
        const size_t group = random() % 4;
        rig.inst.edit("modLagwell.adelay", group, 0, {0, 0, double(random() % 10), double(random() % 10)});
        for (size_t h = 0; h < kChannels; ++h)
            for (size_t t = 0; t < kChunk; ++t)
                in[h][t] = kAmp * std::sin(kTwoPi * (100.0 + 50.0 * h) * double(chunk * kChunk + t) / kRate);
        rig.engine.process(ip.data(), kChannels, op.data(), kChannels, kChunk);
        for (size_t h = 0; h < kChannels; ++h)
            for (size_t t = 0; t < kChunk; ++t) {
                worst = std::max(worst, std::fabs(out[h][t] - last[h]));
                last[h] = out[h][t];
            }
    }
    EXPECT_LE(worst, bound);
    EXPECT_GT(worst, bound * 0.5) << "the signal came through";
}

TEST(Engine, SilenceAfterASignalDoesNotSlowTheMetersDown) {
    // Levels decaying towards zero reach denormal numbers after about two
    // minutes of silence, and without care stay there, every sample paying
    // for denormal arithmetic. The engine flushes them.
    CRig rig;
    rig.inst.edit("modMeterOut-enable", 0, 0, {1});
    rig.run(4800);
    std::vector<const double*> ip;
    std::vector<double*> op;
    std::vector<double> silence(48000, 0.0);
    std::vector<std::vector<double>> out(kChannels, std::vector<double>(48000));
    for (size_t h = 0; h < kChannels; ++h) {
        ip.push_back(silence.data());
        op.push_back(out[h].data());
    }
    for (int second = 0; second < 160; ++second) rig.engine.process(ip.data(), 2, op.data(), 2, 48000);
    auto* viz = rig.engine.vizCollector();
    ASSERT_NE(viz, nullptr);
    const CAudioVizMeterStream* stream = viz->find("plugin.modMain.modMeterOut");
    ASSERT_NE(stream, nullptr);
    CAudioVizMeterStream::CFrame frame;
    ASSERT_TRUE(stream->read(0, frame));
    EXPECT_NE(std::fpclassify(frame.data.level * frame.data.level), FP_SUBNORMAL) << frame.data.level;
}

// A delay the user lengthens has its pages before the audio thread sees
// it: it applies in the next block, on every channel of its group, with
// nothing from the heap there. What a shorter delay gives up goes back,
// down to the rings and the reserve.
TEST(EngineThreads, ALongerDelayHasItsPagesBeforeTheAudioThreadSeesIt) {
    CRig rig;
    rig.run(512);
    const size_t poolBefore = rig.engine.heapAllocations();
    auto* stack = dynamic_cast<CAudioProcessStack*>(rig.engine.graph().child("modLagwell"));
    ASSERT_NE(stack, nullptr);
    auto* element = dynamic_cast<CAudioProcess*>(stack->element(0));
    ASSERT_NE(element, nullptr);
    const auto& delay = dynamic_cast<const CModDelay&>(*element->child("modDelay"));
    ASSERT_EQ(delay.moduleCount(), 2u);
    auto line = [&](size_t m) -> const CDSPModDelay& {
        return static_cast<const CModDelayModule&>(delay.module(m)).line();
    };

    rig.inst.edit("modLagwell.adelay", 0, 0, {0, 0, 0, 0, 0, 5});  // 5 s
    rig.run(512, 512);
    for (size_t m = 0; m < 2; ++m) {
        EXPECT_EQ(line(m).delay(), 240000);
        EXPECT_EQ(line(m).pendingDelay(), CDSPModDelay::kNoDelay);
    }
    EXPECT_EQ(rig.engine.heapAllocations(), poolBefore);
    const size_t longRing = line(0).ringLength();
    EXPECT_GE(delay.pageBank().ownedPages(), 2 * longRing);

    rig.inst.edit("modLagwell.adelay", 0, 0, {0, 0, 0, 0, 0, 0});
    rig.run(2048, 1024);
    rig.inst.edit("modLagwell.sdelay", 0, 0, {1});  // the ring shrinks with the next change
    rig.run(2048, 3072);
    const size_t shortRing = line(0).ringLength();
    ASSERT_LT(shortRing, longRing);
    for (int round = 0; round < 2; ++round) {
        rig.engine.pageKeeper()->serve();
        rig.run(512, 5120);
    }
    rig.engine.pageKeeper()->serve();
    // The rings and a reserve for what each line writes before the keeper
    // answers.
    const size_t reserve = 2 * ((48000 * CDelayPageKeeper::kAnswerMs / 1000 + 8099) / 8100 + 2);
    EXPECT_EQ(delay.pageBank().ownedPages(), 2 * shortRing + reserve);
}

// The keeper's thread sleeps while the audio side wants nothing of it (at
// most a slow look at the parameters); host automation that lengthens a
// delay applies in its block and wakes the thread at once to top up the
// reserve that the growing rings take from.
TEST(EngineThreads, TheKeeperSleepsUntilTheAudioSideWaitsForIt) {
    using namespace std::chrono;
    CRig rig;
    rig.run(512);
    CDelayPageKeeper& keeper = *rig.engine.pageKeeper();
    auto blocksFor = [&](milliseconds span, size_t& t) {
        for (const auto end = steady_clock::now() + span; steady_clock::now() < end; t += 512) {
            rig.run(512, t);
            std::this_thread::sleep_for(milliseconds(5));
        }
    };
    size_t t = 512;
    // The first block's lines took from the reserve: the round that tops it
    // up comes first.
    for (const auto end = steady_clock::now() + seconds(2); !keeper.idle() && steady_clock::now() < end;)
        std::this_thread::sleep_for(milliseconds(1));
    const size_t idleBefore = keeper.wakes();
    const auto idleStart = steady_clock::now();
    blocksFor(milliseconds(2000), t);
    const double idleSeconds = duration<double>(steady_clock::now() - idleStart).count();
    const size_t idle = keeper.wakes() - idleBefore;
    std::printf("page keeper: %zu wake-ups in %.2f s of steady processing (%.1f per second)\n", idle, idleSeconds,
                double(idle) / idleSeconds);
    EXPECT_LE(double(idle), idleSeconds * 1000.0 / CDelayPageKeeper::kQuietMs + 1.0);

    auto* stack = dynamic_cast<CAudioProcessStack*>(rig.engine.graph().child("modLagwell"));
    ASSERT_NE(stack, nullptr);
    auto* element = dynamic_cast<CAudioProcess*>(stack->element(0));
    ASSERT_NE(element, nullptr);
    const auto& line =
        static_cast<const CModDelayModule&>(dynamic_cast<const CModDelay&>(*element->child("modDelay")).module(0))
            .line();
    const size_t wakesBefore = keeper.wakes();
    rig.engine.applyHostValue(rig.inst.param("modLagwell.adelay"), 0, 5, 2.0);  // 2 s
    rig.run(512, t);
    t += 512;
    EXPECT_EQ(line.delay(), 96000) << "in the block it was sent for";
    const auto asked = steady_clock::now();
    while (keeper.wakes() == wakesBefore && steady_clock::now() < asked + seconds(5)) {
        rig.run(512, t);
        t += 512;
        std::this_thread::sleep_for(milliseconds(1));
    }
    const double waited = duration<double>(steady_clock::now() - asked).count();
    std::printf("page keeper: woken %.1f ms after a longer delay from the host\n", waited * 1000.0);
    EXPECT_LT(waited * 1000.0, CDelayPageKeeper::kQuietMs / 4.0) << "woken, not found at the next quiet round";
}

// ---------------------------------------------------------------- bad input

namespace {

// The meters run their loops for any x86-64 processor or the widest ones.
class EngineBadInput : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        CModMeterModule::useLoops(GetParam() ? CModMeterModule::widestLoops() : CModMeterModule::kLoopsAnywhere);
    }
    void TearDown() override { CModMeterModule::useLoops(CModMeterModule::widestLoops()); }
};
INSTANTIATE_TEST_SUITE_P(Loops, EngineBadInput, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Anywhere"; });

// One channel of a run as a meter published it, frame by frame.
using CFrames = std::vector<CAudioVizDataMeter>;

}  // namespace

// Two instances take the same signal, one with a stretch of NaN or
// infinite samples in one input channel, while delays, a gain and a solo
// fade and mid/side codes: the bad samples come out once, at their delay,
// and leave nothing behind.
TEST_P(EngineBadInput, BadSamplesInOneChannelLeaveNoTrace) {
    constexpr size_t kBlock = 480, kBlocks = 440, kFrame = 1600;
    constexpr size_t kBadAt = 48000 + 7, kBadLength = 37;
    const char* const kMeters[2] = {"plugin.modMain.modMeterOut", "plugin.modMain.modMeterIODiff"};
    // How long each meter takes to forget a stretch: the output meter's
    // level releases in 750 ms, its peak holds for 1 s more; the difference
    // meter integrates over 3 s. What is left after that time is a
    // hundredth of the step: the output meter's level meets its integrated
    // level within the release and is exact again; the difference meter's
    // step is the 37 samples' share of its 3 s, a few percent.
    constexpr size_t kForget[2] = {36000, 144000}, kPeakHold = 48000;
    constexpr double kLeft[2] = {1e-9, 1e-3};
    struct CCase {
        bool eight;
        size_t bad;     // the input channel
        int partner;    // its mid/side partner, -1 for none
        size_t latest;  // the longest delay its samples take
    };
    for (const CCase& c : {CCase{false, 1, -1, 20}, CCase{true, 0, -1, 60}, CCase{true, 4, 5, 480}})
        for (double bad : {NAN, INFINITY, -INFINITY}) {
            SCOPED_TRACE(::testing::Message()
                         << (c.eight ? "8 channels, " : "stereo, ") << "bad channel " << c.bad << ", " << bad);
            CRig clean, hurt;
            CRig* const rigs[2] = {&clean, &hurt};
            for (CRig* rig : rigs) {
                rig->inst.edit("modMeterOut-enable", 0, 0, {1});
                rig->inst.edit("modMeterIODiff-enable", 0, 0, {1});
                rig->inst.edit("modLagwell.sdelay", 0, 0, {0, 2});  // 20 samples
                if (!c.eight) continue;
                rig->inst.edit("io-params.in-routing", 0, 0, {1, 2, 3, 4, 5, 6, 7, 8});
                rig->inst.edit("io-params.out-routing", 0, 0, {1, 2, 3, 4, 5, 6, 7, 8});
                rig->inst.edit("io-params.ms-pairs", 0, 0, {0, 0, 0, 0, 1, 1, 0, 0});
                rig->inst.edit("modLagwell.sdelay", 1, 0, {0, 0, 3});     // 300 samples
                rig->inst.edit("modLagwell.adelay", 2, 0, {0, 0, 0, 1});  // 10 ms
                rig->inst.edit("modOutGain.gain", 1, 0, {0.5});
            }
            std::vector<std::vector<double>> in(kChannels, std::vector<double>(kBlock));
            std::vector<std::vector<double>> out[2];
            std::vector<const double*> ip[2];
            std::vector<double*> op[2];
            for (size_t r = 0; r < 2; ++r) {
                out[r].assign(kChannels, std::vector<double>(kBlock));
                for (size_t h = 0; h < kChannels; ++h) {
                    ip[r].push_back(in[h].data());
                    op[r].push_back(out[r][h].data());
                }
            }
            std::vector<double> badIn(kBlock);
            ip[1][c.bad] = badIn.data();
            CFrames frames[2][2][kChannels];  // rig, meter, channel
            const size_t channels = c.eight ? kChannels : 2;
            for (size_t block = 0; block < kBlocks; ++block) {
                const size_t t0 = block * kBlock;
                if (t0 <= kBadAt && kBadAt < t0 + kBlock)
                    for (CRig* rig : rigs) {
                        // Fades under way while the bad samples go through.
                        rig->inst.edit("modLagwell.sdelay", 0, 0, {0, 6});
                        rig->inst.edit("modOutGain.gain", 0, 0, {0.25});
                        if (c.eight) rig->inst.edit("io-params.channel-group-solo", 0, 0, {1});
                    }
                if (c.eight && block == kBadAt / kBlock + 4)
                    for (CRig* rig : rigs) rig->inst.edit("io-params.channel-group-solo", 0, 0, {0});
                for (size_t h = 0; h < kChannels; ++h)
                    for (size_t t = 0; t < kBlock; ++t) in[h][t] = CRig::signal(h, t0 + t);
                for (size_t t = 0; t < kBlock; ++t)
                    badIn[t] = t0 + t >= kBadAt && t0 + t < kBadAt + kBadLength ? bad : in[c.bad][t];
                for (size_t r = 0; r < 2; ++r) {
                    rigs[r]->engine.process(ip[r].data(), kChannels, op[r].data(), kChannels, kBlock);
                    for (size_t m = 0; m < 2; ++m)
                        for (size_t h = 0; h < channels; ++h) {
                            CAudioVizMeterStream::CFrame f;
                            if (rigs[r]->engine.vizCollector()->find(kMeters[m])->read(int(h), f) &&
                                f.index > frames[r][m][h].size())
                                frames[r][m][h].push_back(f.data);
                        }
                }
                const bool passed = t0 >= kBadAt + kBadLength + c.latest;
                for (size_t h = 0; h < kChannels; ++h) {
                    if (!passed && (h == c.bad || int(h) == c.partner)) continue;
                    for (size_t t = 0; t < kBlock; ++t)
                        ASSERT_EQ(out[1][h][t], out[0][h][t]) << "output " << h << ", sample " << t0 + t;
                }
            }
            for (size_t m = 0; m < 2; ++m)
                for (size_t h = 0; h < channels; ++h) {
                    const CFrames &want = frames[0][m][h], &got = frames[1][m][h];
                    ASSERT_EQ(got.size(), kBlocks * kBlock / kFrame);
                    ASSERT_EQ(want.size(), got.size());
                    const bool hit = h == c.bad || int(h) == c.partner;
                    for (size_t j = 0; j < got.size(); ++j) {
                        const auto where = ::testing::Message() << kMeters[m] << ", channel " << h << ", frame " << j;
                        ASSERT_TRUE(std::isfinite(got[j].level) && std::isfinite(got[j].peak)) << where;
                        if (!hit) {
                            ASSERT_EQ(got[j].level, want[j].level) << where;
                            ASSERT_EQ(got[j].peak, want[j].peak) << where;
                            continue;
                        }
                        const size_t end = (j + 1) * kFrame, gone = kBadAt + kBadLength + c.latest;
                        if (m == 0 && end > kBadAt + c.latest && end <= gone + kPeakHold) {
                            ASSERT_GE(got[j].peak, 2.0) << where << ": an over, held";
                        }
                        if (end >= gone + kForget[m]) {
                            ASSERT_NEAR(got[j].level, want[j].level, kLeft[m] * want[j].level) << where;
                        }
                        // The frames of the release leave the peak's history a
                        // hold time later.
                        if (end >= gone + kForget[m] + (m == 0 ? kPeakHold + kFrame : 0)) {
                            ASSERT_NEAR(got[j].peak, want[j].peak, kLeft[m] * want[j].peak) << where;
                        }
                    }
                }
        }
}
