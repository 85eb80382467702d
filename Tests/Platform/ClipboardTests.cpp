// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Platform/Clipboard.h"
#include "Platform/Clock.h"
#include "Platform/RunLoop.h"
#include "Support/Patience.h"
#include "Support/RunProgram.h"
#include "Support/Xvfb.h"

namespace zel::platform {
namespace {

using zel::test::kPatienceMs;

// Every test talks to `xclip`, another X client, on a server of its own.
class ClipboardThreads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip is not installed";
        std::string error;
        clipboard = CClipboard::open(loop, x.display(), error);
        ASSERT_TRUE(clipboard) << error;
    }

    // Runs an xclip command on a thread of its own while this loop answers
    // the requests it makes.
    zel::test::RunResult xclipWhileServing(const std::string& arguments) {
        std::atomic<bool> done{false};
        zel::test::RunResult result;
        std::thread client([&] {
            result = zel::test::runProgram("sh", {"-c", "DISPLAY=" + x.display() + " timeout 10 xclip " + arguments});
            done = true;
            // Wakes the loop to look at `done`.
            loop.post([] {});
        });
        loop.runUntil([&] { return done.load(); }, kPatienceMs);
        client.join();
        return result;
    }

    // Another program takes the clipboard with `text`; xclip stays in the
    // background to serve it.
    void xclipCopies(const std::string& text) {
        const std::string command =
            "printf %s '" + text + "' | DISPLAY=" + x.display() + " xclip -i -selection clipboard >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    lagwell::test::CXvfb x;
    CStandaloneRunLoop loop;
    std::unique_ptr<CClipboard> clipboard;
};

TEST_F(ClipboardThreads, OtherProgramsReadWhatWeCopiedAsUtf8) {
    const std::string text = "Größe ½ — 🎧 Kick";
    ASSERT_TRUE(clipboard->copy(text));
    EXPECT_TRUE(clipboard->ownsSelection());
    const zel::test::RunResult read = xclipWhileServing("-o -selection clipboard");
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.output, text);
    EXPECT_EQ(clipboard->answeredCount(), 1);
    // The list of targets names the text forms.
    const zel::test::RunResult targets = xclipWhileServing("-o -selection clipboard -t TARGETS");
    EXPECT_NE(targets.output.find("UTF8_STRING"), std::string::npos) << targets.output;
    EXPECT_NE(targets.output.find("TARGETS"), std::string::npos) << targets.output;
    // A form we do not offer is refused, not answered with something else.
    const zel::test::RunResult image = xclipWhileServing("-o -selection clipboard -t image/png");
    EXPECT_NE(image.status, 0);
    EXPECT_EQ(clipboard->answeredCount(), 1);
}

TEST_F(ClipboardThreads, PastesWhatAnotherProgramCopiedAndLosesTheSelectionToIt) {
    ASSERT_TRUE(clipboard->copy("ours"));
    xclipCopies("Überhang 12.5 ms");
    std::string pasted;
    const bool gotIt =
        loop.runUntil([&] { return clipboard->paste(pasted, 1000) && pasted == "Überhang 12.5 ms"; }, kPatienceMs);
    EXPECT_TRUE(gotIt) << pasted;
    EXPECT_FALSE(clipboard->ownsSelection());
    // Ours again after copying; the paste no longer asks the other program.
    ASSERT_TRUE(clipboard->copy("again"));
    ASSERT_TRUE(clipboard->paste(pasted, 1000));
    EXPECT_EQ(pasted, "again");
}

TEST_F(ClipboardThreads, NoOwnerOrASilentOwnerEndsThePasteInTime) {
    std::string pasted = "unchanged";
    EXPECT_FALSE(clipboard->paste(pasted, 1000));
    EXPECT_EQ(pasted, "unchanged");

    // A client that takes the selection and never answers requests.
    xcb_connection_t* silent = xcb_connect(x.display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(silent));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(silent)).data;
    const xcb_window_t window = xcb_generate_id(silent);
    xcb_create_window(silent, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(silent, xcb_intern_atom(silent, 0, 9, "CLIPBOARD"), nullptr);
    ASSERT_TRUE(atom);
    xcb_set_selection_owner(silent, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(silent, xcb_get_input_focus(silent), nullptr));

    const double start = secondsSinceStart();
    EXPECT_FALSE(clipboard->paste(pasted, 200));
    const double waited = secondsSinceStart() - start;
    EXPECT_GE(waited, 0.19);
    EXPECT_LT(waited, 0.6);
    EXPECT_EQ(pasted, "unchanged");
    xcb_disconnect(silent);
}

TEST_F(ClipboardThreads, TwoEditorsOnOneThreadPasteEachOthersText) {
    std::string error;
    std::unique_ptr<CClipboard> second = CClipboard::open(loop, x.display(), error);
    ASSERT_TRUE(second) << error;
    ASSERT_TRUE(clipboard->copy("from the first"));
    std::string pasted;
    const double start = secondsSinceStart();
    // Nobody runs the loop meanwhile: the answer cannot come by request.
    ASSERT_TRUE(second->paste(pasted, 1000));
    EXPECT_LT(secondsSinceStart() - start, 0.5);
    EXPECT_EQ(pasted, "from the first");
    ASSERT_TRUE(second->copy("from the second"));
    EXPECT_FALSE(clipboard->ownsSelection());
    ASSERT_TRUE(clipboard->paste(pasted, 1000));
    EXPECT_EQ(pasted, "from the second");
    // The first learns of its loss when its events are read.
    loop.runFor(50);
    second.reset();
    EXPECT_FALSE(clipboard->paste(pasted, 200) && pasted == "from the second");
}

TEST(Clipboard, AnAbsentServerIsAnErrorNotACrash) {
    CStandaloneRunLoop loop;
    std::string error;
    EXPECT_FALSE(CClipboard::open(loop, ":4999", error));
    EXPECT_NE(error.find("Unable to connect"), std::string::npos);
}

}  // namespace
}  // namespace zel::platform
