// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's palette and the instance's palette parameter.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/Preset.h"
#include "Core/AppData.h"
#include "Core/MemoryStream.h"
#include "Core/ResourceReader.h"
#include "EditorInstance.h"
#include "UI/DynamicPalette.h"
#include "UI/View.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CTestInstance;

const char* kBody = R"(
    <ui:param-bridge name="palette-bridge" param="plugin.modMain.uicolor-params.palette"/>
    <ui:dynamic-palette name="linked">
      <ui:ui-param name="ui-param-palette" bridge="ui.palette-bridge"/>
      <ui:dynamic-color name="Panel" tone="f6edce">
        <ui:dynamic-color name="RealisticPanel" brightness="-5"/>
      </ui:dynamic-color>
      <ui:dynamic-color name="Border" tone="3f3e2b"/>
    </ui:dynamic-palette>
    <ui:view name="w" width="4" height="4" color="RealisticPanel" palette="ui.linked"/>)";

std::vector<uint8_t> instanceBytes(CAudioWrapper& w) {
    auto* collector = dynamic_cast<CAudioParamCollector*>(w.plugin().findObject("plugin.param-collector"));
    CAudioParam* p = collector->find("plugin.modMain.uicolor-params.palette");
    std::lock_guard<std::mutex> lock(p->lock());
    return p->storage().bytes(0, 0);
}

std::vector<uint8_t> panelRecord(uint32_t tone) {
    CPaletteEntry panel;
    panel.name = "Panel";
    panel.tone = tone;
    return writePaletteData({panel});
}

TEST(PaletteParam, EditsGoToTheParameterAndComeBackToEveryView) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CInstanceRoot root(w);
    CErrorPtr err = test::buildEditor(root, kBody);
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* palette = dynamic_cast<CDynamicPalette*>(root.findObject("ui.linked"));
    auto* view = dynamic_cast<CView*>(root.findObject("ui.w"));
    ASSERT_TRUE(palette && view);
    const auto drawn = [&] {
        CLinearBitmap bitmap;
        bitmap.resize(4, 4);
        view->draw(bitmap, bitmap.bounds());
        const uint8_t* p = bitmap.pixel(1, 1);
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };

    const size_t undoBefore = w.undoCount();
    const std::vector<uint8_t> record = panelRecord(0x204060);
    ASSERT_EQ(palette->storePaletteData(record), nullptr);
    EXPECT_EQ(instanceBytes(w), record) << "the record reaches the instance as it is";
    EXPECT_EQ(w.undoCount(), undoBefore + 1);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(palette->find("Panel")->colour, 0x204060u);
    EXPECT_EQ(drawn(), 0x1e3d5bu) << "the view's variant follows at the next frame";

    // A damaged record never leaves the editor.
    std::vector<uint8_t> damaged = panelRecord(0x102030);
    damaged.resize(damaged.size() - 3);
    EXPECT_NE(palette->storePaletteData(damaged), nullptr);
    EXPECT_EQ(instanceBytes(w), record);
    EXPECT_EQ(w.undoCount(), undoBefore + 1);

    // A later edit replaces the earlier one.
    ASSERT_EQ(palette->storePaletteData(panelRecord(0x806040)), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(palette->find("Panel")->colour, 0x806040u);
    EXPECT_EQ(palette->find("Border")->colour, 0x3f3e2bu) << "roles the record leaves out keep their own";
}

TEST(PaletteParam, AnEditorOpenedLaterTakesTheStoredPalette) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    {
        CInstanceRoot first(w);
        ASSERT_EQ(test::buildEditor(first, kBody), nullptr);
        ASSERT_EQ(first.ui().refresh(), nullptr);
        auto* palette = dynamic_cast<CDynamicPalette*>(first.findObject("ui.linked"));
        ASSERT_EQ(palette->storePaletteData(panelRecord(0x405060)), nullptr);
    }
    CInstanceRoot second(w);
    ASSERT_EQ(test::buildEditor(second, kBody), nullptr);
    ASSERT_EQ(second.ui().refresh(), nullptr);
    auto* palette = dynamic_cast<CDynamicPalette*>(second.findObject("ui.linked"));
    EXPECT_EQ(palette->find("Panel")->colour, 0x405060u);
}

// An application-data default as the module embeds it.
std::vector<uint8_t> embeddedItem(const char* name, uint32_t tag) {
    std::vector<uint8_t> out;
    CResourceReader resource;
    CErrorPtr err = resource.open(name);
    if (!err) err = resource.readCompressedData(tag, out, CAppData::kMaxItemBytes);
    EXPECT_EQ(err, nullptr) << name;
    EXPECT_TRUE(resource.isEmbedded()) << name;
    return out;
}

CAudioPresetBank builtInColourPresets() {
    const std::vector<uint8_t> payload = embeddedItem("AppDataGlobal_uicolor-presets", CAudioPresetBank::kListTag);
    CAudioPresetBank list;
    CMemoryReaderStatic reader(payload.data(), payload.size());
    EXPECT_EQ(list.loadList(reader), nullptr);
    std::vector<std::string> names;
    for (const CAudioPreset& preset : list.presets()) names.push_back(preset.name().utf8());
    EXPECT_EQ(names, (std::vector<std::string>{"ZMUS:Gray", "ZMUS:Blue", "ZMUS:Beige", "ZMUS:Red", "ZMUS:Green",
                                               "ZMUS:Brown", "ZMUS:White"}));
    return list;
}

const CPaletteEntry* entryOf(const std::vector<CPaletteEntry>& entries, const char* role) {
    for (const CPaletteEntry& e : entries)
        if (e.name == CString(role)) return &e;
    ADD_FAILURE() << "no entry " << role;
    return nullptr;
}

TEST(ColourPresets, TheDefaultPaletteAndEveryPresetHoldEveryStoredRoleWithTheirSchemesTones) {
    // The roles a record of the editor's palette holds, in their order.
    CErrorPtr err;
    const std::unique_ptr<test::CLoopRoot> tree = test::buildTree("", err);
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    auto* palette = dynamic_cast<CDynamicPalette*>(tree->findObject("ui.palette"));
    ASSERT_TRUE(palette);
    std::vector<CPaletteEntry> document;
    ASSERT_EQ(readPaletteData(palette->paletteData(), document), nullptr);
    ASSERT_EQ(document.size(), 150u);

    // The default palette is Gray's; each preset's is what it writes to the
    // palette parameter.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> records{
        {"Gray", embeddedItem("AppDataLocal_uicolor-palette", makeTag("adat"))}};
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    auto* registry = dynamic_cast<CAudioParamRegistry*>(w.plugin().findObject("plugin.param-registry-uicolor"));
    ASSERT_TRUE(registry);
    const CAudioPresetBank presets = builtInColourPresets();
    for (const CAudioPreset& preset : presets.presets()) {
        ASSERT_EQ(registry->activatePreset(preset), nullptr) << preset.name().utf8();
        records.emplace_back(preset.name().utf8().substr(5), instanceBytes(w));
    }

    for (const auto& [scheme, record] : records) {
        std::vector<CPaletteEntry> entries;
        ASSERT_EQ(readPaletteData(record, entries), nullptr) << scheme;
        ASSERT_EQ(entries.size(), document.size()) << scheme;
        const auto tones = test::schemeTones(scheme);
        const std::map<std::string, uint32_t> named(tones.begin(), tones.end());
        for (size_t i = 0; i < entries.size(); ++i) {
            const CPaletteEntry &e = entries[i], &d = document[i];
            ASSERT_EQ(e.name, d.name) << scheme << ": entry " << i;
            EXPECT_TRUE(e.brightness == d.brightness && e.contrast == d.contrast && e.opacity == d.opacity &&
                        e.tone2 == d.tone2 && e.tone3 == d.tone3)
                << scheme << ": " << e.name.utf8() << " keeps the document's values";
            const auto tone = named.find(e.name.utf8());
            if (tone != named.end()) {
                EXPECT_EQ(e.tone, tone->second) << scheme << ": " << e.name.utf8();
            }
        }
        EXPECT_EQ(entryOf(entries, "RealisticPanel")->tone, named.at("Panel")) << scheme << ": variants follow";
        EXPECT_EQ(entryOf(entries, "LevelMeterZone1")->tone, 0x16b900u) << scheme << ": a role it leaves";
        // Exactly what the editor writes back once it has taken the record.
        ASSERT_EQ(palette->setPaletteData(record), nullptr) << scheme;
        EXPECT_EQ(palette->paletteData(), record) << scheme;
    }
}

// The editor's own roles linked to the palette parameter, with views of a
// variant, of a role every scheme sets and of one none sets.
std::string schemeViews() {
    std::string palette = test::editorPalette();
    palette.replace(palette.find("name=\"palette\""), 14, "name=\"linked\"");
    palette.insert(palette.find('>') + 1, R"(<ui:ui-param name="ui-param-palette" bridge="ui.palette-bridge"/>)");
    std::string body = R"(<ui:param-bridge name="palette-bridge" param="plugin.modMain.uicolor-params.palette"/>)";
    body += palette;
    for (const char* role : {"RealisticPanel", "Background", "LevelMeterZone1"})
        body += std::string("<ui:view name=\"") + role + "\" width=\"4\" height=\"4\" color=\"" + role +
                "\" palette=\"ui.linked\"/>";
    return body;
}

TEST(ColourPresets, EachBuiltInSchemeChangesWhatIsDrawn) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CInstanceRoot root(w);
    CErrorPtr err = test::buildEditor(root, schemeViews());
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* registry = dynamic_cast<CAudioParamRegistry*>(w.plugin().findObject("plugin.param-registry-uicolor"));
    ASSERT_TRUE(registry);
    const auto drawn = [&](const char* role) {
        auto* view = dynamic_cast<CView*>(root.findObject(std::string("ui.") + role));
        if (!view) return 0xdeadbeefu;
        CLinearBitmap bitmap;
        bitmap.resize(4, 4);
        view->draw(bitmap, bitmap.bounds());
        const uint8_t* p = bitmap.pixel(1, 1);
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    std::set<uint32_t> seen;
    const CAudioPresetBank presets = builtInColourPresets();
    for (const CAudioPreset& preset : presets.presets()) {
        ASSERT_EQ(registry->activatePreset(preset), nullptr) << preset.name().utf8();
        ASSERT_EQ(root.ui().refresh(), nullptr);
        const std::string scheme = preset.name().utf8().substr(5);
        const auto tones = test::schemeTones(scheme);
        const std::map<std::string, uint32_t> named(tones.begin(), tones.end());
        const uint32_t panel = drawn("RealisticPanel");
        if (scheme == "Gray") {
            EXPECT_EQ(panel, 0xcececeu) << "Gray's panel d9d9d9, 5 darker";
        }
        EXPECT_TRUE(seen.insert(panel).second) << scheme << " draws like another scheme";
        EXPECT_EQ(drawn("Background"), named.at("Background")) << scheme;
        EXPECT_EQ(drawn("LevelMeterZone1"), 0x16b900u) << scheme;
    }
}

}  // namespace
}  // namespace zel
