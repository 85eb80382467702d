// SPDX-License-Identifier: GPL-3.0-or-later
// lagwell-render as a program, on files written here and by
// lagwell-demo-signal.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "ParameterChanges.h"
#include "Support/FactoryValues.h"
#include "TestHost.h"

namespace lagwell::host {
namespace {

using test::Audio;
using test::runProgram;

constexpr int kRate = 48000;
constexpr size_t kTail = 12 * kRate;
using zel::test::kStereoDelayRightGain;
// Sound from here on has passed every fade that a change at the start makes.
constexpr size_t kSettled = 4800;

test::RunResult render(const std::vector<std::string>& args) { return runProgram(LAGWELL_RENDER, args); }

// One second of different noise on each channel, as float WAV.
std::string noiseFile() {
    const std::string path = test::scratchPath("noise.wav");
    test::writeWav(path, {test::noise(kRate, 7), test::noise(kRate, 8)}, kRate);
    return path;
}

// The left channel 10 ms later, the right one 3.32 dB quieter.
void expectStereoDelay(const Audio& in, const Audio& out) {
    ASSERT_EQ(out.channels.size(), 2u);
    ASSERT_GE(out.channels[0].size(), in.channels[0].size());
    for (size_t f = kSettled; f < in.channels[0].size(); ++f) {
        ASSERT_NEAR(out.channels[0][f], in.channels[0][f - 480], 1e-6) << "left, sample " << f;
        ASSERT_NEAR(out.channels[1][f], kStereoDelayRightGain * in.channels[1][f], 1e-6) << "right, sample " << f;
    }
}

TEST(RenderTest, StereoDelayFactoryPresetDelaysLeftAndLowersRight) {
    const std::string input = noiseFile();
    const std::string output = test::scratchPath("stereo-delay.wav");
    const test::RunResult run = render({"--factory", "Stereo Delay", "--quiet", input, output});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "") << "--quiet";
    const Audio in = test::readAudio(input);
    const Audio out = test::readAudio(output);
    EXPECT_EQ(out.sampleRate, kRate);
    ASSERT_EQ(out.channels[0].size(), in.channels[0].size() + kTail) << "the tail follows the input";
    expectStereoDelay(in, out);
    // The last 10 ms of the left input come out in the tail, then silence.
    const size_t end = in.channels[0].size();
    EXPECT_NEAR(out.channels[0][end + 479], in.channels[0][end - 1], 1e-6);
    for (size_t f = end + 480; f < out.channels[0].size(); f += 997)
        ASSERT_NEAR(out.channels[0][f], 0.0f, 1e-6) << "sample " << f;
}

TEST(RenderTest, BlockSizeAndPrecisionDoNotChangeTheSound) {
    const std::string input = noiseFile();
    const std::string reference = test::scratchPath("reference.wav");
    const std::string variant = test::scratchPath("variant.wav");
    ASSERT_EQ(render({"--factory", "Stereo Delay", "--quiet", "--no-tail", input, reference}).status, 0);
    const test::RunResult run = render({"--factory=stereo delay", "--program", "0", "--quiet", "--no-tail", "--double",
                                        "--block", "100", input, variant});
    ASSERT_EQ(run.status, 0) << run.output;
    const Audio a = test::readAudio(reference);
    const Audio b = test::readAudio(variant);
    ASSERT_EQ(a.channels[0].size(), static_cast<size_t>(kRate)) << "--no-tail ends with the input";
    ASSERT_EQ(b.channels[0].size(), a.channels[0].size());
    for (size_t c = 0; c < 2; ++c)
        for (size_t f = kSettled; f < a.channels[c].size(); ++f)
            ASSERT_NEAR(a.channels[c][f], b.channels[c][f], 1e-7) << "channel " << c << " sample " << f;
}

TEST(RenderTest, ParametersTakeDisplayedAndPlainValues) {
    const std::string input = test::scratchPath("demo.wav");
    ASSERT_EQ(runProgram(LAGWELL_DEMO_SIGNAL, {input, "1.5"}).status, 0);
    // Clicks of 0.9 every half second, left, right, then both: the one on
    // both channels at 1 s is checked.
    const std::string delayed = test::scratchPath("delayed.wav");
    const test::RunResult run =
        render({"--quiet", "--no-tail", "--param", "ADelay3=1", "--param", "sdelay1=2", input, delayed});
    ASSERT_EQ(run.status, 0) << run.output;
    const Audio out = test::readAudio(delayed);
    for (const auto& channel : out.channels) {
        EXPECT_NEAR(channel[48000 + 500], 0.9f, 1e-6) << "10 ms and 20 samples later";
        EXPECT_NEAR(channel[48000], 0.0f, 1e-6);
    }

    const std::string bypassed = test::scratchPath("bypassed.wav");
    ASSERT_EQ(render({"--quiet", "--no-tail", "--param", "ADelay3=1", "--param", "Bypass=1", input, bypassed}).status,
              0);
    const Audio dry = test::readAudio(bypassed);
    EXPECT_NEAR(dry.channels[0][48000], 0.9f, 1e-6) << "bypassed, the click stays where it was";
    EXPECT_NEAR(dry.channels[0][48480], 0.0f, 1e-6);
    EXPECT_NEAR(dry.channels[1][0], 0.0f, 1e-6) << "the first click is on the left channel alone";
    EXPECT_NEAR(dry.channels[1][24000], 0.9f, 1e-6) << "the second on the right alone";
    EXPECT_NEAR(dry.channels[0][24000], 0.0f, 1e-6);
}

TEST(RenderTest, PresetFileGivesTheSavedState) {
    // The state of an instance is a preset record block, the same as a
    // preset file.
    const std::string preset = test::scratchPath("ten-ms.cpf");
    {
        const std::shared_ptr<Module> module = Module::load(test::bundlePath());
        Plugin plugin(module, module->findClass(kVstAudioEffectClass));
        plugin.setupProcessing(kRate, 512, Steinberg::Vst::kSample32, Steinberg::Vst::kRealtime);
        plugin.start();
        const std::optional<Parameter> delay = plugin.findParameter("ADelay3");
        ASSERT_TRUE(delay);
        ParameterChanges changes;
        changes.add(delay->id, 0, plugin.valueFromText(delay->id, "1").value_or(0));
        ASSERT_EQ(plugin.flush(changes), Steinberg::kResultOk);
        const std::vector<uint8_t> state = plugin.saveState();
        std::ofstream(preset, std::ios::binary)
            .write(reinterpret_cast<const char*>(state.data()), static_cast<std::streamsize>(state.size()));
    }
    const std::string input = noiseFile();
    const std::string output = test::scratchPath("from-preset.wav");
    const test::RunResult run = render({"--preset", preset, "--quiet", "--no-tail", input, output});
    ASSERT_EQ(run.status, 0) << run.output;
    const Audio in = test::readAudio(input);
    const Audio out = test::readAudio(output);
    for (size_t c = 0; c < 2; ++c)
        for (size_t f = kSettled; f < in.channels[c].size(); ++f)
            ASSERT_NEAR(out.channels[c][f], in.channels[c][f - 480], 1e-6) << "channel " << c << " sample " << f;
}

TEST(RenderTest, ListsParametersAndPrograms) {
    const test::RunResult run = render({"--list"});
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* text : {"Lagwell 1.6 by Zelmora", "parameters (50)", "Bypass", "4DlyDim", "Program",
                             "program-change", "\nprograms (", "Default", "factory presets of ", "Stereo Delay"})
        EXPECT_NE(run.output.find(text), std::string::npos) << text;
}

TEST(RenderTest, FailsWithAMessageOnBadRequests) {
    const std::string input = noiseFile();
    const std::string output = test::scratchPath("never.wav");
    const std::string text = test::scratchPath("text.wav");
    std::ofstream(text) << "not audio";
    const std::string notPreset = test::scratchPath("not.cpf");
    std::ofstream(notPreset) << "abnk and more bytes than twelve";
    // A tiny file that claims 2,147,483,647 frames per second: its tail
    // alone would fill the disk.
    const std::string absurdRate = test::scratchPath("absurd-rate.wav");
    {
        const auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
        const auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
        const std::string samples(200, '\0');
        std::ofstream(absurdRate, std::ios::binary)
            << "RIFF" << u32(36 + uint32_t(samples.size())) << "WAVEfmt " << u32(16) << u16(1) << u16(1)
            << u32(2147483647u) << u32(2147483647u) << u16(2) << u16(16) << "data" << u32(uint32_t(samples.size()))
            << samples;
    }
    const std::string lowRate = test::scratchPath("low-rate.wav");
    test::writeWav(lowRate, test::Channels<float>(1, std::vector<float>(100)), 4000);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"/nonexistent/in.wav", output}, 1, "/nonexistent/in.wav"},
        {{text, output}, 1, text},
        {{"--param", "Nope=1", input, output}, 1, "no parameter titled \"Nope\""},
        {{"--param", "Bypass=maybe", input, output}, 1, "\"maybe\" is not a value"},
        {{"--param", "Bypass", input, output}, 2, "TITLE=VALUE"},
        {{"--program", "Stereo Delay", input, output}, 1, "no program named \"Stereo Delay\""},
        {{"--program", "999", input, output}, 1, "no program number 999"},
        {{"--factory", "Sterio Delay", input, output}, 1, "no factory preset named \"Sterio Delay\""},
        {{"--factory", "99", input, output}, 1, "no factory preset number 99"},
        {{"--bank", notPreset, "--factory", "0", input, output}, 1, notPreset},
        {{"--preset", notPreset, input, output}, 1, "not a preset file"},
        {{"--preset", notPreset, "--factory", "0", input, output}, 2, "choose one"},
        {{"--plugin", "/nonexistent/X.vst3", input, output}, 1, "no such plug-in"},
        {{"--block", "0", input, output}, 2, "--block"},
        {{"--frobnicate", input, output}, 2, "unknown option --frobnicate"},
        {{input, input}, 1, "overwrite the input"},
        {{input}, 2, "usage:"},
        {{absurdRate, output}, 2, "a sample rate of 2147483647 Hz is outside the 8000 to 768000 Hz"},
        {{lowRate, output}, 2, "a sample rate of 4000 Hz is outside"},
    };
    for (const Case& c : cases) {
        const test::RunResult run = render(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0] << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    EXPECT_FALSE(std::ifstream(output)) << "a failed render leaves no output";
}

TEST(RenderTest, EveryProgramAnswersHelpAndRefusesUnknownOptions) {
    const std::string here = std::filesystem::current_path().string();
    for (const char* program : {LAGWELL_RENDER, LAGWELL_DEMO_SIGNAL, LAGWELL_MEASURE}) {
        SCOPED_TRACE(program);
        const test::RunResult help = test::runProgram(program, {"--help"});
        EXPECT_EQ(help.status, 0) << help.output;
        EXPECT_NE(help.output.find("usage:"), std::string::npos) << help.output;
        const test::RunResult unknown = test::runProgram(program, {"--frobnicate", "a.wav", "b.wav"});
        EXPECT_EQ(unknown.status, 2) << unknown.output;
        EXPECT_NE(unknown.output.find("unknown option --frobnicate"), std::string::npos) << unknown.output;
    }
    EXPECT_FALSE(std::filesystem::exists(here + "/--help")) << "an option is never a file name";
    EXPECT_FALSE(std::filesystem::exists(here + "/--frobnicate"));
}

}  // namespace
// lagwell-measure, where the demo's figures come from, on files whose
// answers are known: clicks delayed and scaled by hand, and silence.
TEST(MeasureTest, ReportsKnownDelaysAndGainsPerChannel) {
    test::Channels<float> source(2, std::vector<float>(kRate, 0.0f));
    source[0][1000] = 0.8f;
    source[1][3000] = 0.1f;  // too quiet to be a click
    test::Channels<float> rendered(3, std::vector<float>(kRate, 0.0f));
    rendered[0][1000 + 480] = 0.8f;
    rendered[1][1000 + 7] = 0.4f;
    rendered[1][1000 + 700] = 0.2f;  // a second path, after the loudest
    const std::string sourcePath = test::scratchPath("measure-source.wav");
    const std::string renderedPath = test::scratchPath("measure-rendered.wav");
    test::writeWav(sourcePath, source, kRate);
    test::writeWav(renderedPath, rendered, kRate);
    const test::RunResult run = runProgram(LAGWELL_MEASURE, {sourcePath, renderedPath});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output,
              "  click on in 1 at 0.021 s:\n"
              "    out 1: delay    480 samples (  10.000 ms), gain  +0.00 dB\n"
              "    out 2: delay      7 samples (   0.146 ms), gain  -6.02 dB\n"
              "    out 2: delay    700 samples (  14.583 ms), gain -12.04 dB\n"
              "    out 3: silent\n");
}

// The demo's signal clicks on each input alone, then on all at once; every
// one of these is measured, once, however often the signal repeats it.
TEST(MeasureTest, ReportsClicksOnEachInputAloneAndOnAllAtOnce) {
    // Half a second apart, as in the demo's signal: in 1, in 2, both, in 1.
    const size_t half = kRate / 2;
    test::Channels<float> source(2, std::vector<float>(4 * half, 0.0f)), rendered = source;
    source[0][100] = 0.9f;
    source[1][half + 100] = 0.9f;
    source[0][2 * half + 100] = source[1][2 * half + 100] = 0.9f;
    source[0][3 * half + 100] = 0.9f;
    // Out 1 is in 1 after 48 samples; out 2 is the mean of both after 96.
    for (size_t n = 0; n + 96 < 4 * half; ++n) {
        rendered[0][n + 48] = source[0][n];
        rendered[1][n + 96] = 0.5f * (source[0][n] + source[1][n]);
    }
    const std::string sourcePath = test::scratchPath("measure-turns-source.wav");
    const std::string renderedPath = test::scratchPath("measure-turns-rendered.wav");
    test::writeWav(sourcePath, source, kRate);
    test::writeWav(renderedPath, rendered, kRate);
    const test::RunResult run = runProgram(LAGWELL_MEASURE, {sourcePath, renderedPath});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output,
              "  click on in 1 at 0.002 s:\n"
              "    out 1: delay     48 samples (   1.000 ms), gain  +0.00 dB\n"
              "    out 2: delay     96 samples (   2.000 ms), gain  -6.02 dB\n"
              "  click on in 2 at 0.502 s:\n"
              "    out 1: silent\n"
              "    out 2: delay     96 samples (   2.000 ms), gain  -6.02 dB\n"
              "  click on in 1+2 at 1.002 s:\n"
              "    out 1: delay     48 samples (   1.000 ms), gain  +0.00 dB\n"
              "    out 2: delay     96 samples (   2.000 ms), gain  +0.00 dB\n");
}

TEST(MeasureTest, ASourceWithoutAClickIsRefused) {
    const std::string silent = test::scratchPath("measure-silent.wav");
    test::writeWav(silent, {std::vector<float>(kRate, 0.0f)}, kRate);
    const test::RunResult run = runProgram(LAGWELL_MEASURE, {silent, silent});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "lagwell-measure: " + silent + " holds no click\n");
    EXPECT_EQ(runProgram(LAGWELL_MEASURE, {silent}).status, 2) << "usage";
    EXPECT_EQ(runProgram(LAGWELL_MEASURE, {silent, test::scratchPath("missing.wav")}).status, 1);
}

}  // namespace lagwell::host
