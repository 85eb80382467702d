// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's palette and the instance's palette parameter.

#include <gtest/gtest.h>

#include <set>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/Preset.h"
#include "Core/AppData.h"
#include "Core/MemoryStream.h"
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

TEST(ColourPresets, EachBuiltInSchemeChangesWhatIsDrawn) {
    std::vector<uint8_t> payload;
    ASSERT_EQ(CAppDataGlobal::instance().readItem("../uicolor-presets|AppDataGlobal_uicolor-presets", payload,
                                                  CAudioPresetBank::kListTag),
              nullptr);
    CAudioPresetBank list;
    CMemoryReaderStatic reader(payload.data(), payload.size());
    ASSERT_EQ(list.loadList(reader), nullptr);
    std::vector<std::string> names;
    for (const CAudioPreset& preset : list.presets()) names.push_back(preset.name().utf8());
    EXPECT_EQ(names, (std::vector<std::string>{"ZMUS:Gray", "ZMUS:Blue", "ZMUS:Beige", "ZMUS:Red", "ZMUS:Green",
                                               "ZMUS:Brown", "ZMUS:White"}));

    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CInstanceRoot root(w);
    ASSERT_EQ(test::buildEditor(root, kBody), nullptr);
    ASSERT_EQ(root.ui().refresh(), nullptr);
    auto* registry = dynamic_cast<CAudioParamRegistry*>(w.plugin().findObject("plugin.param-registry-uicolor"));
    auto* view = dynamic_cast<CView*>(root.findObject("ui.w"));
    ASSERT_TRUE(registry && view);
    std::set<uint32_t> seen;
    for (const CAudioPreset& preset : list.presets()) {
        ASSERT_EQ(registry->activatePreset(preset), nullptr) << preset.name().utf8();
        ASSERT_EQ(root.ui().refresh(), nullptr);
        CLinearBitmap bitmap;
        bitmap.resize(4, 4);
        view->draw(bitmap, bitmap.bounds());
        const uint8_t* p = bitmap.pixel(1, 1);
        const uint32_t drawn = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        if (preset.name() == CString("ZMUS:Gray")) {
            EXPECT_EQ(drawn, 0xcececeu) << "Gray's panel d9d9d9, 5 darker";
        }
        EXPECT_TRUE(seen.insert(drawn).second) << preset.name().utf8() << " draws like another scheme";
    }
}

}  // namespace
}  // namespace zel
