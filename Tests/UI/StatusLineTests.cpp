// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: the hint of the view under the pointer.

#include "EditorWindowTest.h"
#include "UI/Controls/StatusLine.h"

using namespace zel;
using namespace zel::test;

namespace {

// A panel with a hint of its own around a knob-sized view without one, a
// button-sized view with its own, a view without any, and the status line
// bound to the window's switch; the window is at (100, 100) of the screen.
const char* kWindow = R"(
  <ui:window-drag name="main" width="300" height="160" color="Panel" is-show-hints="true">
    <ui:window-renderer name="window-renderer" title="Hints" num-threads="0" window-x="100" window-y="100" fps="40">
      )"
                      R"(<ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>
    </ui:window-renderer>
    <ui:view name="panel" placement="top" height="60" hint="Delay of the group.">
      <ui:view name="knob" placement="left" width="50"/>
      <ui:view name="button" placement="left" width="50" hint="[B]Click[/B] to copy."/>
    </ui:view>
    <ui:view name="bare" placement="top" height="60"/>
    <ui:status-line name="status" placement="bottom" height="20" font-name="shared::font.base"
                    is-show-hints="{*/^ is-show-hints?true}"/>
  </ui:window-drag>)";

class StatusLineThreads : public EditorWindowTest {
protected:
    void SetUp() override {
        EditorWindowTest::SetUp();
        if (IsSkipped()) return;
        open(kWindow);
        waitShown(rendererOf("main"));
    }
    void hover(const char* name) {
        CView* target = view(std::string("main.") + name);
        ASSERT_NE(target, nullptr) << name;
        const CRect& r = target->area();
        const std::string at =
            std::to_string(100 + (r.left + r.right) / 2) + " " + std::to_string(100 + (r.top + r.bottom) / 2);
        ASSERT_EQ(x.run("xdotool mousemove " + at), 0);
    }
    std::string status() { return view("main.status")->getAttr("title").utf8(); }
    bool statusBecomes(const std::string& text) {
        return runUntil([&] { return status() == text; });
    }
};

TEST_F(StatusLineThreads, TheHoveredViewsHintOrItsNearestAncestorsShowsAsItIsWhileHintsAreOn) {
    EXPECT_EQ(status(), "");
    hover("panel.button");
    ASSERT_TRUE(statusBecomes("[B]Click[/B] to copy."));
    // Its markup is read: "Click" in bold.
    auto* line = dynamic_cast<CTextView*>(view("main.status"));
    ASSERT_NE(line, nullptr);
    ASSERT_FALSE(line->paragraphs().empty());
    EXPECT_TRUE(line->paragraphs()[0].items.at(0).style.bold);
    hover("panel.knob");
    ASSERT_TRUE(statusBecomes("Delay of the group."));
    // A hint that changes under the pointer shows as it is now.
    ASSERT_EQ(view("main.panel")->setAttr("hint", "Delay of group 2."), nullptr);
    ASSERT_TRUE(statusBecomes("Delay of group 2."));
    ASSERT_EQ(view("main.panel")->setAttr("hint", "Delay of the group."), nullptr);
    hover("bare");
    ASSERT_TRUE(statusBecomes(""));

    // The window's switch turns them off and on again, for the view under the pointer.
    hover("panel.button");
    ASSERT_TRUE(statusBecomes("[B]Click[/B] to copy."));
    ASSERT_EQ(view("main")->setAttr("is-show-hints", "false"), nullptr);
    EXPECT_EQ(status(), "");
    hover("panel.knob");
    root->loop.runFor(100);
    EXPECT_EQ(status(), "");
    ASSERT_EQ(view("main")->setAttr("is-show-hints", "true"), nullptr);
    EXPECT_EQ(status(), "Delay of the group.");
}

}  // namespace
