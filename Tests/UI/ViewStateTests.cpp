// SPDX-License-Identifier: GPL-3.0-or-later
// View states with their fades and morphs, and view commands.

#include <gtest/gtest.h>

#include "UI/View.h"
#include "UITestSupport.h"

namespace zel {
namespace {

using test::CRecorder;

std::string errorText(const CErrorPtr& err) { return err ? err->text().utf8() : std::string(); }

struct CTree {
    CErrorPtr err;
    std::unique_ptr<test::CLoopRoot> root;
    explicit CTree(const std::string& body) { root = test::buildTree(body, err); }
    template <class T = CObject>
    T* at(const char* path) {
        T* found = dynamic_cast<T*>(root->findObject(path));
        EXPECT_NE(found, nullptr) << path;
        return found;
    }
    CRecorder& recorder() { return *at<CRecorder>("ui.recorder"); }
};

const char* kButton = R"(
    <test:recorder name="recorder"/>
    <ui:view name="button" has-view-states="true" color="Action" opacity="1" width="50" inner-border="LR2 B1">
      <ui:view-state state-name="hover" state-attrs="color-state opacity" color-state="Hover" opacity="0.2"
                     duration="0.5"/>
      <ui:view-state state-name="pushed" state-attrs="inner-border width" inner-border="LR2 B1 *LT1 *RB-1"
                     width="100" morph-duration="1"/>
      <ui:view-state state-name="active" state-attrs="color-state" color-state="Active" duration="0"/>
    </ui:view>)";

TEST(ViewStates, TheLaterDeclaredStateWinsAndUnsetBringsTheOwnValueBack) {
    CTree tree(kButton);
    ASSERT_EQ(tree.err, nullptr) << errorText(tree.err);
    auto* button = tree.at<CView>("ui.button");
    CViewBaseState& states = button->states();
    ASSERT_EQ(states.set("active", true, 0), nullptr);
    EXPECT_EQ(button->getAttr("color-state"), "Active");
    // "hover" is declared before "active": set after it, it still loses.
    ASSERT_EQ(states.set("hover", true, 1), nullptr);
    EXPECT_EQ(button->getAttr("color-state"), "Active");
    ASSERT_EQ(states.set("active", false, 2), nullptr);
    EXPECT_EQ(button->getAttr("color-state"), "Hover");
    ASSERT_EQ(states.toggle("hover", 3), nullptr);
    EXPECT_FALSE(states.isSet("hover"));
    EXPECT_EQ(button->getAttr("color-state"), "");
    // The pushed shift moves the content at once; borders do not fade.
    ASSERT_EQ(states.set("pushed", true, 4), nullptr);
    EXPECT_EQ(button->getAttr("inner-border"), "LR2 B1 *LT1 *RB-1");
    ASSERT_EQ(states.set("pushed", false, 4), nullptr);
    EXPECT_EQ(button->getAttr("inner-border"), "LR2 B1");
}

TEST(ViewStates, OpacityFadesSizesMorphAndStateReadyEndsThem) {
    CTree tree(kButton);
    ASSERT_EQ(tree.err, nullptr) << errorText(tree.err);
    auto* button = tree.at<CView>("ui.button");
    CRecorder& recorder = tree.recorder();
    ASSERT_EQ(recorder.listenObject(button, "state-ready", "record"), nullptr);
    CViewBaseState& states = button->states();

    ASSERT_EQ(states.set("hover", true, 10.0), nullptr);
    EXPECT_TRUE(states.isTransitioning());
    // The colour variant changes at once and is blended in while it fades.
    EXPECT_EQ(button->getAttr("color-state"), "Hover");
    ASSERT_EQ(states.advance(10.25), nullptr);
    EXPECT_NEAR(button->getReal("opacity", -1), 0.6, 1e-9);
    CString from;
    double fraction = 0;
    ASSERT_TRUE(states.colourFade("color-state", from, fraction));
    EXPECT_EQ(from, "");
    EXPECT_NEAR(fraction, 0.5, 1e-9);
    EXPECT_FALSE(recorder.heard("state-ready"));
    ASSERT_EQ(states.advance(10.5), nullptr);
    EXPECT_EQ(button->getAttr("opacity"), "0.2");
    EXPECT_FALSE(states.isTransitioning());
    EXPECT_EQ(recorder.last["state-ready"]["state-name"], "hover");

    // Unset half-way through a fade back: it turns from where it is.
    ASSERT_EQ(states.set("hover", false, 20.0), nullptr);
    ASSERT_EQ(states.advance(20.25), nullptr);
    EXPECT_NEAR(button->getReal("opacity", -1), 0.6, 1e-9);
    ASSERT_EQ(states.set("hover", true, 20.25), nullptr);
    ASSERT_EQ(states.advance(20.5), nullptr);
    EXPECT_NEAR(button->getReal("opacity", -1), 0.4, 1e-9);

    // Sizes morph in whole pixels over the morph duration.
    recorder.events.clear();
    ASSERT_EQ(states.set("pushed", true, 30.0), nullptr);
    ASSERT_EQ(states.advance(30.5), nullptr);
    EXPECT_EQ(button->getAttr("width"), "75");
    EXPECT_EQ(button->area().width(), 75);
    ASSERT_EQ(states.advance(31.0), nullptr);
    EXPECT_EQ(button->getAttr("width"), "100");
    EXPECT_TRUE(recorder.heard("state-ready"));

    // A state without a fade is ready at once.
    recorder.events.clear();
    ASSERT_EQ(states.set("active", true, 40.0), nullptr);
    EXPECT_TRUE(recorder.heard("state-ready"));
}

TEST(ViewStates, DefinitionErrors) {
    const struct {
        const char* body;
        const char* message;
    } cases[] = {
        {R"(<ui:view name="v"><ui:view-state name="s" state-name="hover" state-attrs=" "/></ui:view>)",
         "The state-attrs attribute is empty in ui.v.s"},
        {R"(<ui:view name="v"><ui:view-state name="s" state-name="hover" state-attrs="opacity duration"/></ui:view>)",
         "Reserved attribute name specified in state-attrs in ui.v.s"},
        {R"(<ui:view name="v"><ui:view-state state-attrs="opacity"/></ui:view>)", "State name is empty."},
        {R"(<core:object name="v"><ui:view-state state-name="hover" state-attrs="opacity"/></core:object>)",
         "Parent object is not a view."},
        {R"(<ui:view name="v"><ui:view-command on-event="click"><ui:view/></ui:view-command></ui:view>)",
         "Unexpected tag 'ui:view', expected <param>."},
    };
    for (const auto& c : cases) {
        CTree tree(c.body);
        EXPECT_EQ(errorText(tree.err), c.message) << c.body;
    }
}

TEST(ViewCommands, ConditionsAndEveryAction) {
    CTree tree(R"(
    <test:recorder name="recorder"/>
    <core:object name="global-data">
      <core:shared-attribute name="fps" data-name=")" +
               test::uniqueLeaf("fps") + R"(" attribute="frames-per-second" def-value="40"/>
    </core:object>
    <ui:view name="panel" is-open="false">
      <ui:view name="target" has-view-states="true" title="">
        <ui:view-state state-name="shown" state-attrs="is-hidden" is-hidden="false" duration="0"/>
        <ui:view-command on-event="ping" set-attr="title" set-attr-value="pinged"/>
      </ui:view>
      <ui:view name="button" has-view-states="true">
        <ui:view-state state-name="active" state-attrs="color-state" color-state="Active" duration="0"/>
        <ui:view-command on-event="mouse-release" condition-state-set="active" set-state="shown"
                         state-target="^target"/>
        <ui:view-command on-event="mouse-release" condition-state-unset="active" toggle-attr="is-open"
                         toggle-attr-target="^"/>
        <ui:view-command on-event="mouse-press" toggle-state="active"/>
        <ui:view-command on-event="mouse-cancel" unset-state="shown" state-target="^target"
                         reset-shared-attr="ui.global-data.fps"/>
        <ui:view-command on-event="mouse-release-r" run-event="ping" run-event-target="^target"
                         run-event-forward-params="true">
          <ui:param-data attr="source" value="button"/>
        </ui:view-command>
        <ui:view-command on-event="error-preset-load" run-event="popup-toggle" is-run-event-bridged="true"
                         run-event-target="ui.popup">
          <ui:param-data attr="popup" value="error"/>
        </ui:view-command>
      </ui:view>
    </ui:view>)");
    ASSERT_EQ(tree.err, nullptr) << errorText(tree.err);
    auto* button = tree.at<CView>("ui.panel.button");
    auto* target = tree.at<CView>("ui.panel.target");
    auto* panel = tree.at<CView>("ui.panel");
    CRecorder& recorder = tree.recorder();
    ASSERT_EQ(recorder.listenObject(button, "ping", "record"), nullptr);
    ASSERT_EQ(recorder.listenObject(tree.at("ui"), "popup-toggle", "record"), nullptr);

    // "active" unset: only the second release command runs.
    ASSERT_EQ(button->runEvent("mouse-release"), nullptr);
    EXPECT_FALSE(target->states().isSet("shown"));
    EXPECT_EQ(panel->getAttr("is-open"), "true");
    ASSERT_EQ(button->runEvent("mouse-press"), nullptr);
    EXPECT_TRUE(button->states().isSet("active"));
    ASSERT_EQ(button->runEvent("mouse-release"), nullptr);
    EXPECT_TRUE(target->states().isSet("shown"));
    EXPECT_EQ(target->getAttr("is-hidden"), "false");
    EXPECT_EQ(panel->getAttr("is-open"), "true");

    auto* fps = tree.at("ui.global-data.fps");
    ASSERT_EQ(fps->setAttr("frames-per-second", "60"), nullptr);
    ASSERT_EQ(button->runEvent("mouse-cancel"), nullptr);
    EXPECT_FALSE(target->states().isSet("shown"));
    EXPECT_EQ(fps->getAttr("frames-per-second"), "40");

    // The event goes to the target with its own and the trigger's parameters.
    CObject trigger;
    trigger.setInt("x", 12);
    ASSERT_EQ(button->runEvent("mouse-release-r", &trigger), nullptr);
    EXPECT_EQ(target->getAttr("title"), "pinged");
    ASSERT_TRUE(recorder.heard("ping"));
    EXPECT_EQ(recorder.last["ping"]["source"], "button");
    EXPECT_EQ(recorder.last["ping"]["x"], "12");

    // Any event sent to the view, bridged to whoever listens to "ui".
    ASSERT_EQ(button->runEvent("error-preset-load"), nullptr);
    ASSERT_TRUE(recorder.heard("popup-toggle"));
    EXPECT_EQ(recorder.last["popup-toggle"]["popup"], "error");
    EXPECT_EQ(recorder.last["popup-toggle"]["target"], "ui.popup");

    // An event nothing takes is still an error for the sender.
    EXPECT_NE(button->runEvent("no-such-event"), nullptr);
}

}  // namespace
}  // namespace zel
