// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's switches and button row as a person uses them: clicks,
// wheel steps and choices in drop-down lists through the X server, on the
// editor of an instance made as a host makes it.

#include <gtest/gtest.h>

#include "EditorInHostFixture.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/SelectorGroupMinimal.h"
#include "UI/Controls/TextView.h"
#include "UI/ParamGroupSelector.h"
#include "UI/ParamLink.h"
#include "UI/WindowOpener.h"
#include "UI/WindowSharedData.h"

namespace zel {
namespace {

using namespace Steinberg;

class MainWindowButtonsOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Shown, described, and with the history known.
        ASSERT_TRUE(until([&] {
            return bridge("bypass")->isReady() && bridge("delay-time-mode")->isReady() &&
                   !client->undoHistory().empty() && group()->buttonCount() > 0;
        }));
        renderer->window()->display().sync();
    }

    CButton* button(const std::string& path) { return find<CButton>("main-window." + path); }
    CSelectorGroupMinimal* group() { return find<CSelectorGroupMinimal>("main-window.buttons.selector-group-minimal"); }
    void wheel(const CView& v, int steps, bool down) {
        ASSERT_EQ(x.run("xdotool mousemove " + at(v) + " click --repeat " + std::to_string(steps) + " --delay 30 " +
                        (down ? "5" : "4")),
                  0);
    }
    double mode(size_t group) { return bridge("delay-time-mode")->value(group, 0); }
};

TEST_F(MainWindowButtonsOnX, TheTitleBarSwitchesBypassTheInstanceAndTurnHintsOnAndOff) {
    CButton* bypass = button("window-title.audio-bypass-switch");
    CButton* hints = button("window-title.show-hints-switch");
    ASSERT_TRUE(bypass && hints);
    EXPECT_FALSE(bypass->isActive());
    click(*bypass);
    // The host hears of it as of any automation.
    ASSERT_TRUE(until([&] { return plugin.controller->getParamNormalized(0) == 1.0; }));
    EXPECT_TRUE(bypass->isActive());
    // Still under the pointer: the hovered variant of the active colour.
    EXPECT_EQ(bypass->getAttr("color-state"), "Active/Hover");
    click(*bypass);
    ASSERT_TRUE(until([&] { return plugin.controller->getParamNormalized(0) == 0.0; }));
    EXPECT_FALSE(bypass->isActive());

    CObject* setting = root->findObject("ui.global-data.show-hints");
    ASSERT_NE(setting, nullptr);
    const bool was = setting->getBool("show-hints", true);
    EXPECT_EQ(hints->isActive(), was);
    click(*hints);
    ASSERT_TRUE(until([&] { return setting->getBool("show-hints", was) != was; }));
    EXPECT_EQ(hints->isActive(), !was);
    click(*hints);
    ASSERT_TRUE(until([&] { return setting->getBool("show-hints", !was) == was; }));
}

TEST_F(MainWindowButtonsOnX, TheGroupSelectorChoosesTheGroupTheControlsEdit) {
    CSelectorGroupMinimal* groups = group();
    auto* selector = dynamic_cast<CParamGroupSelector*>(root->findObject("ui.groupsel"));
    CButton* dimension = button("panels.audio-delay.entry.dimension");
    ASSERT_TRUE(selector && dimension);
    // The default routing puts two channels in each of four groups.
    ASSERT_EQ(groups->buttonCount(), 4u);
    EXPECT_EQ(groups->activeButton(), 0);
    EXPECT_EQ(groups->button(0)->getAttr("hint"), "Channel group selector. Channels in the current group: L, R");

    click(*groups->button(1));
    ASSERT_TRUE(until([&] { return selector->selectedGroup() == 1; }));
    EXPECT_EQ(groups->activeButton(), 1);
    EXPECT_TRUE(groups->button(1)->isActive());
    EXPECT_FALSE(groups->button(0)->isActive());
    // Kept with the instance, and no step of the undo history.
    ASSERT_TRUE(until([&] { return bridge("groupsel")->value(0, 0) == 1.0; }));
    EXPECT_EQ(client->undoHistory().size(), 1u);

    // The Dimension drop-down now edits group 2: a wheel step down is "Meter" there only.
    EXPECT_EQ(dimension->getAttr("title"), "Msec");
    wheel(*dimension, 1, true);
    ASSERT_TRUE(until([&] { return mode(1) == 1.0; }));
    EXPECT_EQ(mode(0), 0.0);
    ASSERT_TRUE(until([&] { return dimension->getAttr("title") == "Meter"; }));
    click(*groups->button(0));
    ASSERT_TRUE(until([&] { return dimension->getAttr("title") == "Msec"; }));

    // The groups change under the pointer: the buttons that go are forgotten by the window.
    auto* shared = dynamic_cast<CWindowSharedData*>(root->findObject("ui.window-shared-data"));
    ASSERT_NE(shared, nullptr);
    CView* fourth = groups->button(3);
    ASSERT_EQ(x.run("xdotool mousemove " + at(*fourth)), 0);
    ASSERT_TRUE(until([&] { return shared->hoverView() == fourth; }));
    for (size_t e = 0; e < 8; ++e) {
        CParamBridge::CChange where;
        where.element = e;
        ASSERT_EQ(bridge("grouping")->change(where, {e == 0 ? 0.0 : 1.0}), nullptr);
    }
    ASSERT_TRUE(until([&] { return groups->buttonCount() == 2; }));
    EXPECT_NE(shared->hoverView(), fourth);
    EXPECT_EQ(groups->button(1)->getAttr("hint"),
              "Channel group selector. Channels in the current group: R, IN3, IN4, IN5, IN6, IN7, IN8");
    ASSERT_EQ(x.run("xdotool mousemove_relative 1 1"), 0);
    loop.runFor(100);
}

TEST_F(MainWindowButtonsOnX, UndoRedoAndTheHistoryListMoveThroughTheChanges) {
    CButton* dimension = button("panels.audio-delay.entry.dimension");
    CButton* undo = button("buttons.history.undo");
    CButton* redo = button("buttons.history.redo");
    CButton* list = button("buttons.history.list");
    ASSERT_TRUE(dimension && undo && redo && list);
    EXPECT_TRUE(undo->getBool("is-disabled", false)) << "nothing to undo yet";
    EXPECT_TRUE(redo->getBool("is-disabled", false));

    choose(*dimension, "Foot");
    ASSERT_TRUE(until([&] { return mode(0) == 2.0 && client->undoHistory().size() == 2; }));
    ASSERT_TRUE(until([&] { return !undo->getBool("is-disabled", true); }));
    wheel(*dimension, 1, false);
    ASSERT_TRUE(until([&] { return mode(0) == 1.0 && client->undoHistory().size() == 3; }));

    click(*undo);
    ASSERT_TRUE(until([&] { return mode(0) == 2.0; }));
    EXPECT_EQ(client->undoPosition(), 1u);
    ASSERT_TRUE(until([&] { return !redo->getBool("is-disabled", true); }));
    click(*undo);
    ASSERT_TRUE(until([&] { return mode(0) == 0.0; }));
    ASSERT_TRUE(until([&] { return undo->getBool("is-disabled", false); }));
    click(*redo);
    ASSERT_TRUE(until([&] { return mode(0) == 2.0; }));

    // The list names every step after its start; choosing the last goes there.
    const std::vector<CTextView::CListEntry> entries = list->entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].title, CString("Undo history start"));
    EXPECT_EQ(list->selectedItem(), 1);
    choose(*list, entries[2].title);
    ASSERT_TRUE(until([&] { return mode(0) == 1.0 && client->undoPosition() == 2; }));
    EXPECT_EQ(list->selectedItem(), 2);
}

TEST_F(MainWindowButtonsOnX, ABSwapsTheStatesAndTheCopyButtonCopiesTheLiveOneOver) {
    CButton* ab = button("buttons.ab");
    CButton* copy = button("buttons.ab-copy");
    CButton* dimension = button("panels.audio-delay.entry.dimension");
    ASSERT_TRUE(ab && copy && dimension);
    EXPECT_EQ(ab->getAttr("image-set-index"), "0") << "A";

    click(*ab);
    ASSERT_TRUE(until([&] { return bridge("ab-state")->value(0, 0) == 1.0; }));
    ASSERT_TRUE(until([&] { return ab->getAttr("image-set-index") == "1"; })) << "B";
    EXPECT_TRUE(ab->isActive());
    // B starts as a copy of A; a change there leaves A as it was.
    wheel(*dimension, 2, true);
    ASSERT_TRUE(until([&] { return mode(0) == 2.0; }));
    click(*ab);
    ASSERT_TRUE(until([&] { return bridge("ab-state")->value(0, 0) == 0.0 && mode(0) == 0.0; }));
    click(*ab);
    ASSERT_TRUE(until([&] { return bridge("ab-state")->value(0, 0) == 1.0 && mode(0) == 2.0; }));

    // Copied over, the other slot holds the live state too.
    click(*copy);
    ASSERT_TRUE(until([&] { return !copy->isPushed(); }));
    loop.runFor(100);
    click(*ab);
    ASSERT_TRUE(until([&] { return bridge("ab-state")->value(0, 0) == 0.0; }));
    loop.runFor(100);
    EXPECT_EQ(mode(0), 2.0);
}

TEST_F(MainWindowButtonsOnX, TheQuickSelectorsActivatePresetsAndTheWindowButtonsSayTheyOpenNothingYet) {
    auto* presets = button("buttons.quick-preset-selector");
    auto* routing = button("buttons.quick-routing-selector");
    ASSERT_TRUE(presets && routing);
    const std::vector<CTextView::CListEntry> entries = presets->entries();
    ASSERT_GE(entries.size(), 4u);
    EXPECT_EQ(entries[0].title, CString("[B]Factory ROM[/B]"));
    EXPECT_FALSE(entries[0].isEnabled) << "a heading";

    choose(*presets, "32 samples");
    auto* sdelay = bridge("sdelay");
    ASSERT_TRUE(until([&] { return sdelay->value(0, 0) == 2.0 && sdelay->value(0, 1) == 3.0; }));
    ASSERT_TRUE(until([&] { return presets->getAttr("title") == "32 samples"; }));

    // "Dual Mono" puts the left channel in a group of its own, the rest in another.
    choose(*routing, "Dual Mono");
    ASSERT_TRUE(until([&] { return group()->buttonCount() == 2u; }));
    EXPECT_EQ(group()->button(0)->getAttr("title"), "Left");
    EXPECT_EQ(group()->button(1)->getAttr("title"), "Right");
}

// At 1.0 each window button of the row shows its whole title, and the row
// stays within the window.
TEST_F(MainWindowButtonsOnX, TheWindowButtonsShowTheirWholeTitles) {
    for (const char* name : {"presets", "routing", "settings"}) {
        CButton* b = button(std::string("buttons.") + name);
        ASSERT_NE(b, nullptr) << name;
        auto* label = dynamic_cast<CTextView*>(b->findChild("label"));
        ASSERT_NE(label, nullptr) << name;
        ASSERT_EQ(label->paragraphs().size(), 1u) << name;
        ASSERT_EQ(label->paragraphs()[0].lines.size(), 1u) << name;
        EXPECT_LE(label->paragraphs()[0].lines[0].width, label->area().width()) << name;
    }
    CView* row = find("main-window.buttons");
    ASSERT_NE(row, nullptr);
    for (const auto& child : row->children()) {
        if (const auto* v = dynamic_cast<const CView*>(child.get())) {
            EXPECT_LE(v->area().right, row->area().right) << child->name().utf8();
        }
    }
}

}  // namespace
}  // namespace zel
