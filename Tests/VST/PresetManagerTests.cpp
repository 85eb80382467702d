// SPDX-License-Identifier: GPL-3.0-or-later
// The preset manager as a person uses it: opened from the main window's
// "Presets" button, driven by clicks through the X server, on the editor of
// an instance made as a host makes it.

#include <gtest/gtest.h>

#include <filesystem>

#include "Audio/Preset.h"
#include "EditorInHostFixture.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/PresetManager.h"
#include "UI/PresetStore.h"
#include "UI/WindowOpener.h"

namespace zel {
namespace {

class PresetManagerOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override { CInstanceEditorInHost::SetUp(); }

    template <class T = CView>
    T* in(CView& popup, const std::string& path) {
        return dynamic_cast<T*>(popup.findObject("." + path));
    }
    CPresetManager* openManager() {
        return dynamic_cast<CPresetManager*>(openByButton("main-window.buttons.presets", "ui:win-preset-manager"));
    }
    // Clicks the entry `index` of a list of the manager.
    void clickEntry(CPresetManager& m, const char* list, int index) {
        auto* view = in<CTextView>(m, std::string("c.") + list + ".frame.list");
        ASSERT_NE(view, nullptr);
        clickParagraph(*view, index);
    }
    // Presses a button of the manager and answers its confirmation.
    void confirmed(CPresetManager& m, const std::string& button, const char* title, bool confirm) {
        click(*in(m, button));
        CWinDrag* popup = nullptr;
        ASSERT_TRUE(until([&] { return (popup = opener->findPopup("confirmation")) != nullptr; }));
        ASSERT_TRUE(shown(popup));
        EXPECT_EQ(popup->getAttr("title").utf8(), title);
        EXPECT_EQ(popup->getAttr("title-close").utf8(), "Cancel");
        click(*in(*popup, confirm ? "buttons.confirm" : "buttons.close"));
        ASSERT_TRUE(until([&] { return opener->findPopup("confirmation") == nullptr; }));
    }
};

TEST_F(PresetManagerOnX, OpensWithTheFactoryAndSessionBanks) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    ASSERT_GE(m->banks().size(), 2u);
    EXPECT_EQ(m->banks()[0].kind, CPresetManager::EBank::Rom);
    EXPECT_EQ(m->banks()[1].kind, CPresetManager::EBank::Session);
    const std::vector<CString> rom = m->presetTitles();
    ASSERT_EQ(rom.size(), 11u);
    EXPECT_EQ(rom[9].utf8(), "Stereo Delay");
    // Factory presets cannot be renamed, deleted or updated; they can be activated.
    EXPECT_TRUE(in(*m, "c.presets.frame.list")->getBool("is-read-only", false));
    EXPECT_TRUE(in(*m, "c.presets.buttons.delete")->getBool("is-disabled", false));
    EXPECT_TRUE(in(*m, "c.presets.buttons.replace")->getBool("is-disabled", false));
    EXPECT_FALSE(in(*m, "c.presets.buttons.activate")->getBool("is-disabled", true));
}

TEST_F(PresetManagerOnX, EveryCommandOfTheButtonsWorksAndAsksFirstWhereItCannotBeUndone) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    const size_t before = m->userBanks().size();
    click(*in(*m, "c.banks.buttons.add"));
    ASSERT_TRUE(until([&] { return m->userBanks().size() == before + 1; }));
    EXPECT_EQ(m->selectedKind(), CPresetManager::EBank::User);
    EXPECT_EQ(m->userBanks().back().name().utf8(), "Bank");
    EXPECT_FALSE(in(*m, "c.banks.frame.list")->getBool("is-read-only", true)) << "a user bank can be renamed";
    // Adding stores the instance's current state; a right click inserts before.
    CAudioPresetBank const* bank = nullptr;
    const auto presets = [&] {
        bank = &m->userBanks()[m->banks()[size_t(m->selectedBank())].index];
        return bank->presets().size();
    };
    click(*in(*m, "c.presets.buttons.add"));
    ASSERT_TRUE(until([&] { return presets() == 1; }));
    EXPECT_EQ(bank->presets()[0].name().utf8(), "t4c9:Preset");
    EXPECT_FALSE(bank->presets()[0].items().empty());
    ASSERT_EQ(m->renamePreset("First"), nullptr);
    click(*in(*m, "c.presets.buttons.add"), 3);
    ASSERT_TRUE(until([&] { return presets() == 2; }));
    EXPECT_EQ(bank->presets()[1].displayName().utf8(), "First") << "inserted before the selected one";
    EXPECT_EQ(m->selectedPreset(), 0);

    // Delete asks first: Cancel keeps the preset, Delete removes it.
    confirmed(*m, "c.presets.buttons.delete", "Delete preset?", false);
    EXPECT_EQ(presets(), 2u);
    confirmed(*m, "c.presets.buttons.delete", "Delete preset?", true);
    ASSERT_TRUE(until([&] { return presets() == 1; }));
    EXPECT_EQ(bank->presets()[0].displayName().utf8(), "First");
    // Update keeps the name and takes the current state.
    confirmed(*m, "c.presets.buttons.replace", "Update preset?", true);
    EXPECT_EQ(bank->presets()[0].displayName().utf8(), "First");
    confirmed(*m, "c.presets.buttons.set-default", "Set as Default?", false);

    // The banks are in the application data for every other instance.
    CObject other;
    const std::vector<CAudioPresetBank> stored = CPresetStore(other, "shared-banks", false).load();
    ASSERT_EQ(stored.size(), m->userBanks().size());
    EXPECT_EQ(stored.back().presets().size(), 1u);

    confirmed(*m, "c.banks.buttons.delete", "Delete bank?", true);
    ASSERT_TRUE(until([&] { return m->userBanks().size() == before; }));
    EXPECT_EQ(CPresetStore(other, "shared-banks", false).load().size(), before);
}

TEST_F(PresetManagerOnX, ActivatingAFactoryPresetFromTheListChangesTheState) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    auto* quick = find<CView>("main-window.buttons.quick-preset-selector");
    ASSERT_NE(quick, nullptr);
    clickEntry(*m, "presets", 9);
    ASSERT_TRUE(until([&] { return m->selectedPreset() == 9; }));
    click(*in(*m, "c.presets.buttons.activate"));
    // The session's current program takes the factory preset's name.
    ASSERT_TRUE(until([&] { return quick->getAttr("title") == CString("Stereo Delay"); }))
        << quick->getAttr("title").utf8();
    // In the session bank the current program is marked, and only it can be renamed.
    clickEntry(*m, "banks", 1);
    ASSERT_TRUE(until([&] { return m->selectedKind() == CPresetManager::EBank::Session; }));
    ASSERT_FALSE(m->presetTitles().empty());
    EXPECT_EQ(m->presetTitles()[0].utf8(), "> Stereo Delay");
    EXPECT_FALSE(in(*m, "c.presets.frame.list")->getBool("is-read-only", true));
    EXPECT_TRUE(in(*m, "c.presets.buttons.add")->getBool("is-disabled", false));
}

TEST_F(PresetManagerOnX, FileErrorsShowTheirMessageAndLeaveTheBanksAlone) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/pm-files";
    std::filesystem::create_directories(folder);
    // A routing preset, as the Routing Presets window saves one.
    CAudioPreset routing(CAudioPreset::makeName("ZMIO", "Dual Mono"));
    routing.setItem("grouping", {1, 2, 3});
    ASSERT_EQ(routing.saveToFile(CString::fromUtf8(folder + "/routing.cpf")), nullptr);
    ASSERT_EQ(m->addBank(false), nullptr);
    const size_t banks = m->userBanks().size();

    const auto message = [&](const char* title, const char* text) {
        CWinDrag* popup = nullptr;
        ASSERT_TRUE(until([&] { return (popup = opener->findPopup("message")) != nullptr; }));
        EXPECT_EQ(popup->getAttr("title").utf8(), title);
        EXPECT_EQ(popup->getAttr("title-message").utf8(), text);
        ASSERT_TRUE(shown(popup));
        popup->windowRenderer()->window()->display().sync();
        click(*in(*popup, "buttons.close"));
        ASSERT_TRUE(until([&] { return opener->findPopup("message") == nullptr; }));
    };
    EXPECT_NE(m->loadPresetFile(CString::fromUtf8(folder + "/routing.cpf")), nullptr);
    message("Preset file load", "Unsupported preset type.");
    EXPECT_NE(m->loadPresetFile(CString::fromUtf8(folder + "/missing.cpf")), nullptr);
    message("Preset file load", "Unsupported file or file read error.");
    EXPECT_NE(m->loadBankFile(CString::fromUtf8(folder + "/routing.cpf")), nullptr) << "a preset is no bank";
    message("Bank file load", "Unsupported file or file read error.");
    EXPECT_NE(m->saveBankFile(CString::fromUtf8(folder + "/no-such-folder/x.cbf")), nullptr);
    message("Bank file save", "File write error.");
    EXPECT_EQ(m->userBanks().size(), banks);
    EXPECT_TRUE(m->userBanks().back().presets().empty());
}

TEST_F(PresetManagerOnX, ASavedBankLoadsBackBelowTheSelectedOneAndTheFolderIsRemembered) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/pm-files";
    std::filesystem::create_directories(folder);
    EXPECT_EQ(m->proposedFileName(true).utf8(), "ZelmoraLagwell_Factory ROM.cbf");
    const CString file = CString::fromUtf8(folder + "/rom.cbf");
    ASSERT_EQ(m->saveBankFile(file), nullptr);
    EXPECT_EQ(m->lastFolder(true).utf8(), folder);
    const size_t banks = m->userBanks().size();
    ASSERT_EQ(m->loadBankFile(file), nullptr);
    ASSERT_EQ(m->userBanks().size(), banks + 1);
    EXPECT_EQ(m->selectedKind(), CPresetManager::EBank::User);
    EXPECT_EQ(m->presetTitles().size(), 11u);
    EXPECT_EQ(m->presetTitles()[10].utf8(), "Mid-Side Delay");
    // A preset saved from it loads into a user bank below the selection.
    ASSERT_EQ(m->selectPreset(10), nullptr);
    const CString preset = CString::fromUtf8(folder + "/ms.cpf");
    ASSERT_EQ(m->savePresetFile(preset), nullptr);
    ASSERT_EQ(m->selectPreset(0), nullptr);
    ASSERT_EQ(m->loadPresetFile(preset), nullptr);
    EXPECT_EQ(m->selectedPreset(), 1);
    EXPECT_EQ(m->presetTitles()[1].utf8(), "Mid-Side Delay");
    // Clean up the shared banks for the other tests.
    while (m->userBanks().size() > banks) {
        ASSERT_EQ(m->selectBank(int(m->banks().size()) - 1), nullptr);
        ASSERT_EQ(m->deleteBank(), nullptr);
    }
}

TEST_F(PresetManagerOnX, TheRoutingPresetsAreSharedMarkedWhenTheyDoNotFitAndRefuseOtherFiles) {
    CView* routing = find("main-window.buttons.routing");
    ASSERT_NE(routing, nullptr);
    CWinDrag* popup = nullptr;
    ASSERT_EQ(opener->openPopup("ui:win-preset-manager-routing", "", *routing, popup), nullptr);
    auto* m = dynamic_cast<CPresetManager*>(popup);
    ASSERT_TRUE(shown(m));
    EXPECT_EQ(m->getAttr("title").utf8(), "Routing Presets");
    // No factory or session bank: the shared list, which starts as the built-in one.
    ASSERT_EQ(m->banks().size(), 1u);
    EXPECT_EQ(m->banks()[0].kind, CPresetManager::EBank::User);
    const std::vector<CString> titles = m->presetTitles();
    ASSERT_EQ(titles.size(), 11u);
    EXPECT_EQ(titles[5].utf8(), "Dual Mono");
    // This plug-in has no side-chain input: those presets are marked and not activated.
    auto* presets = in<CTextView>(*m, "c.presets.frame.list");
    EXPECT_EQ(presets->paragraphText(8).utf8(), "[I]Stereo Side-Chain[/I]");
    EXPECT_EQ(presets->paragraphText(9).utf8(), "[I]Mono Side-Chain[/I]");
    EXPECT_EQ(presets->paragraphText(5).utf8(), "Dual Mono");
    EXPECT_TRUE(in(*m, "c.presets.buttons.set-default")->getBool("is-disabled", false));

    clickEntry(*m, "presets", 5);
    ASSERT_TRUE(until([&] { return m->selectedPreset() == 5; }));
    click(*in(*m, "c.presets.buttons.activate"));
    auto* groups = find<CView>("main-window.buttons.selector-group-minimal");
    ASSERT_NE(groups, nullptr);
    // Activating is one undo step named after the registry.
    ASSERT_TRUE(until([&] {
        return !client->undoHistory().empty() &&
               client->undoHistory().back().utf8().find("Routing preset") != std::string::npos;
    })) << (client->undoHistory().empty() ? std::string() : client->undoHistory().back().utf8());

    // A master preset file is of another type here.
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/pm-files";
    std::filesystem::create_directories(folder);
    CAudioPreset master(CAudioPreset::makeName("t4c9", "Mine"));
    ASSERT_EQ(master.saveToFile(CString::fromUtf8(folder + "/master.cpf")), nullptr);
    EXPECT_NE(m->loadPresetFile(CString::fromUtf8(folder + "/master.cpf")), nullptr);
    CWinDrag* message = nullptr;
    ASSERT_TRUE(until([&] { return (message = opener->findPopup("message")) != nullptr; }));
    EXPECT_EQ(message->getAttr("title-message").utf8(), "Unsupported preset type.");
    EXPECT_EQ(m->presetTitles().size(), 11u);
}

TEST_F(PresetManagerOnX, TheQuickSelectorListsTheUserBanksAndARenameInTheListIsStored) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->addBank(false), nullptr);
    ASSERT_EQ(m->addPreset(false), nullptr);
    ASSERT_TRUE(until([&] { return m->presetTitles().size() == 1; }));
    // Rename as a person does: click the selected preset, wait, type, Enter.
    clickEntry(*m, "presets", 0);
    auto* list = in<CTextView>(*m, "c.presets.frame.list");
    ASSERT_TRUE(until([&] { return list->editor().isEditing(); }));
    xdo("key ctrl+a");
    xdo("type Quiet");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return m->presetTitles()[0] == CString("Quiet"); }));
    CObject other;
    const std::vector<CAudioPresetBank> stored = CPresetStore(other, "shared-banks", false).load();
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.back().presets()[0].displayName().utf8(), "Quiet");

    // The window's close button; the quick selector under it lists the
    // preset the next time it opens.
    click(*in(*m, "window-title.close"));
    ASSERT_TRUE(until([&] { return opener->popupCount() == 0; }));
    auto* quick = find<CButton>("main-window.buttons.quick-preset-selector");
    ASSERT_NE(quick, nullptr);
    xdo("mousemove " + at(*quick) + " click 1");
    CTextView* popup = nullptr;
    ASSERT_TRUE(until([&] {
        popup = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
        return popup && popup->windowRenderer() && popup->windowRenderer()->frameCount() > 0;
    }));
    std::vector<std::string> entries;
    for (size_t i = 0; i < popup->paragraphs().size(); ++i) entries.push_back(popup->paragraphText(int(i)).utf8());
    EXPECT_NE(std::find(entries.begin(), entries.end(), "Quiet"), entries.end());
    std::vector<CAudioPresetBank> kept = stored;
    kept.pop_back();
    ASSERT_EQ(CPresetStore(other, "shared-banks", false).save(kept), nullptr);
}

TEST_F(PresetManagerOnX, TheSessionBankIsSavedAsTheInstanceHoldsIt) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->selectBank(1), nullptr);
    ASSERT_EQ(m->selectedKind(), CPresetManager::EBank::Session);
    EXPECT_EQ(m->proposedFileName(true).utf8(), "ZelmoraLagwell_Session Bank.cbf");
    const std::string file = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/session.cbf";
    std::filesystem::remove(file);
    // The instance sends its programs; the file is written when they arrive.
    ASSERT_EQ(m->saveBankFile(CString::fromUtf8(file)), nullptr);
    ASSERT_TRUE(until([&] { return std::filesystem::exists(file); }));
    CAudioPresetBank saved;
    ASSERT_EQ(saved.loadFromFile(CString::fromUtf8(file)), nullptr);
    ASSERT_EQ(saved.presets().size(), m->presetTitles().size());
    EXPECT_EQ(saved.presets()[0].registryId().utf8(), "t4c9");
    EXPECT_FALSE(saved.presets()[0].items().empty());
}

TEST_F(PresetManagerOnX, TheLoadAndSaveButtonsAskForAFileOfTheirTypeAndTheAnswerLoadsIt) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    click(*in(*m, "c.banks.buttons.save"));
    CFileBrowser* save = fileBrowser();
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->request().isSave);
    EXPECT_EQ(save->request().extension.utf8(), "cbf");
    EXPECT_EQ(save->request().description.utf8(), "Compressed bank files");
    // The browser adds the extension to the name proposed.
    EXPECT_EQ(save->request().proposedName.utf8(), "ZelmoraLagwell_Factory ROM");
    ASSERT_EQ(save->cancel(), nullptr);
    ASSERT_TRUE(until([&] { return opener->popupCount() == 1u; })) << "gone, not only closing";

    ASSERT_EQ(m->addBank(false), nullptr);
    click(*in(*m, "c.presets.buttons.load"));
    CFileBrowser* load = fileBrowser();
    ASSERT_NE(load, nullptr);
    EXPECT_FALSE(load->request().isSave);
    EXPECT_EQ(load->request().extension.utf8(), "cpf");
    EXPECT_EQ(load->request().description.utf8(), "Compressed preset files");
    ASSERT_EQ(load->cancel(), nullptr);
    ASSERT_TRUE(until([&] { return opener->popupCount() == 1u; }));
    // The browser answers with the command and the path chosen.
    const std::string file = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/answer.cpf";
    CAudioPreset preset(CAudioPreset::makeName("t4c9", "Answered"));
    ASSERT_EQ(preset.saveToFile(CString::fromUtf8(file)), nullptr);
    CObject answer;
    answer.setAttr("path", CString::fromUtf8(file));
    ASSERT_EQ(m->runEvent("preset-load", &answer, nullptr), nullptr);
    ASSERT_EQ(m->presetTitles().size(), 1u);
    EXPECT_EQ(m->presetTitles()[0].utf8(), "Answered");
    EXPECT_EQ(m->lastFolder(false).utf8(), std::getenv("LAGWELL_DATA_HOME"));
    ASSERT_EQ(m->deleteBank(), nullptr);
}

// The Load and Save buttons open the editor's file browser; choosing there
// saves the bank to the file, and loads it back into a new bank.
TEST_F(PresetManagerOnX, BanksGoToFilesAndBackThroughTheFileBrowser) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/browsed";
    std::filesystem::create_directories(folder);
    auto clickOk = [&](CFileBrowser& b) {
        CView* ok = in(b, "actions.buttons.ok");
        ASSERT_NE(ok, nullptr);
        click(*ok);
    };

    ASSERT_EQ(m->selectBank(0), nullptr) << "Factory ROM";
    click(*in(*m, "c.banks.buttons.save"));
    CFileBrowser* save = fileBrowser();
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->request().isSave);
    EXPECT_EQ(save->request().extension.utf8(), "cbf");
    ASSERT_EQ(save->go(folder), nullptr);
    clickOk(*save);
    const std::string file = folder + "/ZelmoraLagwell_Factory ROM.cbf";
    ASSERT_TRUE(until([&] { return std::filesystem::exists(file); })) << "saved under the proposed name";
    ASSERT_TRUE(until([&] { return opener->popupCount() == 1u; })) << "gone, not only closing";
    EXPECT_EQ(m->lastFolder(true).utf8(), folder);

    const size_t factoryPresets = m->presetTitles().size();
    click(*in(*m, "c.banks.buttons.load"));
    CFileBrowser* load = fileBrowser();
    ASSERT_NE(load, nullptr);
    EXPECT_FALSE(load->request().isSave);
    ASSERT_TRUE(until([&] { return load->listing().folder() == folder; })) << "it starts in the last folder";
    int at = -1;
    for (size_t i = 0; i < load->listing().entries().size(); ++i)
        if (load->listing().entries()[i].name == "ZelmoraLagwell_Factory ROM.cbf") at = int(i);
    ASSERT_GE(at, 0);
    ASSERT_EQ(load->select(at), nullptr);
    clickOk(*load);
    ASSERT_TRUE(until([&] { return m->selectedBank() > 1; })) << "a new user bank, selected";
    EXPECT_EQ(m->presetTitles().size(), factoryPresets);
    ASSERT_EQ(m->deleteBank(), nullptr);
}

}  // namespace
}  // namespace zel
