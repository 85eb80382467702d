// SPDX-License-Identifier: GPL-3.0-or-later
// The settings windows and the release notes as a person uses them: opened
// from the main window's "Settings", changed with clicks, choices and typed
// values through the X server, on the editor of an instance made as a host
// makes it.

#include <gtest/gtest.h>

#include "Core/Application.h"
#include "EditorInHostFixture.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/DynListWhatsNew.h"
#include "UI/Controls/ReadOut.h"
#include "UI/Controls/SettingSelector.h"
#include "UI/ParamLink.h"
#include "UI/WindowOpener.h"

namespace zel {
namespace {

class SettingsWindowsOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        resetAll();
    }
    void TearDown() override {
        // Settings are shared with every later test of the run.
        if (root) resetAll();
        CInstanceEditorInHost::TearDown();
    }
    void resetAll() {
        for (const auto& setting : root->findObject("ui.global-data")->children())
            ASSERT_EQ(setting->setAttr(setting->getAttr("attribute"), setting->getAttr("def-value")), nullptr);
        CObject* scale = root->findObject("ui.local-data.ui-scale");
        ASSERT_EQ(scale->setAttr("scale", scale->getAttr("def-value")), nullptr);
    }

    CString setting(const char* name) {
        CObject* s = root->findObject(CString("ui.global-data.") + name);
        return s ? s->getAttr(s->getAttr("attribute")) : CString("?");
    }
    // A view of the open popup `window` ("ui:win-settings", ...).
    template <class T = CView>
    T* inPopup(const std::string& window, const std::string& path) {
        return dynamic_cast<T*>(root->findObject("ui." + window + "." + path));
    }
    // Waits until the popup `window` has drawn.
    void shown(const std::string& window) {
        CWinDrag* popup = nullptr;
        ASSERT_TRUE(until([&] { return (popup = opener->findPopup(CString(window.c_str()))) != nullptr; })) << window;
        ASSERT_TRUE(CInstanceEditorInHost::shown(popup)) << window;
    }
    void clickIn(const std::string& window, const CView& v) {
        shown(window);
        click(v);
    }
    CButton* settingsButton() { return find<CButton>("main-window.buttons.settings"); }
    // The settings window, opened with a click on "Settings".
    void openSettings() {
        ASSERT_NE(settingsButton(), nullptr);
        click(*settingsButton());
        shown("ui:win-settings");
    }
    void openGlobalSettings() {
        openSettings();
        auto* button = inPopup<CButton>("ui:win-settings", "bottom.global-settings");
        ASSERT_NE(button, nullptr);
        clickIn("ui:win-settings", *button);
        shown("ui:win-global-settings");
    }
    CButton* globalSwitch(const std::string& panel, const std::string& row) {
        return inPopup<CButton>("ui:win-global-settings", panel + "." + row + ".switch");
    }
};

TEST_F(SettingsWindowsOnX, SettingsOpensItsWindowAndClosesItAgain) {
    openSettings();
    EXPECT_EQ(opener->popupCount(), 1u);
    auto* renderer = inPopup<CWindowRenderer>("ui:win-settings", "window-renderer");
    ASSERT_NE(renderer, nullptr);
    EXPECT_EQ(renderer->getAttr("window-position-id"), "settings");
    // A second click on the opener closes it.
    click(*settingsButton());
    ASSERT_TRUE(until([&] { return opener->popupCount() == 0; }));

    // Its own close button closes it too, and what it opened stays usable.
    openGlobalSettings();
    EXPECT_EQ(opener->popupCount(), 2u);
    auto* close = inPopup<CButton>("ui:win-global-settings", "title-bar.close");
    ASSERT_NE(close, nullptr);
    clickIn("ui:win-global-settings", *close);
    ASSERT_TRUE(until([&] { return opener->findPopup("ui:win-global-settings") == nullptr; }));
    EXPECT_NE(opener->findPopup("ui:win-settings"), nullptr);
}

TEST_F(SettingsWindowsOnX, SwitchesFollowTheirSettingsAndResetToDefaultsRestoresThem) {
    openGlobalSettings();
    CButton* radial = globalSwitch("right.control", "radial-knob-mode");
    CButton* shadows = globalSwitch("left.display", "shadows");
    ASSERT_TRUE(radial && shadows);
    EXPECT_EQ(radial->getAttr("title"), "Off");
    EXPECT_EQ(shadows->getAttr("title"), "On");

    clickIn("ui:win-global-settings", *radial);
    ASSERT_TRUE(until([&] { return setting("radial-knob-mode") == "true"; }));
    EXPECT_TRUE(radial->isActive());
    EXPECT_EQ(radial->getAttr("title"), "On");
    // Controls read it where every instance's controls read it.
    EXPECT_TRUE(root->findObject("ui.global-settings")->getBool("radial-knob-mode", false));

    clickIn("ui:win-global-settings", *shadows);
    ASSERT_TRUE(until([&] { return setting("ui-shadows") == "false"; }));
    EXPECT_EQ(shadows->getAttr("title"), "Off");
    // The style the main window draws with follows.
    EXPECT_TRUE(root->findObject("ui.style")->getBool("is-shadow-hidden", false));

    // Changed elsewhere, the switch shows it.
    ASSERT_EQ(root->findObject("ui.global-data.tablet-mode")->setAttr("tablet-mode", "true"), nullptr);
    CButton* tablet = globalSwitch("right.control", "tablet-mode");
    ASSERT_NE(tablet, nullptr);
    ASSERT_TRUE(until([&] { return tablet->isActive(); }));

    auto* reset = inPopup<CButton>("ui:win-global-settings", "bottom.reset");
    ASSERT_NE(reset, nullptr);
    clickIn("ui:win-global-settings", *reset);
    ASSERT_TRUE(until([&] { return setting("radial-knob-mode") == "false"; }));
    EXPECT_EQ(setting("ui-shadows"), "true");
    EXPECT_EQ(setting("tablet-mode"), "false");
    EXPECT_FALSE(radial->isActive());
    EXPECT_TRUE(shadows->isActive());
    EXPECT_FALSE(tablet->isActive());
}

TEST_F(SettingsWindowsOnX, TheFrameRateSelectorRetimesEveryWindowAndResetTakesItBack) {
    openGlobalSettings();
    auto* fps = inPopup<CSelectorFPS>("ui:win-global-settings", "left.display.fps.selector-fps");
    ASSERT_NE(fps, nullptr);
    ASSERT_EQ(fps->buttonCount(), 5u);
    EXPECT_EQ(fps->activeButton(), 2) << "40 frames per second";
    clickIn("ui:win-global-settings", *fps->button(4));
    ASSERT_TRUE(until([&] { return setting("frames-per-second") == "60"; }));
    EXPECT_EQ(fps->activeButton(), 4);
    // The main window and the settings window both run at the new rate.
    EXPECT_EQ(renderer->getAttr("fps"), "60");
    auto* own = inPopup<CWindowRenderer>("ui:win-global-settings", "window-renderer");
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->getAttr("fps"), "60");
    CView* reset = inPopup("ui:win-global-settings", "bottom.reset");
    ASSERT_NE(reset, nullptr);
    clickIn("ui:win-global-settings", *reset);
    ASSERT_TRUE(until([&] { return setting("frames-per-second") == "40"; }));
    EXPECT_EQ(fps->activeButton(), 2);
    EXPECT_EQ(renderer->getAttr("fps"), "40");
}

TEST_F(SettingsWindowsOnX, PrecisionsAreChosenFromTheirLists) {
    openGlobalSettings();
    auto* drag = inPopup<CButton>("ui:win-global-settings", "right.control.drag-precision.choice");
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(drag->getAttr("title"), "0.8") << "the default is one of the entries";
    shown("ui:win-global-settings");
    choose(*drag, "1.5");
    ASSERT_TRUE(until([&] { return setting("drag-precision") == "1.5"; }));
    EXPECT_DOUBLE_EQ(root->findObject("ui.global-settings")->getReal("drag-precision", 0), 1.5);
    EXPECT_EQ(drag->getAttr("title"), "1.5");
}

TEST_F(SettingsWindowsOnX, AMeterTimeTypedInChangesTheSharedMeterParameter) {
    openGlobalSettings();
    auto* peak = inPopup<CReadOut>("ui:win-global-settings", "left.meters.peak-time.value");
    auto* bridge = dynamic_cast<CParamBridge*>(root->findObject("ui.globmeter-peaktime-bridge"));
    ASSERT_TRUE(peak && bridge);
    ASSERT_TRUE(until([&] { return bridge->isReady(); }));
    const double was = bridge->value(0, 0);
    clickIn("ui:win-global-settings", *peak);
    ASSERT_TRUE(until([&] { return peak->editor().isEditing(); }));
    xdo("type 2500");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return bridge->value(0, 0) != was; }));
    // The converter shows what was typed, in its unit.
    EXPECT_EQ(peak->valueText(), "2500 ms");
    CParamBridge::CChange where;
    ASSERT_EQ(bridge->change(where, {was}), nullptr);
}

TEST_F(SettingsWindowsOnX, TheScaleSelectorKeepsTheScaleForTheNextOpening) {
    openSettings();
    auto* scale = inPopup<CSelectorScale>("ui:win-settings", "instance.scale.ui-scale-selector");
    ASSERT_NE(scale, nullptr);
    ASSERT_EQ(scale->buttonCount(), 3u);
    EXPECT_EQ(scale->activeButton(), 1);
    CView* main = find("main-window");
    ASSERT_NE(main, nullptr);
    const CRect before = main->area();
    clickIn("ui:win-settings", *scale->button(2));
    CObject* stored = root->findObject("ui.local-data.ui-scale");
    ASSERT_TRUE(until([&] { return stored->getReal("scale", 0) == 1.25; }));
    EXPECT_EQ(scale->activeButton(), 2);
    // Open windows keep their size until the editor opens again.
    EXPECT_EQ(main->area().right - main->area().left, before.right - before.left);
    EXPECT_EQ(main->area().bottom - main->area().top, before.bottom - before.top);
    EXPECT_DOUBLE_EQ(main->uiScale(), 1.0);
}

TEST_F(SettingsWindowsOnX, WhatsNewListsEveryReleaseOfTheSharedDocument) {
    openSettings();
    auto* button = inPopup<CButton>("ui:win-settings", "about.buttons.whats-new");
    ASSERT_NE(button, nullptr);
    clickIn("ui:win-settings", *button);
    shown("ui:win-whatsnew");
    auto* list = inPopup<CDynListWhatsNew>("ui:win-whatsnew", "notes.scrolled.list");
    ASSERT_NE(list, nullptr);
    size_t releases = 0;
    for (const auto& c : CApplication::sharedObject()->children()) releases += c->name() == "whatsnew";
    ASSERT_EQ(list->paragraphs().size(), releases);
    EXPECT_EQ(list->paragraphText(0).utf8().rfind("[B]Version 1.6[/B]", 0), 0u) << list->paragraphText(0).utf8();
    // Longer than the window: it scrolls.
    auto* bar = inPopup("ui:win-whatsnew", "notes.scrolled.scroller-v");
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->getBool("is-hidden", false));
}

// ---------------------------------------------------------------- release notes

TEST(WhatsNewEntries, EachReleaseIsAHeadingWithItsLinesAndTheirMarkup) {
    CObject notes;
    CObject* release = nullptr;
    ASSERT_EQ(notes.createChild("core:object", "whatsnew", release), nullptr);
    release->setAttr("version", "2.0");
    release->setAttr("date", "2027-01-02");
    for (const char* line : {"First [B]bold[/B] line.", "Second line."}) {
        CObject* p = nullptr;
        CObject* content = nullptr;
        ASSERT_EQ(release->createChild("core:object", "p", p), nullptr);
        ASSERT_EQ(p->createChild("core:object", "content", content), nullptr);
        content->setAttr("value", line);
    }
    CObject* other = nullptr;
    ASSERT_EQ(notes.createChild("core:object", "project", other), nullptr);
    CObject* undated = nullptr;
    ASSERT_EQ(notes.createChild("core:object", "whatsnew", undated), nullptr);
    undated->setAttr("version", "1.9");

    const auto entries = CDynListWhatsNew::entriesOf(notes);
    ASSERT_EQ(entries.size(), 2u) << "other objects are no releases";
    EXPECT_EQ(entries[0].title,
              "[B]Version 2.0[/B]   [C1]2027-01-02[/C1][BR]- First [B]bold[/B] line.[BR]- Second line.");
    EXPECT_EQ(entries[1].title, "[B]Version 1.9[/B]") << "no date, no lines: the heading alone";
}

}  // namespace
}  // namespace zel
