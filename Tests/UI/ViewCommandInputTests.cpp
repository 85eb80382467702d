// SPDX-License-Identifier: GPL-3.0-or-later
// View commands driven by real input through the X server.

#include "EditorWindowTest.h"

namespace zel {
namespace {

class ViewCommandsOnX : public test::EditorWindowTest {
protected:
    std::string screenPoint(const char* path) {
        const CRect& r = view(std::string("main.") + path)->area();
        return std::to_string(100 + (r.left + r.right) / 2) + " " + std::to_string(100 + (r.top + r.bottom) / 2);
    }
};

TEST_F(ViewCommandsOnX, PointerInputSetsStatesAndRunsActions) {
    open(R"(
  <ui:window-drag name="main" width="200" height="100" color="Panel">
    <ui:window-renderer name="window-renderer" title="Test" num-threads="0" window-x="100" window-y="100" fps="40">
      )" +
         test::rendererChildren() +
         R"(
    </ui:window-renderer>
    <ui:view name="button" width="80" height="40" color="Action" has-view-states="true" is-on="false"
             inner-border="LR2 B1">
      <ui:view-state state-name="hover" state-attrs="color-state" color-state="Hover" duration="0"/>
      <ui:view-state state-name="pushed" state-attrs="inner-border" inner-border="LR2 B1 *LT1 *RB-1" duration="0"/>
      <ui:view-command on-event="mouse-enter" set-state="hover"/>
      <ui:view-command on-event="mouse-exit" unset-state="hover"/>
      <ui:view-command on-event="mouse-press" set-state="pushed"/>
      <ui:view-command on-event="mouse-release" unset-state="pushed" toggle-attr="is-on"/>
    </ui:view>
    <ui:view name="elsewhere" width="80" height="40"/>
  </ui:window-drag>)");
    CWindowRenderer* renderer = rendererOf("main");
    waitShown(renderer);
    CView* button = view("main.button");
    ASSERT_NE(button, nullptr);

    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("button")), 0);
    ASSERT_TRUE(runUntil([&] { return button->states().isSet("hover"); }));
    EXPECT_EQ(button->getAttr("color-state"), "Hover");
    ASSERT_EQ(x.run("xdotool mousedown 1"), 0);
    ASSERT_TRUE(runUntil([&] { return button->states().isSet("pushed"); }));
    EXPECT_EQ(button->getAttr("inner-border"), "LR2 B1 *LT1 *RB-1");
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);
    ASSERT_TRUE(runUntil([&] { return button->getAttr("is-on") == "true"; }));
    EXPECT_FALSE(button->states().isSet("pushed"));
    EXPECT_EQ(button->getAttr("inner-border"), "LR2 B1");
    ASSERT_EQ(x.run("xdotool mousemove " + screenPoint("elsewhere")), 0);
    ASSERT_TRUE(runUntil([&] { return !button->states().isSet("hover"); }));
    EXPECT_EQ(button->getAttr("color-state"), "");
}

}  // namespace
}  // namespace zel
