// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in's editor in lagwell-editor, on a virtual X server of the
// test's own.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "Support/Patience.h"
#include "Support/Xvfb.h"
#include "TestHost.h"

namespace {

using lagwell::host::test::runProgram;
using lagwell::host::test::RunResult;

class EditorProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
    }
    RunResult editor(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--plugin", LAGWELL_VST3_BUNDLE};
        all.insert(all.end(), args.begin(), args.end());
        return runProgram(LAGWELL_EDITOR, all);
    }
    lagwell::test::CXvfb x;
};

// The RGB pixels of an 8-bit RGB PNG file.
bool readPng(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    width = int(image.width);
    height = int(image.height);
    return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
}

TEST_F(EditorProgram, ScreenshotShowsTheMainWindowAtItsSize) {
    const std::string shot = lagwell::host::test::scratchPath("editor.png");
    const RunResult r = editor({"--screenshot", shot, "--after-frames", "5"});
    ASSERT_EQ(r.status, 0) << r.output;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(readPng(shot, width, height, rgb));
    EXPECT_EQ(width, 540);
    EXPECT_EQ(height, 315);
    // The document's panels in the default scheme's tones: the title bar
    // on top (its gloss fading out towards its bottom edge), the button row
    // on the window's background under the spotlight, the inside of the
    // "Audio Delay" panel above its knobs and the status area at the bottom
    // with its edge.
    auto tone = [&](int x, int y) {
        const size_t at = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return uint32_t(rgb[at]) << 16 | uint32_t(rgb[at + 1]) << 8 | rgb[at + 2];
    };
    auto channel = [](uint32_t c, int i) { return int(c >> (16 - 8 * i) & 0xff); };
    auto near = [&](uint32_t a, uint32_t b, int tolerance) {
        for (int i = 0; i < 3; ++i)
            if (std::abs(channel(a, i) - channel(b, i)) > tolerance) return false;
        return true;
    };
    auto between = [&](uint32_t c, uint32_t from, uint32_t to) {
        for (int i = 0; i < 3; ++i)
            if (channel(c, i) <= std::min(channel(from, i), channel(to, i)) ||
                channel(c, i) >= std::max(channel(from, i), channel(to, i)))
                return false;
        return true;
    };
    // A new user's scheme is "Gray": title bar b3b3b3, background 8c8c8c,
    // panels d9d9d9 under a faint grain, spotlight white.
    EXPECT_TRUE(near(tone(270, 22), 0xb3b3b3u, 6)) << std::hex << tone(270, 22);
    EXPECT_TRUE(between(tone(270, 2), 0xb3b3b3u, 0xffffffu)) << std::hex << tone(270, 2);
    // Left of the button row.
    EXPECT_TRUE(between(tone(1, 40), 0x8c8c8cu, 0xffffffu)) << std::hex << tone(1, 40);
    EXPECT_TRUE(near(tone(480, 90), 0xd9d9d9u, 10)) << std::hex << tone(480, 90);
    EXPECT_TRUE(near(tone(270, 306), 0xd9d9d9u, 4)) << std::hex << tone(270, 306);
    EXPECT_LT(channel(tone(270, 297), 2), 0xd9 - 20) << "the status area's edge";
}

// Values a host sets before the editor opens are what the editor shows:
// the "x 1" digit of the audio delay at 9, given plain or normalized,
// turns that knob and changes the delay's read-out, and nothing outside the
// "Audio Delay" panel.
TEST_F(EditorProgram, ParametersSetBeforeOpeningAreWhatItShows) {
    auto shoot = [&](const std::vector<std::string>& params, const char* name, std::vector<uint8_t>& rgb) {
        const std::string shot = lagwell::host::test::scratchPath(name);
        std::vector<std::string> args{"--screenshot", shot, "--after-frames", "5"};
        for (const std::string& p : params) args.insert(args.end(), {"--param", p});
        const RunResult r = editor(args);
        ASSERT_EQ(r.status, 0) << r.output;
        int width = 0, height = 0;
        ASSERT_TRUE(readPng(shot, width, height, rgb));
        ASSERT_EQ(width * height, 540 * 315);
    };
    std::vector<uint8_t> initial, plain, normalized;
    shoot({}, "param-initial.png", initial);
    shoot({"ADelay2=9"}, "param-plain.png", plain);
    shoot({"SDelay0=0", "ADelay2=1n"}, "param-normalized.png", normalized);
    EXPECT_TRUE(plain == normalized);
    struct Box {
        int left, top, right, bottom;
        bool has(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    };
    const Box panel{128, 56, 538, 195}, knob{311, 100, 367, 156}, readOut{205, 79, 300, 101};
    int outside = 0, inKnob = 0, inReadOut = 0;
    for (int y = 0; y < 315; ++y)
        for (int x = 0; x < 540; ++x) {
            const size_t at = (size_t(y) * 540 + size_t(x)) * 3;
            if (std::equal(&initial[at], &initial[at] + 3, &plain[at])) continue;
            outside += !panel.has(x, y);
            inKnob += knob.has(x, y);
            inReadOut += readOut.has(x, y);
        }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inKnob, 50);
    EXPECT_GT(inReadOut, 20);

    RunResult r = editor({"--param", "Nope=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("no parameter titled \"Nope\""), std::string::npos) << r.output;
    r = editor({"--param", "ADelay2=many"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("\"many\" is not a value of ADelay2"), std::string::npos) << r.output;
}

TEST_F(EditorProgram, OpensAndClosesTwoHundredTimesLeavingNothingBehind) {
    // The debug log tells of X errors on the editor's own connection.
    setenv("LAGWELL_DEBUG", "1", 1);
    const RunResult r = editor({"--cycles", "200", "--after-frames", "2", "--stats"});
    unsetenv("LAGWELL_DEBUG");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("timers=0 handlers=0 threads=+0 fds=+0 x-errors=0"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("X errors"), std::string::npos) << r.output;
    // The log is on: every opening made its window.
    size_t opened = 0;
    for (size_t at = r.output.find("Open window on"); at != std::string::npos;
         at = r.output.find("Open window on", at + 1))
        ++opened;
    EXPECT_EQ(opened, 200u);
}

TEST_F(EditorProgram, AHostWithoutRunLoopGetsNoEditor) {
    const RunResult r = editor({"--no-run-loop"});
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("the editor did not open"), std::string::npos) << r.output;
}

TEST_F(EditorProgram, TheServerGoingAwayDoesNotEndTheHost) {
    // The screenshot is written once the editor has drawn its first frame:
    // from then on the editor is open, however slow the machine.
    const std::string shot = lagwell::host::test::scratchPath("open-editor.png");
    std::remove(shot.c_str());
    RunResult r;
    std::thread host([&] { r = editor({"--run-ms", "30000", "--after-frames", "1", "--screenshot", shot}); });
    const bool opened = zel::test::eventually([&] { return std::ifstream(shot).good(); });
    x.kill();
    host.join();
    ASSERT_TRUE(opened) << r.output;
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("display: lost"), std::string::npos) << r.output;
}

}  // namespace

namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

// A script that drives the editor with real input asks the host what the
// instance does meanwhile: requests wait in the pipe before the host reads
// them, each answer is whole when its file appears, and "quit" closes the
// editor as its window's close button would.
TEST_F(EditorProgram, AnswersRequestsFromAPipeUntilToldToQuit) {
    using lagwell::host::test::scratchPath;
    const std::string pipe = scratchPath("requests"), params = scratchPath("answer-params"),
                      render = scratchPath("answer-render"), state = scratchPath("answer-state");
    for (const std::string& f : {pipe, params, render, state}) std::remove(f.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int fd = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::string requests = "params " + params + "\nfly away\nrender " + render + "\nstate " + state + "\nquit\n";
    ASSERT_EQ(write(fd, requests.data(), requests.size()), ssize_t(requests.size()));
    // 10 ms on group 1, which holds both channels by default.
    const RunResult r = editor({"--param", "ADelay3=1", "--requests", pipe});
    close(fd);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\"fly away\" is not a request"), std::string::npos) << r.output;

    const std::string shown = fileText(params);
    EXPECT_EQ(shown.rfind("Bypass=Off\n", 0), 0u) << shown;
    EXPECT_NE(shown.find("\nADelay3=1\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\nADelay2=0\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\nProgram=Default\n"), std::string::npos) << shown;
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 50) << shown;
    // Each impulse 480 samples later, nothing else above -40 dB.
    EXPECT_EQ(fileText(render), "out1: 480:1.000\nout2: 1480:0.500\n");
    const std::string saved = fileText(state);
    EXPECT_NE(saved.find("aprs"), std::string::npos);
    for (const std::string& f : {params, render, state}) EXPECT_FALSE(std::ifstream(f + ".part").good()) << f;
}

TEST_F(EditorProgram, RequestsAreNotTakenWithTheSine) {
    const RunResult r = editor({"--sine", "-20", "--requests", lagwell::host::test::scratchPath("unused")});
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.output.find("--requests FIFO"), std::string::npos);
}

// The editor closed after its file browser was used leaves no descriptor
// behind: its windows' timers stop on the host's loop as it goes, and none
// starts a loop of the process's own meanwhile.
TEST_F(EditorProgram, ClosesWithoutLeftoversAfterTheFileBrowser) {
    using lagwell::host::test::scratchPath;
    const std::string pipe = scratchPath("requests-browser");
    std::remove(pipe.c_str());
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int fd = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    RunResult r;
    std::thread host([&] { r = editor({"--requests", pipe}); });
    // The main window's "Presets", the manager's "Session Bank" and "Save"
    // under the bank list, then the browser's "Cancel", at their places at
    // scale 1.0. A window that does not come fails the test, not hangs it.
    auto clickIn = [&](const char* title, int px, int py) {
        return x.run(std::string("timeout 30 xdotool search --sync --onlyvisible --name '^") + title +
                     "$' mousemove --window %1 " + std::to_string(px) + " " + std::to_string(py) +
                     " click 1 sleep 0.5");
    };
    EXPECT_EQ(clickIn("Lagwell", 33, 37), 0);
    EXPECT_EQ(clickIn("Preset Manager", 80, 57), 0);
    EXPECT_EQ(clickIn("Preset Manager", 141, 283), 0);
    EXPECT_EQ(clickIn("Files", 389, 360), 0);
    ASSERT_EQ(write(fd, "quit\n", 5), 5);
    host.join();
    close(fd);
    EXPECT_EQ(r.status, 0) << r.output;
}
