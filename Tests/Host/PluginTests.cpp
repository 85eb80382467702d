// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in bundle of this build, loaded and driven through the host as
// a host application drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "MemoryStream.h"
#include "ParameterChanges.h"
#include "TestHost.h"

namespace lagwell::host {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using test::Channels;

constexpr double kRate = 48000;
// ADelay3 is the 10 ms digit of group 1's delay: 480 samples at 48 kHz.
constexpr int kTenMs = 480;

Channels<float> impulses(int channels, size_t frames, size_t at) {
    Channels<float> out(static_cast<size_t>(channels), std::vector<float>(frames));
    for (auto& channel : out) channel[at] = 1.0f;
    return out;
}

Channels<float> stereoNoise(size_t frames) { return {test::noise(frames, 1), test::noise(frames, 2)}; }

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        module = Module::load(test::bundlePath());
        plugin = makePlugin();
    }

    std::unique_ptr<Plugin> makePlugin() const {
        return std::make_unique<Plugin>(module, module->findClass(kVstAudioEffectClass));
    }

    ParamID id(const std::string& title) const {
        const std::optional<Parameter> p = plugin->findParameter(title);
        EXPECT_TRUE(p) << "no parameter " << title;
        return p ? p->id : 0;
    }

    // The normalized value of a digit parameter showing `digit`.
    ParamValue digit(const std::string& title, int digit) const {
        const std::optional<ParamValue> value = plugin->valueFromText(id(title), std::to_string(digit));
        EXPECT_TRUE(value) << title << " does not read " << digit;
        return value.value_or(-1);
    }

    static void start(Plugin& p, int32 sampleSize = kSample32) {
        p.setupProcessing(kRate, 512, sampleSize, kRealtime);
        p.start();
    }

    static tresult flush(Plugin& p, ParamID param, ParamValue value, ParameterChanges* out = nullptr) {
        ParameterChanges changes;
        changes.add(param, 0, value);
        return p.flush(changes, out);
    }

    // Where an impulse at sample 2000 of every channel comes out, -1 when it
    // does not, after the plug-in's fades have settled.
    std::vector<int> impulseDelays(Plugin& p, int channels) const {
        const Channels<float> out = test::processAll(p, impulses(channels, 4096, 2000), channels, 512);
        std::vector<int> delays;
        for (const auto& channel : out) {
            const auto peak = std::find_if(channel.begin() + 2000, channel.end(),
                                           [](float s) { return std::fabs(s - 1.0f) < 1e-6f; });
            delays.push_back(peak == channel.end() ? -1 : static_cast<int>(peak - channel.begin()) - 2000);
        }
        return delays;
    }

    std::shared_ptr<Module> module;
    std::unique_ptr<Plugin> plugin;
};

// What a host's scan needs to offer the effect: one audio effect class, as
// many instances as it likes, processor and controller in one object.
TEST_F(PluginTest, FactoryOffersOneEffect) {
    ASSERT_EQ(module->classes().size(), 1u);
    const ClassInfo& cls = module->classes()[0];
    EXPECT_EQ(cls.category, kVstAudioEffectClass);
    EXPECT_EQ(cls.cardinality, PClassInfo::kManyInstances);
    EXPECT_TRUE(plugin->isSingleComponent());
}

TEST_F(PluginTest, ExposesBypassTheDelayDigitsAndThePrograms) {
    const std::vector<Parameter> params = plugin->parameters();
    ASSERT_EQ(params.size(), 50u);
    const std::vector<std::pair<size_t, std::string>> titles = {
        {0, "Bypass"},   {1, "ADelay0"},  {6, "ADelay5"},  {7, "SDelay0"}, {11, "SDelay4"},
        {12, "DlyDime"}, {13, "2ADly0"},  {24, "2DlyDim"}, {25, "3ADly0"}, {36, "3DlyDim"},
        {37, "4ADly0"},  {48, "4DlyDim"}, {49, "Program"}};
    for (const auto& [index, title] : titles) EXPECT_EQ(params[index].title, title) << "parameter " << index;

    std::set<ParamID> ids;
    for (const Parameter& p : params) ids.insert(p.id);
    EXPECT_EQ(ids.size(), params.size()) << "ids are unique";

    EXPECT_EQ(params[0].flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
    EXPECT_EQ(params[0].stepCount, 1);
    for (size_t i = 1; i < 49; ++i) {
        EXPECT_EQ(params[i].flags, ParameterInfo::kCanAutomate) << params[i].title;
        EXPECT_EQ(params[i].stepCount, 0) << params[i].title;
    }
    // The program list is the session bank, which starts with one preset.
    const Parameter& programs = params[49];
    EXPECT_EQ(programs.flags, ParameterInfo::kIsProgramChange | ParameterInfo::kIsList);
    const std::vector<std::string> names = plugin->programNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(programs.stepCount, static_cast<int32>(names.size()) - 1);
    EXPECT_EQ(names.front(), "Default");
    EXPECT_EQ(plugin->controller()->getParamNormalized(programs.id), 0.0);
}

TEST_F(PluginTest, ProcessesStereoWithoutBeingToldTheLayout) {
    const std::vector<Bus> in = plugin->buses(kAudio, kInput);
    const std::vector<Bus> out = plugin->buses(kAudio, kOutput);
    ASSERT_EQ(in.size(), 1u);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(in[0].name, "Audio In");
    EXPECT_EQ(out[0].name, "Audio Out");
    EXPECT_EQ(plugin->mainChannels(kInput), 2);
    EXPECT_EQ(plugin->mainChannels(kOutput), 2);
    ASSERT_EQ(plugin->buses(kEvent, kInput).size(), 1u);
    EXPECT_EQ(plugin->buses(kEvent, kInput)[0].name, "MIDI In");

    start(*plugin);
    EXPECT_EQ(plugin->processor()->getLatencySamples(), 0u);
    EXPECT_EQ(plugin->processor()->getTailSamples(), 576000u);
    const Channels<float> input = stereoNoise(3000);
    const Channels<float> output = test::processAll(*plugin, input, 2, 512);
    for (size_t c = 0; c < 2; ++c)
        for (size_t f = 0; f < input[c].size(); ++f)
            ASSERT_NEAR(output[c][f], input[c][f], 1e-6) << "channel " << c << " sample " << f;
}

// Groups 1 to 4 get 1 to 4 samples of delay; each output channel shows the
// delay of its group under the routing the layout chose: "Force Mono" for
// one channel, the 5.1 and 7.1 group presets for six and eight (whose last
// two outputs are not routed), the default stereo routing otherwise.
TEST_F(PluginTest, EveryChannelOfOneToEightTakesItsGroupsDelay) {
    const std::map<int, std::vector<int>> routed = {{1, {1}}, {6, {1, 1, 2, 3, 4, 4}}, {8, {1, 1, 2, 3, 4, 4, -1, -1}}};
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(std::to_string(n) + " channels");
        auto p = makePlugin();
        ASSERT_TRUE(p->setMainChannels(n, n));
        EXPECT_EQ(p->mainChannels(kInput), n);
        EXPECT_EQ(p->mainChannels(kOutput), n);
        start(*p);
        ParameterChanges changes;
        for (const char* title : {"SDelay0", "2SDly0", "3SDly0", "4SDly0"}) {
            const std::optional<Parameter> param = p->findParameter(title);
            ASSERT_TRUE(param) << title;
            const int group = title[0] == 'S' ? 1 : title[0] - '0';
            changes.add(param->id, 0, p->valueFromText(param->id, std::to_string(group)).value_or(-1));
        }
        ASSERT_EQ(p->flush(changes, nullptr), kResultOk);
        std::vector<int> expected(static_cast<size_t>(n), -1);
        expected[0] = 1;
        if (n >= 2) expected[1] = 1;
        if (routed.count(n)) expected = routed.at(n);
        EXPECT_EQ(impulseDelays(*p, n), expected);
    }
    EXPECT_TRUE(plugin->setMainChannels(1, 2)) << "mono in, stereo out";
    EXPECT_FALSE(plugin->setMainChannels(0, 2)) << "no input channel";
}

TEST_F(PluginTest, CallsWithoutAudioDeliverParameterChanges) {
    start(*plugin);
    // A call with no buses at all...
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 1)), kResultOk);
    // ...and one whose buses have no channels and no buffers.
    ParameterChanges changes;
    changes.add(id("ADelay2"), 0, digit("ADelay2", 5));
    AudioBusBuffers in, out;
    ProcessData data;
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = &changes;
    ASSERT_EQ(plugin->processor()->process(data), kResultOk);

    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay3")), digit("ADelay3", 1));
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay2")), digit("ADelay2", 5));
    EXPECT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{kTenMs + 240, kTenMs + 240}));
}

TEST_F(PluginTest, AutomationEndsOnItsLastPoint) {
    start(*plugin);
    ParameterChanges changes;
    for (int32 i = 0; i < 99; ++i) changes.add(id("ADelay2"), i, digit("ADelay2", i % 2 ? 5 : 7));
    changes.add(id("ADelay2"), 99, digit("ADelay2", 2));
    const Channels<float> input = stereoNoise(128);
    Channels<float> output = input;
    float* in[] = {const_cast<float*>(input[0].data()), const_cast<float*>(input[1].data())};
    float* out[] = {output[0].data(), output[1].data()};
    ASSERT_EQ(plugin->process(128, MainBuses<float>{in, 2, out, 2}, &changes), kResultOk);
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay2")), digit("ADelay2", 2));
}

// Edits reported back would be recorded by a host as the user's own.
TEST_F(PluginTest, HostChangesAreNotReportedBack) {
    start(*plugin);
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 1)), kResultOk);
    const std::vector<uint8_t> saved = plugin->saveState();
    ASSERT_EQ(plugin->controller()->setParamNormalized(id("ADelay4"), digit("ADelay4", 3)), kResultOk);
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay4")), digit("ADelay4", 3));
    plugin->loadState(saved);
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay4")), digit("ADelay4", 0));
    EXPECT_TRUE(plugin->handler().edits().empty());
}

TEST_F(PluginTest, AMidiControllerDrivesTheParameterItsMappingNames) {
    // The user's controller table, "ccmap" in the plug-in's application
    // data: controller 7 drives the bypass switch.
    std::string payload;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) payload += char((v >> (8 * i)) & 0xFF);
    };
    const std::string target = "plugin.modMain.bypass-enable";
    u32(1);
    u32(7);
    u32(uint32_t(target.size()));
    payload += target;
    const std::string payloadFile = test::scratchPath("ccmap.payload");
    std::ofstream(payloadFile, std::ios::binary) << payload;
    const std::filesystem::path store =
        std::filesystem::path(std::getenv("LAGWELL_DATA_HOME")) / "Zelmora/Lagwell/Data";
    std::filesystem::create_directories(store);
    ASSERT_EQ(
        test::runProgram(LAGWELL_MKBLOCK, {"--tag", "adat", "--file", payloadFile, (store / "ccmap").string()}).status,
        0);
    const std::unique_ptr<Plugin> mapped = makePlugin();
    std::filesystem::remove(store / "ccmap");

    const std::optional<ParamID> bypass = mapped->midiControllerParameter(0, 0, 7);
    ASSERT_TRUE(bypass);
    EXPECT_EQ(*bypass, id("Bypass"));
    EXPECT_FALSE(mapped->midiControllerParameter(0, 0, 8)) << "a controller without an entry drives nothing";
    EXPECT_FALSE(plugin->midiControllerParameter(0, 0, 7)) << "an instance made before the table knows none";

    // Controller 7 at 127, as the host sends it through the mapping.
    start(*mapped);
    ASSERT_EQ(flush(*mapped, *bypass, 127.0 / 127.0), kResultOk);
    EXPECT_EQ(mapped->controller()->getParamNormalized(*bypass), 1.0);
}

TEST_F(PluginTest, StateComesBackThroughSetState) {
    start(*plugin);
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 1)), kResultOk);
    const std::vector<uint8_t> saved = plugin->saveState();
    ASSERT_GE(saved.size(), 12u);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "aprs");

    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 0)), kResultOk);
    ASSERT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{0, 0}));
    MemoryStream stream(saved);
    ASSERT_EQ(plugin->component()->setState(&stream), kResultOk);
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay3")), digit("ADelay3", 1));
    EXPECT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{kTenMs, kTenMs}));
}

TEST_F(PluginTest, ControllerTakesTheComponentState) {
    start(*plugin);
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 1)), kResultOk);
    const std::vector<uint8_t> saved = plugin->saveState();
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 0)), kResultOk);

    MemoryStream stream(saved);
    ASSERT_EQ(plugin->controller()->setComponentState(&stream), kResultOk);
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay3")), digit("ADelay3", 1));
    // As a host loads a project: the component's state, then the controller's.
    plugin->loadState(saved);
    EXPECT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{kTenMs, kTenMs}));
}

// This host has no run loop: what waited for the end of a state call
// reaches it at its next call that may hear from the plug-in, and not
// before, not even when it reads values back under its state lock.
TEST_F(PluginTest, WithoutARunLoopTheNextCallBringsTheRestartThatWaited) {
    start(*plugin);
    // Looking parameters up is such a call: done before.
    const ParamID tens = id("ADelay3");
    const ParamValue one = digit("ADelay3", 1), zero = digit("ADelay3", 0);
    ASSERT_EQ(flush(*plugin, tens, one), kResultOk);
    const std::vector<uint8_t> saved = plugin->saveState();
    ASSERT_EQ(flush(*plugin, tens, zero), kResultOk);
    plugin->loadState(saved);
    EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(tens), one);
    EXPECT_TRUE(plugin->handler().restarts().empty()) << "nothing during the state calls";
    plugin->parameters();
    const std::vector<int32> restarts = plugin->handler().restarts();
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_EQ(restarts[0], kParamValuesChanged);
    plugin->parameters();
    EXPECT_EQ(plugin->handler().restarts().size(), 1u) << "once";
}

TEST_F(PluginTest, DamagedStateLeavesTheInstanceAsItWas) {
    start(*plugin);
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 1)), kResultOk);
    const std::vector<uint8_t> saved = plugin->saveState();
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 2)), kResultOk);

    std::vector<uint8_t> garbage = saved;
    std::fill(garbage.begin() + 12, garbage.end(), uint8_t(0x5A));
    const std::vector<std::vector<uint8_t>> damaged = {
        {}, std::vector<uint8_t>(saved.begin(), saved.begin() + saved.size() / 2), garbage};
    for (const std::vector<uint8_t>& bytes : damaged) {
        MemoryStream stream(bytes);
        EXPECT_NE(plugin->component()->setState(&stream), kResultOk) << bytes.size() << " bytes";
        EXPECT_DOUBLE_EQ(plugin->controller()->getParamNormalized(id("ADelay3")), digit("ADelay3", 2));
    }
    EXPECT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{2 * kTenMs, 2 * kTenMs}));
}

TEST_F(PluginTest, SampleSizesSoundTheSame) {
    ASSERT_EQ(plugin->processor()->canProcessSampleSize(kSample64), kResultTrue);
    EXPECT_NE(plugin->processor()->canProcessSampleSize(2), kResultTrue);
    const std::unique_ptr<Plugin> wide = makePlugin();
    start(*plugin, kSample32);
    start(*wide, kSample64);
    // 10.07 ms: 483.36 samples, a delay between samples.
    for (Plugin* p : {plugin.get(), wide.get()}) {
        ParameterChanges changes;
        changes.add(id("ADelay3"), 0, digit("ADelay3", 1));
        changes.add(id("ADelay0"), 0, digit("ADelay0", 7));
        ASSERT_EQ(p->flush(changes), kResultOk);
    }

    const Channels<float> input = stereoNoise(9600);
    Channels<double> wideInput;
    for (const auto& channel : input) wideInput.emplace_back(channel.begin(), channel.end());
    const Channels<float> narrowOut = test::processAll(*plugin, input, 2, 512);
    const Channels<double> wideOut = test::processAll(*wide, wideInput, 2, 512);
    for (size_t c = 0; c < 2; ++c)
        for (size_t f = 0; f < input[c].size(); ++f)
            ASSERT_EQ(static_cast<float>(wideOut[c][f]), narrowOut[c][f]) << "channel " << c << " sample " << f;
}

TEST_F(PluginTest, InstancesKeepTheirOwnValues) {
    const std::unique_ptr<Plugin> other = makePlugin();
    start(*plugin);
    start(*other);
    ASSERT_EQ(flush(*plugin, id("ADelay3"), digit("ADelay3", 1)), kResultOk);
    EXPECT_DOUBLE_EQ(other->controller()->getParamNormalized(id("ADelay3")), digit("ADelay3", 0));
    EXPECT_EQ(impulseDelays(*other, 2), (std::vector<int>{0, 0}));
    EXPECT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{kTenMs, kTenMs}));
}

TEST_F(PluginTest, LoadsAgainAfterUnloading) {
    plugin.reset();
    module.reset();
    module = Module::load(test::bundlePath());
    plugin = makePlugin();
    EXPECT_EQ(plugin->parameters().size(), 50u);
    start(*plugin);
    EXPECT_EQ(impulseDelays(*plugin, 2), (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace lagwell::host
