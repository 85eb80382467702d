// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's link to a real instance: param bridges, ui-params and their
// controller, state switches, and the settings of the instance and of the
// user.

#include <gtest/gtest.h>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Core/MemoryStream.h"
#include "EditorInstance.h"
#include "UI/StateSwitch.h"
#include "UI/View.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CRecorder;
using test::CTestInstance;

std::string errorText(const CErrorPtr& err) { return err ? err->text().utf8() : std::string(); }

struct CEditor {
    CTestInstance& instance;
    CInstanceRoot root;
    CErrorPtr err;
    CEditor(CTestInstance& i, const std::string& body) : instance(i), root(i) { err = test::buildEditor(root, body); }
    template <class T = CObject>
    T* at(const char* path) {
        T* found = dynamic_cast<T*>(root.findObject(path));
        EXPECT_NE(found, nullptr) << path;
        return found;
    }
    // One frame of the link, as the editor's update timer runs it.
    void frame() { ASSERT_EQ(root.ui().refresh(), nullptr); }
    CRecorder& recorderOf(CObject* sender, const char* event) {
        auto* recorder = at<CRecorder>("ui.recorder");
        EXPECT_EQ(recorder->listenObject(sender, event, "record"), nullptr);
        return *recorder;
    }
};

double instanceValue(CAudioWrapper& w, const char* name, size_t group, size_t element) {
    auto* collector = dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
    CAudioParam* p = collector->find(name);
    std::lock_guard<std::mutex> lock(p->lock());
    return p->storage().read(group, element);
}

const char* kControls = R"(
    <test:recorder name="recorder"/>
    <core:object name="groupsel" selected-group="2"/>
    <ui:view name="bypass">
      <ui:ui-param name="ui-param-value" bridge="ui.bypass-bridge"/>
    </ui:view>
    <ui:view name="digit">
      <ui:ui-param name="ui-param-value" bridge="ui.adelay-bridge" element="3" group-selector="ui.groupsel"/>
    </ui:view>
    <ui:view name="mode">
      <ui:ui-param name="ui-param-value" bridge="ui.mode-bridge"/>
      <ui:ui-param name="ui-param-activity" bridge="ui.bypass-bridge"/>
      <ui:ui-param-controller name="controller" is-inverse="true"/>
    </ui:view>)";

TEST(ParamLink, HostChangesReachABoundViewWithinOneFrame) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CEditor editor(w, kControls);
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    auto* value = editor.at<CUIParam>("ui.bypass.ui-param-value");
    CRecorder& heard = editor.recorderOf(value, "value-changed");
    EXPECT_FALSE(value->isReady());
    editor.frame();
    ASSERT_TRUE(value->isReady());
    EXPECT_EQ(value->value(), 0.0);

    // The host's controller thread (automation read, a generic slider).
    const size_t bypass = w.extIndex("Bypass");
    w.setExtParamNormalized(bypass, 1.0);
    heard.events.clear();
    editor.frame();
    EXPECT_EQ(value->value(), 1.0);
    EXPECT_TRUE(heard.heard("value-changed"));

    // Automation the audio thread applied, at the next frame.
    float in[64] = {}, out[2][64];
    const float* inputs[2] = {in, in};
    float* outputs[2] = {out[0], out[1]};
    w.setupProcessing(48000, 64);
    w.queueEvent(10, CAudioWrapper::kEventParamChange, int32_t(bypass), 0.0);
    w.process(inputs, 2, outputs, 2, 64);
    heard.events.clear();
    editor.frame();
    EXPECT_EQ(value->value(), 0.0);
    EXPECT_TRUE(heard.heard("value-changed"));

    // Another parameter's change says nothing to this view.
    heard.events.clear();
    w.setExtParamNormalized(w.extIndex("ADelay1"), 0.5);
    editor.frame();
    EXPECT_FALSE(heard.heard("value-changed"));
}

TEST(ParamLink, AChangeFromAViewIsExactlyOneUndoStep) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CEditor editor(w, kControls);
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    editor.frame();
    auto* digit = editor.at<CUIParam>("ui.digit.ui-param-value");
    auto* mode = editor.at<CUIParam>("ui.mode.ui-param-value");
    ASSERT_TRUE(digit->isReady());
    const size_t before = w.undoCount();

    // The digit of the selected channel group.
    ASSERT_EQ(digit->setValue(7), nullptr);
    EXPECT_EQ(instanceValue(w, "plugin.modMain.modLagwell.adelay", 2, 3), 7.0);
    EXPECT_EQ(instanceValue(w, "plugin.modMain.modLagwell.adelay", 0, 3), 0.0);
    EXPECT_EQ(w.undoCount(), before + 1);
    editor.frame();
    EXPECT_EQ(digit->value(), 7.0);

    // A gesture's steps share an undo id: one entry.
    const uint32_t gesture = CParamBridge::newUndoId();
    ASSERT_EQ(mode->setValue(1, gesture), nullptr);
    ASSERT_EQ(mode->setValue(2, gesture), nullptr);
    EXPECT_EQ(w.undoCount(), before + 2);
    // Two separate changes are two entries.
    ASSERT_EQ(mode->setValue(0), nullptr);
    EXPECT_EQ(w.undoCount(), before + 3);
    // A change asked to leave no trace leaves none.
    CParamBridge::CChange quiet;
    quiet.doCreateUndo = false;
    ASSERT_EQ(mode->bridge()->change(quiet, {1}), nullptr);
    EXPECT_EQ(w.undoCount(), before + 3);

    // Undoing the digit's entry brings the view back with the next frame,
    // although the group holds no digits any more.
    w.interfaceBase().undo().moveTo(before);
    editor.frame();
    EXPECT_EQ(digit->value(), 0.0);

    // A reset is one entry as well.
    ASSERT_EQ(mode->setValue(2), nullptr);
    editor.frame();
    const size_t beforeReset = w.undoCount();
    ASSERT_EQ(mode->bridge()->reset(), nullptr);
    EXPECT_EQ(w.undoCount(), beforeReset + 1);
    editor.frame();
    EXPECT_EQ(mode->value(), 0.0);

    // Another group selected: the view shows that group's digit.
    ASSERT_EQ(editor.at("ui.groupsel")->setAttr("selected-group", "0"), nullptr);
    EXPECT_EQ(digit->group(), 0u);
}

TEST(ParamLink, SimpleValuesStayInTheirRange) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CEditor editor(w, R"(
    <test:recorder name="recorder"/>
    <ui:view name="zoom">
      <ui:ui-param name="ui-param-value" is-simple-attr="true" simple-def-value="2" simple-min-value="1"
                   simple-max-value="4"/>
    </ui:view>)");
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    auto* zoom = editor.at<CUIParam>("ui.zoom.ui-param-value");
    CRecorder& heard = editor.recorderOf(zoom, "value-changed");
    EXPECT_TRUE(zoom->isReady());
    EXPECT_EQ(zoom->value(), 2.0);
    ASSERT_EQ(zoom->setValue(9), nullptr);
    EXPECT_EQ(zoom->value(), 4.0);
    EXPECT_TRUE(heard.heard("value-changed"));
    heard.events.clear();
    // No change, no news.
    ASSERT_EQ(zoom->setValue(5), nullptr);
    EXPECT_FALSE(heard.heard("value-changed"));
    ASSERT_EQ(zoom->setValue(-3), nullptr);
    EXPECT_EQ(zoom->value(), 1.0);
}

TEST(ParamLink, ControllerDisablesTheControlWithItsParameter) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CEditor editor(w, kControls);
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    CObject* control = editor.at("ui.mode");
    editor.frame();
    // Inverse: bypass on disables the mode selector.
    EXPECT_EQ(control->getAttr("is-disabled"), "false");
    w.setExtParamNormalized(w.extIndex("Bypass"), 1.0);
    editor.frame();
    EXPECT_EQ(control->getAttr("is-disabled"), "true");
    w.setExtParamNormalized(w.extIndex("Bypass"), 0.0);
    editor.frame();
    EXPECT_EQ(control->getAttr("is-disabled"), "false");
}

TEST(ParamLink, DefinitionErrors) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    const struct {
        const char* body;
        const char* message;
    } cases[] = {
        {R"(<core:object name="c"><ui:ui-param bridge="ui.bypass-bridge"/></core:object>)",
         "Parent object does not support ui-param."},
        {R"(<ui:view name="c"><ui:ui-param shared-attribute="ui.nowhere"/></ui:view>)",
         "Invalid parameter shared attribute 'ui.nowhere'."},
        {R"(<ui:view name="c"><ui:ui-param shared-attribute="ui.bypass-bridge"/></ui:view>)",
         "Invalid parameter shared attribute 'ui.bypass-bridge'."},
        {R"(<ui:param-bridge name="b" param="plugin.modMain.no-such"/>)",
         "Parameter 'plugin.modMain.no-such' not found."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        CEditor editor(w, c.body);
        ASSERT_NE(editor.err, nullptr);
        const CError* innermost = editor.err.get();
        while (innermost->cause()) innermost = innermost->cause();
        EXPECT_TRUE(errorText(editor.err) == c.message || innermost->text().utf8() == c.message)
            << errorText(editor.err);
    }
}

// ---------------------------------------------------------------- state switch

TEST(StateSwitch, TheFirstCaseThatHoldsApplies) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CEditor editor(w, R"(
    <ui:view name="badge" has-view-states="true" title="">
      <ui:view-state state-name="alert" state-attrs="color" color="ActionError"/>
      <ui:state-switch name="switch" bridge="ui.mode-bridge" target="^" state-attrs="title">
        <ui:state-data if="=!0 &amp; ui.bypass-bridge=1" title="bypassed" state-tag="alert"/>
        <ui:state-data if="ui.mode-bridge=1,2 | ui.offline-bridge=1" title="other"/>
        <ui:state-data title="plain"/>
      </ui:state-switch>
    </ui:view>)");
    ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
    auto* badge = editor.at<CView>("ui.badge");
    // Nothing is decided before the values are there.
    EXPECT_EQ(badge->getAttr("title"), "");
    editor.frame();
    EXPECT_EQ(badge->getAttr("title"), "plain");

    const size_t mode = w.extIndex("DlyDime"), bypass = w.extIndex("Bypass");
    w.setExtParamNormalized(mode, 1.0);  // "Foot"
    editor.frame();
    EXPECT_EQ(badge->getAttr("title"), "other");
    w.setExtParamNormalized(bypass, 1.0);
    editor.frame();
    EXPECT_EQ(badge->getAttr("title"), "bypassed");
    EXPECT_TRUE(badge->states().isSet("alert"));
    // Back to mode 0: the first case fails on its "!0", the second on both.
    w.setExtParamNormalized(mode, 0.0);
    editor.frame();
    EXPECT_EQ(badge->getAttr("title"), "plain");
    EXPECT_FALSE(badge->states().isSet("alert"));
    w.setOffline(true);
    editor.frame();
    EXPECT_EQ(badge->getAttr("title"), "other");
}

TEST(StateSwitch, IfSyntaxErrors) {
    const struct {
        const char* text;
        bool hasDefault;
        const char* message;
    } cases[] = {
        {"a=1|", true, "Condition group list cannot be empty: 'a=1|'"},
        {"a=1 & & b=2", true, "Condition list cannot be empty: 'a=1 & & b=2'"},
        {"=1", false, "Default bridge name is not set."},
        {"a", true, "Invalid 'if' attribute syntax."},
        {"a=", true, "Value list cannot be empty: 'a='"},
        {"a=!", true, "Value list cannot be empty: 'a=!'"},
        {"a=1,,2", true, "Value list cannot be empty: 'a=1,,2'"},
        {"!a=1", true, "The '!' sign is only allowed before the list of values: '!a=1'"},
        {"a=1,!2", true, "The '!' sign is only allowed before the list of values: 'a=1,!2'"},
        {"a=1,x", true, "Invalid integer value 'x'"},
    };
    for (const auto& c : cases) {
        CCondition parsed;
        EXPECT_EQ(errorText(CCondition::parse(c.text, c.hasDefault, parsed)), c.message) << c.text;
    }
    CCondition parsed;
    ASSERT_EQ(CCondition::parse(" a=1,-2 & =!0 | b=3 ", true, parsed), nullptr);
    ASSERT_EQ(parsed.groups().size(), 2u);
    ASSERT_EQ(parsed.groups()[0].size(), 2u);
    EXPECT_EQ(parsed.groups()[0][0].values, (std::vector<long long>{1, -2}));
    EXPECT_TRUE(parsed.groups()[0][1].negated);
    EXPECT_TRUE(parsed.groups()[0][1].bridge.empty());
    EXPECT_EQ(parsed.groups()[1][0].bridge, "b");
    ASSERT_EQ(CCondition::parse("  ", false, parsed), nullptr);
    EXPECT_TRUE(parsed.isEmpty());

    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CEditor editor(w, R"(<ui:view name="v"><ui:state-switch name="s" bridge="ui.mode-bridge">
                         <ui:state-data name="d" if="=1"/></ui:state-switch></ui:view>)");
    ASSERT_NE(editor.err, nullptr);
    EXPECT_EQ(errorText(editor.err), "Both state-attrs and state-tag are empty in ui.v.s.d");
}

// ---------------------------------------------------------------- settings

void setMode(CTestInstance& w, double mode) {
    CAudioParamTransaction tx(*dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector")));
    tx.setElements(*dynamic_cast<CAudioParam*>(w.plugin().findObject("plugin.modMain.modLagwell.delay-time-mode")), 0,
                   0, {mode});
    tx.finish("Dimension");
}

TEST(EditorSettings, LocalSettingsTravelWithTheInstanceState) {
    CTestInstance a, b, c;
    ASSERT_EQ(a.init(), nullptr);
    ASSERT_EQ(b.init(), nullptr);
    ASSERT_EQ(c.init(), nullptr);
    CMemoryWriter oldState;
    ASSERT_EQ(a.registry().saveState(oldState), nullptr);
    {
        CEditor editor(a, "");
        ASSERT_EQ(editor.err, nullptr) << errorText(editor.err);
        ASSERT_EQ(editor.at("ui.local-data.ui-scale")->setAttr("scale", "1.25"), nullptr);
    }
    // Another instance of the process keeps its own.
    {
        CEditor editor(c, "");
        EXPECT_EQ(editor.at("ui.local-data.ui-scale")->getAttr("scale"), "1.0");
    }
    CMemoryWriter state;
    ASSERT_EQ(a.saveState(state), nullptr);

    // An editor open while the state is restored follows it.
    CEditor open(b, "");
    ASSERT_EQ(open.err, nullptr);
    CMemoryReader reader(state.take());
    ASSERT_EQ(b.restoreState(reader), nullptr);
    EXPECT_EQ(open.at("ui.local-data.ui-scale")->getAttr("scale"), "1.25");
    {
        CEditor reopened(b, "");
        EXPECT_EQ(reopened.at("ui.local-data.ui-scale")->getAttr("scale"), "1.25");
    }

    // A state of the version before still loads, and leaves the settings.
    CTestInstance d;
    ASSERT_EQ(d.init(), nullptr);
    ASSERT_EQ(instanceValue(a, "plugin.modMain.modLagwell.delay-time-mode", 0, 0), 0.0);
    CMemoryReader old(oldState.take());
    ASSERT_EQ(d.restoreState(old), nullptr);
    CEditor fresh(d, "");
    EXPECT_EQ(fresh.at("ui.local-data.ui-scale")->getAttr("scale"), "1.0");

    // Damaged settings: refused, and the parameters stay as they were.
    CMemoryWriter marked;
    setMode(a, 2.0);
    ASSERT_EQ(a.saveState(marked), nullptr);
    std::vector<uint8_t> damaged = marked.take();
    // The settings' item count, just before the trailer's size and mark.
    const uint8_t* size = &damaged[damaged.size() - 8];
    const size_t settingsSize = size[0] | size[1] << 8 | size[2] << 16 | size_t(size[3]) << 24;
    for (size_t i = 0; i < 4; ++i) damaged[damaged.size() - 8 - settingsSize + i] = 0xff;
    CMemoryReader damagedReader(damaged);
    EXPECT_NE(b.restoreState(damagedReader), nullptr);
    EXPECT_EQ(instanceValue(b, "plugin.modMain.modLagwell.delay-time-mode", 0, 0), 0.0);
    EXPECT_EQ(open.at("ui.local-data.ui-scale")->getAttr("scale"), "1.25");

    // A state whose settings say nothing of the scale brings the default back.
    CMemoryWriter plain;
    ASSERT_EQ(c.saveState(plain), nullptr);
    CMemoryReader plainReader(plain.take());
    ASSERT_EQ(b.restoreState(plainReader), nullptr);
    EXPECT_EQ(open.at("ui.local-data.ui-scale")->getAttr("scale"), "1.0");
}

TEST(EditorSettings, GlobalSettingsReachEveryOpenEditor) {
    const std::string leaf = test::uniqueLeaf("tablet-mode");
    const std::string body = R"(
    <test:recorder name="recorder"/>
    <core:object name="global-data">
      <core:shared-attribute name="tablet-mode" data-name=")" +
                             leaf + R"(" attribute="tablet-mode" is-global="true" def-value="30"/>
    </core:object>
    <ui:view name="button">
      <ui:ui-param name="ui-param-value" shared-attribute="ui.global-data.tablet-mode" shared-attribute-value="60"/>
      <ui:view-command on-event="click" reset-shared-attr="ui.global-data.tablet-mode"/>
    </ui:view>)";
    CTestInstance a, b;
    ASSERT_EQ(a.init(), nullptr);
    ASSERT_EQ(b.init(), nullptr);
    CEditor first(a, body), second(b, body);
    ASSERT_EQ(first.err, nullptr) << errorText(first.err);
    ASSERT_EQ(second.err, nullptr) << errorText(second.err);
    auto* button = second.at<CUIParam>("ui.button.ui-param-value");
    CRecorder& heard = second.recorderOf(button, "value-changed");
    EXPECT_EQ(button->value(), 0.0);

    ASSERT_EQ(first.at("ui.global-data.tablet-mode")->setAttr("tablet-mode", "60"), nullptr);
    EXPECT_EQ(second.at("ui.global-data.tablet-mode")->getAttr("tablet-mode"), "60");
    EXPECT_EQ(button->value(), 1.0);
    EXPECT_TRUE(heard.heard("value-changed"));

    // The button of the first editor switches it back to the default for both.
    ASSERT_EQ(first.at<CUIParam>("ui.button.ui-param-value")->setValue(0), nullptr);
    EXPECT_EQ(second.at("ui.global-data.tablet-mode")->getAttr("tablet-mode"), "30");
    ASSERT_EQ(first.at("ui.global-data.tablet-mode")->setAttr("tablet-mode", "45"), nullptr);
    ASSERT_EQ(second.at("ui.button")->runEvent("click"), nullptr);
    EXPECT_EQ(first.at("ui.global-data.tablet-mode")->getAttr("tablet-mode"), "30");
}

}  // namespace
}  // namespace zel
