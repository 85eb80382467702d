// SPDX-License-Identifier: GPL-3.0-or-later
// The colour presets as a person keeps them: the preset manager opened from
// the colour editor's "Manage" button, driven by clicks and typing through
// the X server, on the editor of an instance made as a host makes it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Audio/Preset.h"
#include "EditorInHostFixture.h"
#include "Support/ShownErrors.h"
#include "UI/Controls/ColorPicker.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/Controls/QuickPresetSelector.h"
#include "UI/DynamicPalette.h"
#include "UI/FolderMemory.h"
#include "UI/PresetManager.h"
#include "UI/PresetStore.h"

namespace zel {
namespace {

const std::vector<std::string> kBuiltIn = {"Gray", "Blue", "Beige", "Red", "Green", "Brown", "White"};

class ColorPresetsOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Every test starts without presets of the user's.
        ASSERT_EQ(userStore().save({}), nullptr);
        palette = dynamic_cast<CDynamicPalette*>(root->findObject("ui.palette"));
        ASSERT_NE(palette, nullptr);
        original = palette->paletteData();
        CView* main = dynamic_cast<CView*>(renderer->parent());
        ASSERT_NE(main, nullptr);
        ASSERT_EQ(opener->openPopup("ui:uicolor-editor", "", *main, editorWindow), nullptr);
        picker = dynamic_cast<CColorPicker*>(editorWindow->findChild("picker"));
        ASSERT_NE(picker, nullptr);
        ASSERT_TRUE(shown(editorWindow));
        CView* manage = in(*editorWindow, "picker.schemes.manage");
        ASSERT_NE(manage, nullptr);
        click(*manage);
        ASSERT_TRUE(until([&] {
            manager = dynamic_cast<CPresetManager*>(opener->findPopup("ui:win-preset-manager-uicolor"));
            return manager != nullptr;
        }));
        ASSERT_TRUE(shown(manager));
    }
    void TearDown() override {
        if (palette && !original.empty() && palette->paletteData() != original) {
            (void)palette->storePaletteData(original);
            until([&] { return palette->paletteData() == original; });
        }
        if (!IsSkipped()) (void)userStore().save({});
        CInstanceEditorInHost::TearDown();
    }

    static CPresetStore userStore() {
        static CObject context;
        return CPresetStore(context, "uicolor-presets-user", true);
    }
    template <class T = CView>
    static T* in(CView& popup, const std::string& path) {
        return dynamic_cast<T*>(popup.findObject("." + path));
    }
    CColor tone(const char* role) const {
        const CPreparedColor* c = palette->find(role);
        return c ? c->values.tone : 0xdeadbeef;
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const CString& t : manager->presetTitles()) out.push_back(t.utf8());
        return out;
    }
    // Clicks the entry `index` of a list of the manager.
    void clickEntry(const char* list, int index, const char* clicks = "click 1") {
        auto* view = in<CTextView>(*manager, std::string("c.") + list + ".frame.list");
        ASSERT_NE(view, nullptr);
        clickParagraph(*view, index, clicks);
    }
    // Presses a button of the manager and confirms what it asks.
    void confirmed(const std::string& button, const char* title) {
        click(*in(*manager, button));
        CWinDrag* popup = nullptr;
        ASSERT_TRUE(until([&] { return (popup = opener->findPopup("confirmation")) != nullptr; }));
        ASSERT_TRUE(shown(popup));
        EXPECT_EQ(popup->getAttr("title").utf8(), title);
        click(*in(*popup, "buttons.confirm"));
        ASSERT_TRUE(until([&] { return opener->findPopup("confirmation") == nullptr; }));
    }
    const CAudioPresetBank& selectedUserBank() const {
        return manager->userBanks()[manager->banks()[size_t(manager->selectedBank())].index];
    }

    CDynamicPalette* palette = nullptr;
    std::vector<uint8_t> original;
    CWinDrag* editorWindow = nullptr;
    CColorPicker* picker = nullptr;
    CPresetManager* manager = nullptr;
};

TEST_F(ColorPresetsOnX, TheBuiltInSchemesCanBeActivatedButNotChanged) {
    ASSERT_EQ(manager->banks().size(), 1u);
    EXPECT_EQ(manager->banks()[0].kind, CPresetManager::EBank::System);
    EXPECT_EQ(in<CTextView>(*manager, "c.banks.frame.list")->paragraphText(0).utf8(), "Built-in");
    EXPECT_EQ(titles(), kBuiltIn);
    // Not renamed, deleted, updated or replaced by a file; activated and saved.
    EXPECT_TRUE(in(*manager, "c.banks.frame.list")->getBool("is-read-only", false));
    EXPECT_TRUE(in(*manager, "c.presets.frame.list")->getBool("is-read-only", false));
    for (const char* button : {"c.banks.buttons.delete", "c.presets.buttons.add", "c.presets.buttons.delete",
                               "c.presets.buttons.replace", "c.presets.buttons.load", "c.presets.buttons.set-default"})
        EXPECT_TRUE(in(*manager, button)->getBool("is-disabled", false)) << button;
    for (const char* button : {"c.presets.buttons.activate", "c.presets.buttons.save"})
        EXPECT_FALSE(in(*manager, button)->getBool("is-disabled", true)) << button;
    ASSERT_EQ(manager->renamePreset("Mine"), nullptr);
    EXPECT_EQ(titles(), kBuiltIn);

    // A double-click on "Red" recolours the editor.
    const CColor before = tone("Panel");
    clickEntry("presets", 3, "click --repeat 2 --delay 80 1");
    ASSERT_TRUE(until([&] { return tone("Panel") != before; })) << std::hex << before;
}

TEST_F(ColorPresetsOnX, TheCurrentColoursAreKeptAsAPresetOfTheUsers) {
    click(*in(*manager, "c.banks.buttons.add"));
    ASSERT_TRUE(until([&] { return manager->userBanks().size() == 1; }));
    EXPECT_EQ(manager->selectedKind(), CPresetManager::EBank::User);

    ASSERT_EQ(picker->setTone(0xff8000), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0xff8000; }));
    click(*in(*manager, "c.presets.buttons.add"));
    ASSERT_TRUE(until([&] { return selectedUserBank().presets().size() == 1; }));
    EXPECT_EQ(selectedUserBank().presets()[0].name().utf8(), "ZMUS:Preset");

    // Renamed by typing in the list.
    loop.runFor(600);
    clickEntry("presets", 0);
    auto* list = in<CTextView>(*manager, "c.presets.frame.list");
    ASSERT_TRUE(until([&] { return list->editor().isEditing(); }));
    xdo("key ctrl+a");
    xdo("type --delay 10 'Sunset'");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return titles() == std::vector<std::string>{"Sunset"}; }));

    // Kept for every instance, and offered by the quick selector after the built-in ones.
    const std::vector<CAudioPresetBank> stored = userStore().load();
    ASSERT_EQ(stored.size(), 1u);
    ASSERT_EQ(stored[0].presets().size(), 1u);
    EXPECT_EQ(stored[0].presets()[0].displayName().utf8(), "Sunset");
    auto* selector = in<CQuickPresetSelector>(*editorWindow, "picker.schemes.quick-color-selector");
    ASSERT_NE(selector, nullptr);
    // The manager is moved off the colour editor, as a person drags it aside.
    xdo("windowmove " + std::to_string(manager->windowRenderer()->window()->id()) + " 560 0");
    loop.runFor(200);
    ASSERT_EQ(picker->setTone(0x000000), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x000000; }));
    choose(*selector, "Sunset");
    ASSERT_TRUE(until([&] { return tone("Border") == 0xff8000; })) << std::hex << tone("Border");

    // Update takes the colours as they are now; activating brings them back.
    ASSERT_EQ(picker->setTone(0x2060a0), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x2060a0; }));
    confirmed("c.presets.buttons.replace", "Update preset?");
    ASSERT_EQ(picker->setTone(0x000000), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x000000; }));
    clickEntry("presets", 0, "click --repeat 2 --delay 80 1");
    ASSERT_TRUE(until([&] { return tone("Border") == 0x2060a0; })) << std::hex << tone("Border");
    EXPECT_EQ(titles(), std::vector<std::string>{"Sunset"}) << "the update keeps the name";

    confirmed("c.presets.buttons.delete", "Delete preset?");
    ASSERT_TRUE(until([&] { return selectedUserBank().presets().empty(); }));
    confirmed("c.banks.buttons.delete", "Delete bank?");
    ASSERT_TRUE(until([&] { return manager->userBanks().empty(); }));
    EXPECT_TRUE(userStore().load().empty());
}

TEST_F(ColorPresetsOnX, PresetFilesAreColourFilesAndOtherPresetsAreRefused) {
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/colour-presets";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    EXPECT_EQ(manager->proposedFileName(false).utf8(), "Gray.ccf");

    // A built-in scheme saved to a file is loaded into a bank of the user's.
    ASSERT_EQ(manager->savePresetFile(CString::fromUtf8(folder + "/Gray.ccf")), nullptr);
    ASSERT_TRUE(std::filesystem::exists(folder + "/Gray.ccf"));
    EXPECT_EQ(CFolderMemory("/defpath-colors").folder().utf8(), folder) << "shared with the quick selector";
    click(*in(*manager, "c.banks.buttons.add"));
    ASSERT_TRUE(until([&] { return manager->userBanks().size() == 1; }));
    ASSERT_EQ(manager->loadPresetFile(CString::fromUtf8(folder + "/Gray.ccf")), nullptr);
    EXPECT_EQ(titles(), std::vector<std::string>{"Gray"});

    // A preset of the plug-in's state is no colour preset: the message, and the bank as it was.
    CAudioPreset state(CAudioPreset::makeName("t4c9", "Stereo Delay"));
    ASSERT_EQ(state.saveToFile(CString::fromUtf8(folder + "/state.ccf")), nullptr);
    CErrorPtr err = manager->loadPresetFile(CString::fromUtf8(folder + "/state.ccf"));
    ASSERT_NE(err, nullptr);
    CWinDrag* message = nullptr;
    ASSERT_TRUE(until([&] { return (message = opener->findPopup("message")) != nullptr; }));
    EXPECT_EQ(message->getAttr("title").utf8(), "Preset file load");
    EXPECT_EQ(message->getAttr("title-message").utf8(), "Unsupported preset type.");
    EXPECT_EQ(titles(), std::vector<std::string>{"Gray"});
    ASSERT_EQ(userStore().load().size(), 1u);
    EXPECT_EQ(userStore().load()[0].presets().size(), 1u);
    click(*in(*message, "buttons.close"));
    ASSERT_TRUE(until([&] { return opener->findPopup("message") == nullptr; }));
    std::filesystem::remove_all(folder);
}

// A preset of the user's named as a built-in one is offered by the quick
// selector besides it, not hidden as a copy of it.
TEST_F(ColorPresetsOnX, AUserPresetNamedAsABuiltInOneIsOfferedToo) {
    click(*in(*manager, "c.banks.buttons.add"));
    ASSERT_TRUE(until([&] { return manager->userBanks().size() == 1; }));
    ASSERT_EQ(picker->setTone(0x2060a0), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x2060a0; }));
    click(*in(*manager, "c.presets.buttons.add"));
    ASSERT_TRUE(until([&] { return selectedUserBank().presets().size() == 1; }));
    ASSERT_EQ(manager->renamePreset("Red"), nullptr);
    xdo("windowmove " + std::to_string(manager->windowRenderer()->window()->id()) + " 560 0");
    loop.runFor(200);

    ASSERT_EQ(picker->setTone(0x000000), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x000000; }));
    auto* selector = in<CQuickPresetSelector>(*editorWindow, "picker.schemes.quick-color-selector");
    ASSERT_NE(selector, nullptr);
    // choose() takes the last entry of the title: the user's.
    choose(*selector, "Red");
    ASSERT_TRUE(until([&] { return tone("Border") == 0x2060a0; })) << std::hex << tone("Border");
    size_t reds = 0;
    for (const auto& e : selector->entries()) reds += e.title == CString("Red");
    EXPECT_EQ(reds, 2u);
}

// A file chosen in the browser that cannot be loaded is told once, in the
// message popup, not once more in the error window.
TEST_F(ColorPresetsOnX, AFileThatFailsThroughTheBrowserIsToldOnce) {
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/colour-junk";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/junk.ccf") << "not a preset";
    click(*in(*manager, "c.banks.buttons.add"));
    ASSERT_TRUE(until([&] { return manager->userBanks().size() == 1; }));
    CShownErrors errors;
    click(*in(*manager, "c.presets.buttons.load"));
    CFileBrowser* browser = nullptr;
    ASSERT_TRUE(until([&] {
        CWinDrag* popup = opener->findPopup("file-browser");
        browser = popup ? dynamic_cast<CFileBrowser*>(popup->findChild("browser")) : nullptr;
        return browser != nullptr;
    }));
    ASSERT_TRUE(shown(browser));
    EXPECT_EQ(browser->request().extension.utf8(), "ccf");
    ASSERT_EQ(browser->go(folder), nullptr);
    const int at = browser->listing().find("junk.ccf", CFileBrowserListing::EKind::File);
    ASSERT_GE(at, 0);
    ASSERT_EQ(browser->select(at), nullptr);
    click(*in(*browser, "actions.buttons.ok"));
    CWinDrag* message = nullptr;
    ASSERT_TRUE(until([&] { return (message = opener->findPopup("message")) != nullptr; }));
    EXPECT_EQ(message->getAttr("title-message").utf8(), "Unsupported file or file read error.");
    loop.runFor(200);
    EXPECT_TRUE(errors.shown().empty()) << errors.shown().front();
    EXPECT_TRUE(titles().empty()) << "the bank as it was";
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zel
