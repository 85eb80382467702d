// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cstdlib>
#include <thread>

#include "EditFieldTest.h"
#include "Platform/Clipboard.h"
#include "Platform/Clock.h"
#include "Support/RunProgram.h"
#include "UI/EditBox.h"
#include "UI/UpdateTimer.h"

using namespace zel;
using namespace zel::test;

namespace {

// Edit boxes, "name" and "gain" in one tab group, "readout" opened by a
// single click, and a plain view in a window at (100, 100) of the screen.
const std::string kWindow = editWindow("Edit", 300, 150, R"(
    <ui:editbox name="name" placement="top" height="24" title="Kick" font-name="shared::font.base"
                inner-border="LR4" color="Background" tab-group="channel"/>
    <ui:editbox name="delay" placement="top" height="24" title="10.5" font-name="shared::font.base"
                accept-chars="0123456789.-" max-paragraph-length="6" inner-border="LR4" color="Background"/>
    <ui:editbox name="readout" placement="top" height="24" title="250.00" font-name="shared::font.base"
                inner-border="LR4" is-editbox-on-singleclick="true"/>
    <ui:editbox name="gain" placement="top" height="24" title="-3 dB" font-name="shared::font.base"
                inner-border="LR4" color="Background" tab-group="channel"/>
    <ui:view name="plain" placement="top" height="full"/>)");

class EditBoxThreads : public EditFieldTest {
protected:
    void SetUp() override {
        EditFieldTest::SetUp();
        if (IsSkipped()) return;
        openFields(kWindow, {"main.name", "main.delay", "main.gain", "main.readout"},
                   {"editbox-text-changed", "editbox-empty-value"});
    }
    CEditBox* box(const char* name) { return dynamic_cast<CEditBox*>(view(std::string("main.") + name)); }
    // A real click; the box edits once its press arrived and it holds the
    // keyboard.
    void clickInto(const char* name, int dx = 0) {
        ASSERT_EQ(x.run("xdotool mousemove " + screenPoint(name, dx) + " click 1"), 0);
        ASSERT_TRUE(runUntil([&] { return box(name)->isEditing() && renderer->window()->holdsInputFocus(); }));
    }
    std::string textOf(const char* name) { return box(name)->buffer().text(); }
    bool textBecomes(const char* name, const std::string& text) {
        return runUntil([&] { return textOf(name) == text; });
    }
    // Runs a shell command on a thread while the loop answers clipboard
    // requests; its output.
    std::string whileServing(const std::string& command) {
        std::atomic<bool> done{false};
        RunResult result;
        std::thread client([&] {
            result = runProgram("sh", {"-c", "DISPLAY=" + x.display() + " timeout 10 " + command});
            done = true;
            root->loop.post([] {});
        });
        runUntil([&] { return done.load(); });
        client.join();
        return result.output;
    }
};

TEST_F(EditBoxThreads, TypedKeysEditAndEnterAcceptsWhileEscapeRestores) {
    clickInto("name");
    keys("End BackSpace BackSpace");
    typed("ng Drum");
    ASSERT_TRUE(textBecomes("name", "King Drum"));
    // Shift+Home selects to the start; typing replaces it.
    keys("Left Left Left Left Left shift+Home");
    typed("S");
    ASSERT_TRUE(textBecomes("name", "S Drum"));
    keys("ctrl+Right Delete Return");
    ASSERT_TRUE(heard("name:editbox-text-changed"));
    EXPECT_EQ(log->param("name:editbox-text-changed", "text"), "S rum");
    EXPECT_EQ(log->param("name:editbox-text-changed", "is-cancelled"), "false");
    EXPECT_EQ(view("main.name")->getAttr("title").utf8(), "S rum");
    EXPECT_FALSE(box("name")->isEditing());
    EXPECT_EQ(renderer->router()->focusView(), nullptr);

    // Escape throws the typing away. (Clicked elsewhere than before: a
    // second click at the same place would be a double click, which
    // selects everything.)
    clickInto("name", 40);
    typed("xyz");
    ASSERT_TRUE(textBecomes("name", "S rumxyz")) << textOf("name");
    keys("Escape");
    ASSERT_TRUE(runUntil([&] { return log->count("name:editbox-text-changed") == 2; }));
    EXPECT_EQ(log->param("name:editbox-text-changed", "is-cancelled"), "true");
    EXPECT_EQ(textOf("name"), "S rum");
    EXPECT_EQ(view("main.name")->getAttr("title").utf8(), "S rum");
}

TEST_F(EditBoxThreads, RefusedCharactersTabAndLostFocusAccept) {
    clickInto("delay");
    keys("ctrl+a BackSpace");
    typed("12a3.4x5678");
    ASSERT_TRUE(textBecomes("delay", "123.45"));
    // Tab moves on to the next field; the edit left behind is accepted.
    keys("Tab");
    ASSERT_TRUE(heard("delay:editbox-text-changed"));
    EXPECT_EQ(log->param("delay:editbox-text-changed", "text"), "123.45");
    EXPECT_EQ(log->param("delay:editbox-text-changed", "is-cancelled"), "false");
    ASSERT_TRUE(runUntil([&] { return box("readout")->isEditing(); }));
    // Emptied and left by a click elsewhere: accepted, and empty.
    keys("ctrl+a Delete");
    ASSERT_TRUE(textBecomes("readout", ""));
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("plain") + " click 1"), 0);
    ASSERT_TRUE(heard("readout:editbox-empty-value"));
    EXPECT_EQ(log->param("readout:editbox-text-changed", "is-cancelled"), "false");
    EXPECT_FALSE(box("readout")->isEditing());
}

TEST_F(EditBoxThreads, TabStaysWithinTheFieldsTabGroup) {
    clickInto("name");
    keys("Tab");
    ASSERT_TRUE(runUntil([&] { return box("gain")->isEditing(); }));
    EXPECT_FALSE(box("delay")->isEditing());
    keys("Tab");
    ASSERT_TRUE(runUntil([&] { return box("name")->isEditing(); }));
    keys("shift+Tab");
    ASSERT_TRUE(runUntil([&] { return box("gain")->isEditing(); }));
    EXPECT_EQ(log->count("delay:editbox-text-changed"), 0u);
    EXPECT_EQ(log->count("name:editbox-text-changed"), 2u);
}

TEST_F(EditBoxThreads, TheCaretBlinksOnTheCursorTimerAndStopsWithTheEdit) {
    clickInto("name");
    EXPECT_TRUE(box("name")->isCaretShown());
    ASSERT_TRUE(runUntil([&] { return !box("name")->isCaretShown(); }));
    ASSERT_TRUE(runUntil([&] { return box("name")->isCaretShown(); }));
    // A key lights it at once.
    ASSERT_TRUE(runUntil([&] { return !box("name")->isCaretShown(); }));
    typed("a");
    ASSERT_TRUE(textBecomes("name", "Kicka"));
    EXPECT_TRUE(box("name")->isCaretShown());
    keys("Return");
    ASSERT_TRUE(heard("name:editbox-text-changed"));
    EXPECT_FALSE(box("name")->isCaretShown());
    // With nothing focused the window's cursor timer stops by itself.
    auto* cursorTimer = dynamic_cast<CIntervalTimer*>(renderer->findChild("cursor-timer"));
    ASSERT_NE(cursorTimer, nullptr);
    EXPECT_TRUE(runUntil([&] { return !cursorTimer->updateTimer()->isRunning(); }));
}

TEST_F(EditBoxThreads, CopiesToAndPastesFromOtherProgramsThroughTheClipboard) {
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip is not installed";
    clickInto("name");
    keys("ctrl+a ctrl+c");
    // The keys reach the editor some time after xdotool returns.
    platform::CClipboard* clipboard = nullptr;
    ASSERT_EQ(shared->clipboard(clipboard), nullptr);
    ASSERT_TRUE(runUntil([&] { return clipboard->ownsSelection(); }));
    EXPECT_EQ(whileServing("xclip -o -selection clipboard"), "Kick");
    // Cut takes the text out and leaves it on the clipboard.
    keys("ctrl+x");
    ASSERT_TRUE(textBecomes("name", ""));
    EXPECT_EQ(whileServing("xclip -o -selection clipboard"), "Kick");
    // Text another program copied comes in as UTF-8, in place of the
    // selection.
    const std::string command =
        "printf %s 'Überhang 2' | DISPLAY=" + x.display() + " xclip -i -selection clipboard >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    keys("ctrl+v");
    ASSERT_TRUE(textBecomes("name", "Überhang 2"));
    // The digits-only box keeps what it accepts of it, within its limit.
    clickInto("delay");
    keys("ctrl+a ctrl+v");
    ASSERT_TRUE(textBecomes("delay", "2"));
    keys("Return");
    ASSERT_TRUE(heard("delay:editbox-text-changed"));
    EXPECT_EQ(log->param("delay:editbox-text-changed", "text"), "2");
}

TEST_F(EditBoxThreads, ClicksPlaceTheCaretDragsSelectAndADoubleClickSelectsAll) {
    const CRect& area = view("main.name")->area();
    const std::string y = std::to_string(100 + (area.top + area.bottom) / 2);
    const std::string start = std::to_string(100 + area.left + 4) + " " + y;
    // Before the first character: the caret goes to the start.
    ASSERT_EQ(x.run("xdotool mousemove " + start + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return box("name")->isEditing() && box("name")->buffer().caret() == 0; }));
    // A drag from there to the far right selects the whole text.
    ASSERT_EQ(x.run("xdotool mousemove " + start + " mousedown 1 mousemove " + screenPoint("name", 100) + " mouseup 1"),
              0);
    ASSERT_TRUE(runUntil([&] { return box("name")->buffer().selectedText() == "Kick"; }));
    keys("Home");
    ASSERT_TRUE(runUntil([&] { return !box("name")->buffer().hasSelection(); }));
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("name", -60) + " click --repeat 2 --delay 60 1"), 0);
    ASSERT_TRUE(runUntil([&] { return box("name")->buffer().selectedText() == "Kick"; }));
}

TEST_F(EditBoxThreads, ASingleClickOpensAfterTheDelayAndADoubleClickOpensNothing) {
    const double start = platform::secondsSinceStart();
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("readout") + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return renderer->router()->focusView() == box("readout"); }));
    EXPECT_FALSE(box("readout")->isEditing());
    ASSERT_TRUE(runUntil([&] { return box("readout")->isEditing(); }));
    EXPECT_GE(platform::secondsSinceStart() - start, 0.5);
    keys("Escape");
    ASSERT_TRUE(heard("readout:editbox-text-changed"));
    // The second press of a double click ends the first one's wait.
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("readout", 50) + " click --repeat 2 --delay 80 1"), 0);
    ASSERT_TRUE(runUntil([&] { return renderer->router()->focusView() == box("readout"); }));
    root->loop.runFor(900);
    EXPECT_FALSE(box("readout")->isEditing());
    // Tab into it opens it at once.
    clickInto("delay");
    keys("Tab");
    ASSERT_TRUE(runUntil([&] { return box("readout")->isEditing(); }));
    EXPECT_EQ(log->count("readout:editbox-text-changed"), 1u);
}

}  // namespace
