// SPDX-License-Identifier: GPL-3.0-or-later
// The colour editor as a person uses it: opened over the editor of an
// instance made as a host makes it, edited with clicks and typing through
// the X server, and its scheme files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Audio/Preset.h"
#include "EditorInHostFixture.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/Controls/ColorPicker.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/Controls/QuickPresetSelector.h"
#include "UI/Controls/TextView.h"
#include "UI/DynamicPalette.h"
#include "UI/FolderMemory.h"
#include "UI/WindowOpener.h"

namespace zel {
namespace {

class ColorEditorOnX : public test::CInstanceEditorInHost {
protected:
    void SetUp() override {
        CInstanceEditorInHost::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        palette = dynamic_cast<CDynamicPalette*>(root->findObject("ui.palette"));
        ASSERT_NE(palette, nullptr);
        // The palette is shared with other instances through application data.
        original = palette->paletteData();
        CView* main = dynamic_cast<CView*>(renderer->parent());
        ASSERT_NE(main, nullptr);
        CErrorPtr err = opener->openPopup("ui:uicolor-editor", "", *main, popup);
        ASSERT_EQ(err, nullptr) << err->describe();
        popupRenderer = dynamic_cast<CWindowRenderer*>(popup->findChild("window-renderer"));
        picker = dynamic_cast<CColorPicker*>(popup->findChild("picker"));
        ASSERT_TRUE(popupRenderer && picker);
        ASSERT_TRUE(until([&] { return popupRenderer->frameCount() >= 2; }));
        popupRenderer->window()->display().sync();
        ASSERT_TRUE(popupRenderer->window()->screenOrigin(px, py));
    }
    void TearDown() override {
        // Later tests start from the built-in colours.
        if (palette && !original.empty() && palette->paletteData() != original) {
            (void)palette->storePaletteData(original);
            until([&] { return palette->paletteData() == original; });
        }
        CInstanceEditorInHost::TearDown();
    }

    std::string inPopup(const CRect& r, double fx = 0.5, double fy = 0.5) const {
        return std::to_string(px + r.left + int(fx * (r.width() - 1))) + " " +
               std::to_string(py + r.top + int(fy * (r.height() - 1)));
    }
    CColor tone(const char* role) const {
        const CPreparedColor* c = palette->find(role);
        return c ? c->values.tone : 0xdeadbeef;
    }
    int roleIndex(const char* role) const {
        for (size_t i = 0; i < picker->roles().size(); ++i)
            if (picker->roles()[i].name == CString(role)) return int(i);
        return -1;
    }
    void screenshot(const CWindowRenderer& r, const std::string& path) {
        const CLinearBitmap& b = r.bitmap();
        std::string error;
        EXPECT_TRUE(lagwell::host::writePng(
            path, std::vector<uint8_t>(b.pixels(), b.pixels() + b.stride() * b.height()), b.width(), b.height(), error))
            << error;
    }
    // The pixels of the main window that differ from `before`.
    size_t changedPixels(const std::vector<uint8_t>& before) const {
        const CLinearBitmap& b = renderer->bitmap();
        size_t n = 0;
        for (size_t i = 0; i + 3 < before.size() && i + 3 < b.stride() * b.height(); i += 4)
            if (std::memcmp(&before[i], b.pixels() + i, 3) != 0) ++n;
        return n;
    }
    std::vector<uint8_t> mainPixels() const {
        const CLinearBitmap& b = renderer->bitmap();
        return std::vector<uint8_t>(b.pixels(), b.pixels() + b.stride() * b.height());
    }

    CDynamicPalette* palette = nullptr;
    CWinDrag* popup = nullptr;
    CWindowRenderer* popupRenderer = nullptr;
    CColorPicker* picker = nullptr;
    int px = 0, py = 0;
    std::vector<uint8_t> original;
};

TEST_F(ColorEditorOnX, ListsTheEditableRolesWithChipsUnderTheirGroups) {
    ASSERT_EQ(picker->roles().size(), 60u);
    EXPECT_EQ(picker->roles()[0].name, "Border");
    EXPECT_EQ(picker->selectedRole(), 0);
    auto* list = dynamic_cast<CTextView*>(picker->findChild("list-frame")->findChild("roles"));
    ASSERT_NE(list, nullptr);
    // Group titles lie between the roles and cannot be chosen.
    EXPECT_EQ(list->paragraphText(0), "Window");
    EXPECT_FALSE(list->paragraphs()[0].isEnabled);
    EXPECT_EQ(list->paragraphText(1), "[IMG=is.button#Color:Border] [B]Window border[/B]");
    EXPECT_EQ(list->selectedParagraph(), 1);
    auto* hex = dynamic_cast<CTextView*>(picker->findObject(".edit.hex-row.hex"));
    ASSERT_NE(hex, nullptr);
    EXPECT_EQ(hex->getAttr("title"), hexColor(tone("Border")));
    screenshot(*popupRenderer, "/tmp/lagwell-color-editor.png");

    // Its close button closes it.
    auto* close = dynamic_cast<CView*>(popup->findObject(".title.close"));
    ASSERT_NE(close, nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(close->area()) + " click 1"), 0);
    ASSERT_TRUE(until([&] { return opener->popupCount() == 0; }));
}

TEST_F(ColorEditorOnX, AClickOnTheSpectrumRecoloursTheMainWindowAtOnce) {
    // "Window base": the panels of the main window.
    const int panel = roleIndex("Panel");
    ASSERT_GE(panel, 0);
    ASSERT_EQ(picker->selectRole(panel), nullptr);
    ASSERT_TRUE(until([&] { return renderer->frameCount() >= 4; }));
    const std::vector<uint8_t> before = mainPixels();
    const CColor old = tone("Panel");

    // Full saturation of the hue a third across: a green at the role's level.
    const CRect spectrum = picker->partArea(CColorPicker::EPart::Spectrum);
    ASSERT_FALSE(spectrum.isEmpty());
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(spectrum, 1.0 / 3, 0.0) + " click 1"), 0);
    ASSERT_TRUE(until([&] { return tone("Panel") != old; }));
    const CColor now = tone("Panel");
    EXPECT_NEAR(picker->pickerColor().hue, 1.0 / 3, 0.01);
    EXPECT_EQ(picker->pickerColor().saturation, 1.0);
    EXPECT_GT(int(now >> 8 & 0xff), int(now >> 16 & 0xff) + 40) << std::hex << now << " is green";
    // Stored in the palette parameter, not only shown.
    std::vector<CPaletteEntry> stored;
    ASSERT_EQ(readPaletteData(palette->paletteData(), stored), nullptr);
    const auto entry =
        std::find_if(stored.begin(), stored.end(), [](const CPaletteEntry& e) { return e.name == "Panel"; });
    ASSERT_NE(entry, stored.end());
    EXPECT_EQ(entry->tone, now);

    // The main window draws its panels in the new colour.
    ASSERT_TRUE(until([&] { return changedPixels(before) > 5000; })) << changedPixels(before);
    screenshot(*renderer, "/tmp/lagwell-color-edited-main.png");
    screenshot(*popupRenderer, "/tmp/lagwell-color-edited-editor.png");

    // A drag down the gradient darkens it, towards black at the bottom, in one undo step.
    loop.runFor(200);
    const size_t steps = client->undoHistory().size();
    const CRect gradient = picker->partArea(CColorPicker::EPart::Gradient);
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(gradient, 0.5, 0.5) + " mousedown 1 sleep 0.1 mousemove " +
                    inPopup(gradient, 0.5, 0.7) + " sleep 0.1 mousemove " + inPopup(gradient, 0.5, 0.9) +
                    " sleep 0.1 mousemove " + inPopup(gradient, 0.5, 1.0) + " sleep 0.1 mouseup 1"),
              0);
    ASSERT_TRUE(until([&] { return tone("Panel") == 0x000000; })) << std::hex << tone("Panel");
    ASSERT_TRUE(until([&] { return client->undoHistory().size() > steps; }));
    loop.runFor(200);
    EXPECT_EQ(client->undoHistory().size(), steps + 1);
}

TEST_F(ColorEditorOnX, TypedHexAndTheSlidersEditTheRole) {
    auto* hex = dynamic_cast<CTextView*>(picker->findObject(".edit.hex-row.hex"));
    ASSERT_NE(hex, nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(hex->area()) + " click 1"), 0);
    ASSERT_TRUE(until([&] { return hex->editor().isEditing(); }));
    ASSERT_EQ(x.run("xdotool key ctrl+a type --delay 20 -- '#FF8000'"), 0);
    ASSERT_EQ(x.run("xdotool key Return"), 0);
    ASSERT_TRUE(until([&] { return tone("Border") == 0xff8000; })) << std::hex << tone("Border");
    EXPECT_EQ(hex->getAttr("title"), "FF8000");

    // Not a colour: the role keeps its own, and the read-out shows it again.
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(hex->area()) + " click 1"), 0);
    ASSERT_TRUE(until([&] { return hex->editor().isEditing(); }));
    ASSERT_EQ(x.run("xdotool key ctrl+a type --delay 20 -- 'red'"), 0);
    ASSERT_EQ(x.run("xdotool key Return"), 0);
    ASSERT_TRUE(until([&] { return !hex->editor().isEditing(); }));
    loop.runFor(100);
    EXPECT_EQ(tone("Border"), 0xff8000u);
    EXPECT_EQ(hex->getAttr("title"), "FF8000");

    // The opacity slider's left end: a transparent border.
    const CRect opacity = picker->partArea(CColorPicker::EPart::Opacity);
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(opacity, 0.0) + " click 1"), 0);
    ASSERT_TRUE(until([&] { return palette->find("Border")->values.opacity == 0.0; }));
    const CRect contrast = picker->partArea(CColorPicker::EPart::Contrast);
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(contrast, 1.0) + " click 1"), 0);
    ASSERT_TRUE(until([&] { return palette->find("Border")->values.contrast == 1.0; }));
}

// The editor shows a typed colour at once; an undo that reaches the
// instance before the editor's next frame takes it back in the editor too.
TEST_F(ColorEditorOnX, ATypedColourUndoneBeforeTheNextFrameShowsTheRolesColourAgain) {
    auto* hex = dynamic_cast<CTextView*>(picker->findObject(".edit.hex-row.hex"));
    auto* undo = dynamic_cast<CView*>(root->findObject("ui.main-window.buttons.history.undo"));
    ASSERT_TRUE(hex && undo);
    const CColor old = tone("Border");
    ASSERT_NE(old, 0xff8000u);
    // Beside the main window, whose buttons it would cover.
    xdo("windowmove " + std::to_string(popupRenderer->window()->id()) + " 600 40");
    ASSERT_TRUE(until([&] { return popupRenderer->window()->screenOrigin(px, py) && px == 600; }));

    holdFrames();
    const size_t position = client->undoPosition();
    xdo("mousemove " + inPopup(hex->area()) + " click 1");
    ASSERT_TRUE(until([&] { return hex->editor().isEditing(); }));
    xdo("key ctrl+a type --delay 20 -- '#FF8000'");
    xdo("key Return");
    ASSERT_TRUE(until([&] { return client->undoPosition() == position + 1; }));
    EXPECT_EQ(hex->getAttr("title"), "FF8000") << "shown before the instance answers";
    click(*undo);
    ASSERT_TRUE(until([&] { return client->undoPosition() == position; }));
    resumeFrames();
    EXPECT_TRUE(until([&] { return hex->getAttr("title") == hexColor(old); })) << hex->getAttr("title").utf8();
    EXPECT_EQ(tone("Border"), old);
}

TEST_F(ColorEditorOnX, TheSchemeSelectorLoadsABuiltInScheme) {
    auto* selector = dynamic_cast<CView*>(picker->findObject(".schemes.quick-color-selector"));
    ASSERT_NE(selector, nullptr);
    ASSERT_EQ(x.run("xdotool mousemove " + inPopup(selector->area()) + " click 1"), 0);
    CTextView* list = nullptr;
    ASSERT_TRUE(until([&] {
        list = dynamic_cast<CTextView*>(root->findObject("ui.ui:window-app-popup-list.list"));
        return list && list->windowRenderer() && list->windowRenderer()->frameCount() > 0;
    }));
    std::vector<std::string> titles;
    for (size_t i = 0; i < list->paragraphs().size(); ++i) titles.push_back(list->paragraphText(int(i)).utf8());
    EXPECT_EQ(titles,
              (std::vector<std::string>{"Gray", "Blue", "Beige", "Red", "Green", "Brown", "White", "[B]File[/B]",
                                        CQuickPresetSelector::kLoadTitle, CQuickPresetSelector::kSaveTitle}));
    const CColor before = tone("Panel");
    int ox = 0, oy = 0;
    ASSERT_TRUE(list->windowRenderer()->window()->screenOrigin(ox, oy));
    const int red = 3;
    const int y = oy + list->paragraphTop(red) + list->paragraphs()[size_t(red)].height / 2 + 2;
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(ox + list->area().left + 12) + " " + std::to_string(y) +
                    " click 1"),
              0);
    ASSERT_TRUE(until([&] { return tone("Panel") != before; })) << std::hex << before;
    // The editor shows the scheme's colour of its role.
    auto* hex = dynamic_cast<CTextView*>(picker->findObject(".edit.hex-row.hex"));
    ASSERT_NE(hex, nullptr);
    EXPECT_EQ(hex->getAttr("title"), hexColor(tone("Border")));
    screenshot(*renderer, "/tmp/lagwell-color-scheme-red-main.png");

    // An edit, then the same scheme chosen again: its colours come back.
    const CColor redBorder = tone("Border");
    loop.runFor(200);
    ASSERT_EQ(picker->setTone(0x123456), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x123456; }));
    choose(*selector, "Red");
    EXPECT_TRUE(until([&] { return tone("Border") == redBorder; })) << std::hex << tone("Border");
}

// The selector's own file commands: the editor's file browser saves the
// scheme to a ".ccf" file and loads it back, starting in the folder last
// used; files that are no colour scheme show why and change nothing.
TEST_F(ColorEditorOnX, SchemeFilesGoThroughTheSelectorAndTheFileBrowser) {
    auto* selector = dynamic_cast<CQuickPresetSelector*>(picker->findObject(".schemes.quick-color-selector"));
    ASSERT_NE(selector, nullptr);
    const std::string folder = std::string(std::getenv("LAGWELL_DATA_HOME")) + "/schemes";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    // Loads `name` of the folder through the browser.
    const auto loadThroughBrowser = [&](const char* name) {
        choose(*selector, CQuickPresetSelector::kLoadTitle);
        CFileBrowser* load = fileBrowser();
        ASSERT_NE(load, nullptr);
        EXPECT_FALSE(load->request().isSave);
        ASSERT_TRUE(until([&] { return load->listing().folder() == folder; })) << "it starts in the last folder";
        const int at = load->listing().find(name, CFileBrowserListing::EKind::File);
        ASSERT_GE(at, 0) << name;
        ASSERT_EQ(load->select(at), nullptr);
        click(*dynamic_cast<CView*>(load->findObject(".actions.buttons.ok")));
        ASSERT_TRUE(until([&] { return opener->findPopup("file-browser") == nullptr; }));
        // Until the server has unmapped the browser's window, a click may still land on it.
        loop.runFor(200);
    };
    // The message popup's text, closed with its button.
    const auto message = [&](const char* title) {
        CWinDrag* popup = nullptr;
        EXPECT_TRUE(until([&] { return (popup = opener->findPopup("message")) != nullptr; }));
        if (!popup || !shown(popup)) return std::string();
        EXPECT_EQ(popup->getAttr("title").utf8(), title);
        const std::string text = popup->getAttr("title-message").utf8();
        click(*dynamic_cast<CView*>(popup->findObject(".buttons.close")));
        EXPECT_TRUE(until([&] { return opener->findPopup("message") == nullptr; }));
        return text;
    };

    ASSERT_EQ(picker->setTone(0xff8000), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0xff8000; }));
    choose(*selector, CQuickPresetSelector::kSaveTitle);
    CFileBrowser* save = fileBrowser();
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(save->request().isSave);
    EXPECT_EQ(save->request().extension.utf8(), "ccf");
    EXPECT_EQ(save->request().description.utf8(), "Zelmora compressed color file");
    ASSERT_EQ(save->go(folder), nullptr);
    auto* name = dynamic_cast<CView*>(save->findObject(".actions.name-row.name"));
    ASSERT_NE(name, nullptr);
    click(*name);
    xdo("key ctrl+a");
    xdo("type --delay 10 'Orange'");
    xdo("key Return");
    const std::string path = folder + "/Orange.ccf";
    ASSERT_TRUE(until([&] { return std::filesystem::exists(path); }));
    CAudioPreset file;
    ASSERT_EQ(file.loadFromFile(CString::fromUtf8(path)), nullptr);
    EXPECT_EQ(file.registryId(), "ZMUS");
    EXPECT_EQ(CFolderMemory("/defpath-colors").folder().utf8(), folder) << "kept for every plug-in";

    ASSERT_EQ(picker->setTone(0x0000ff), nullptr);
    ASSERT_TRUE(until([&] { return tone("Border") == 0x0000ff; }));
    loadThroughBrowser("Orange.ccf");
    ASSERT_TRUE(until([&] { return tone("Border") == 0xff8000; })) << std::hex << tone("Border");

    // A routing preset is no colour scheme; a damaged file is no preset.
    CAudioPreset routing(CAudioPreset::makeName("ZMIO", "Stereo"));
    ASSERT_EQ(routing.saveToFile(CString::fromUtf8(folder + "/Stereo.ccf")), nullptr);
    loadThroughBrowser("Stereo.ccf");
    EXPECT_EQ(message("Preset file load"), "Unsupported preset type.");
    std::ofstream(folder + "/junk.ccf") << "not a preset";
    loadThroughBrowser("junk.ccf");
    EXPECT_EQ(message("Preset file load"), "Unsupported file or file read error.");
    loop.runFor(100);
    EXPECT_EQ(tone("Border"), 0xff8000u) << "refused files change nothing";

    // A folder that cannot take the file: the message, and the folder kept
    // is still the last one that worked.
    ASSERT_EQ(selector->saveFile("/proc/lagwell-no-such/x.ccf"), nullptr);
    EXPECT_EQ(message("Preset file save"), "File write error.");
    EXPECT_EQ(CFolderMemory("/defpath-colors").folder().utf8(), folder);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace zel
