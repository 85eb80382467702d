// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "Core/AppData.h"
#include "Core/Debug.h"
#include "UI/ColorSwatch.h"
#include "UI/DynamicPalette.h"
#include "UI/PaletteCache.h"
#include "UI/View.h"
#include "UITestSupport.h"

using namespace zel;
using namespace zel::test;

namespace {

CRoleValues tone(CColor t) {
    CRoleValues v;
    v.tone = t;
    return v;
}

// The editor's palette, with a view "w" of the given attributes beside it.
struct CPaletteTree {
    explicit CPaletteTree(const std::string& viewAttrs = "color=\"Panel\"", const std::string& children = "") {
        root = buildTree("<ui:view name=\"w\" width=\"4\" height=\"4\" " + viewAttrs +
                             (children.empty() ? "/>" : ">" + children + "</ui:view>"),
                         err);
        palette = root ? dynamic_cast<CDynamicPalette*>(root->findObject("ui.palette")) : nullptr;
    }
    CColor colour(const char* role) const {
        const CPreparedColor* p = palette->find(role);
        return p ? p->colour : 0xdeadbeef;
    }
    double opacity(const char* role) const {
        const CPreparedColor* p = palette->find(role);
        return p ? p->opacity : -1.0;
    }
    uint32_t drawn() const {
        auto* view = dynamic_cast<CView*>(root->findObject("ui.w"));
        CLinearBitmap bitmap;
        bitmap.resize(4, 4);
        view->draw(bitmap, bitmap.bounds());
        const uint8_t* p = bitmap.pixel(1, 1);
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    std::string error() const { return err ? err->text().utf8() : std::string(); }
    CErrorPtr err;
    std::unique_ptr<CLoopRoot> root;
    CDynamicPalette* palette = nullptr;
};

// A palette record of one entry, field by field.
std::vector<uint8_t> oneEntry(const char* name, double brightness, double contrast, double opacity, uint32_t tone,
                              int32_t tone2, int32_t tone3, uint32_t version = 1) {
    std::vector<uint8_t> out;
    const auto put = [&](const void* p, size_t n) { out.insert(out.end(), (const uint8_t*)p, (const uint8_t*)p + n); };
    const uint32_t length = uint32_t(std::strlen(name));
    put(&version, 4);
    put(&length, 4);
    put(name, length);
    put(&brightness, 8);
    put(&contrast, 8);
    put(&opacity, 8);
    put(&tone, 4);
    put(&tone2, 4);
    put(&tone3, 4);
    return out;
}

}  // namespace

TEST(ColourArithmetic, RampsRunFromBlackThroughTheColourToWhite) {
    const CPreparedColor panel = prepareColor(tone(0xf6edce));
    EXPECT_EQ(panel.colour, 0xf6edceu);
    EXPECT_EQ(panel.ramp[0], 0xff000000u);
    EXPECT_EQ(panel.ramp[128], 0xfff6edceu);
    EXPECT_EQ(panel.ramp[255], 0xffffffffu);
    // Half way down: 246/2 = 123, 237/2 = 118.5 -> 119, 206/2 = 103.
    EXPECT_EQ(panel.ramp[64], 0xff7b7767u);
    // Half way up from the colour: 246 + 9 * 63 / 127 = 250.46, 245.9, 230.3.
    EXPECT_EQ(panel.ramp[191] & 0xffffff, 0xfaf6e6u);

    CRoleValues flat = tone(0x3971b8);
    flat.contrast = 0.0;
    const CPreparedColor marker = prepareColor(flat);
    for (int g : {0, 64, 200, 255}) EXPECT_EQ(marker.ramp[size_t(g)], 0xff3971b8u) << "no contrast, no shading";

    CRoleValues steep = tone(0x3971b8);
    steep.contrast = 1.0;
    steep.opacity = 0.5;
    const CPreparedColor hard = prepareColor(steep);
    EXPECT_EQ(hard.ramp[64], 0x80000000u) << "double contrast reaches black half way down; alpha 127.5 -> 128";
    EXPECT_EQ(hard.ramp[192], 0x80ffffffu);
    EXPECT_EQ(hard.ramp[128], 0x803971b8u);
}

TEST(ColourArithmetic, BrightnessMovesTowardBlackOrWhiteAndGradientsRunThroughTheirTones) {
    EXPECT_EQ(applyBrightness(0xf6edce, -70), 0x4a473eu);  // 73.8, 71.1, 61.8
    EXPECT_EQ(applyBrightness(0x000000, 15), 0x262626u);   // 38.25
    EXPECT_EQ(applyBrightness(0x3971b8, 0), 0x3971b8u);
    EXPECT_EQ(applyBrightness(0x3971b8, -100), 0x000000u);
    EXPECT_EQ(applyBrightness(0x3971b8, 250), 0xffffffu) << "clamped to +100";

    CRoleValues alarm = tone(0xff0000);
    alarm.tone2 = 0x000000;
    alarm.gradientSize = 16;
    const CPreparedColor p = prepareColor(alarm);
    EXPECT_EQ(p.gradient(0), 0xff0000u);
    EXPECT_EQ(p.gradient(8), 0x000000u) << "half a cycle reaches tone2";
    EXPECT_EQ(p.gradient(4), 0x800000u);  // 127.5 -> 128
    EXPECT_EQ(p.gradient(16), 0xff0000u) << "the cycle wraps";
    EXPECT_EQ(p.gradient(-8), 0x000000u);
    EXPECT_EQ(prepareColor(tone(0x123456)).gradient(5), 0x123456u) << "no second tone, no gradient";
}

TEST(DynamicPalette, AGradientRoleFillsItsViewStepByStepFromTopToBottom) {
    CErrorPtr err;
    auto root = buildTree(R"(<ui:view name="alarm" width="4" height="32" color="Alarm"/>
        <ui:view name="offline" width="4" height="16" color="OfflineRender" color-state="Active"/>
        <ui:view name="plain" width="4" height="16" color="ActionError"/>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    const auto column = [&](const char* name) {
        auto* view = dynamic_cast<CView*>(root->findObject(CString("ui.") + name));
        CLinearBitmap bitmap;
        bitmap.resize(4, view->area().height());
        view->draw(bitmap, view->area());
        std::vector<uint32_t> rows;
        for (int y = 0; y < view->area().height(); ++y) {
            const uint8_t* p = bitmap.pixel(view->area().left + 1, view->area().top + y);
            rows.push_back(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
        }
        return rows;
    };
    // Sixteen steps over 32 rows: two rows a step, red to black and back.
    const std::vector<uint32_t> alarm = column("alarm");
    EXPECT_EQ(alarm[0], 0xff0000u);
    EXPECT_EQ(alarm[1], 0xff0000u);
    EXPECT_EQ(alarm[8], 0x800000u);
    EXPECT_EQ(alarm[16], 0x000000u);
    EXPECT_EQ(alarm[24], 0x800000u);
    EXPECT_EQ(alarm[31], 0xdf0000u) << "step 15: 7/8 of the way back, 223.1";
    // The state's variant brings its gradient; one a pixel a step.
    const std::vector<uint32_t> offline = column("offline");
    EXPECT_EQ(offline[0], 0x00ff00u);
    EXPECT_EQ(offline[8], 0x000000u);
    const std::vector<uint32_t> plain = column("plain");
    EXPECT_EQ(plain.front(), 0xff0000u);
    EXPECT_EQ(plain.back(), 0xff0000u) << "a role without a second tone fills flat";
}

TEST(DynamicPalette, RolesResolveThroughParentsStatesAndHoverVariants) {
    CPaletteTree t;
    ASSERT_EQ(t.error(), "");
    ASSERT_NE(t.palette, nullptr);
    EXPECT_EQ(t.colour("Panel"), 0xf6edceu);
    EXPECT_EQ(t.colour("RealisticPanel"), 0xeae1c4u) << "brightness -5 of Panel: 233.7, 225.15, 195.7";
    EXPECT_EQ(t.colour("RealisticPanelGradient"), 0xeae1c4u);
    EXPECT_DOUBLE_EQ(t.opacity("RealisticPanelGradient"), 0.7);
    EXPECT_EQ(t.colour("Shadow"), 0x4a473eu);
    EXPECT_EQ(t.colour("LevelMeterBGLines"), 0x777766u) << "an own tone replaces the parent's";
    EXPECT_DOUBLE_EQ(t.opacity("DisabledTransparent"), 0.0);
    EXPECT_DOUBLE_EQ(t.opacity("WindowBlocker"), 0.5);

    // States name variants; copies take their parent as it is.
    EXPECT_EQ(t.colour("Button"), 0xfff8d8u);
    EXPECT_EQ(t.colour("Button_Active"), 0xffe672u);
    EXPECT_EQ(t.colour("ButtonText_Active"), 0x000000u);
    EXPECT_EQ(t.colour("Button_Error"), 0xff0000u);
    EXPECT_EQ(t.colour("LevelMeterZone1"), 0x16b900u) << "sub-roles are roles of their own";

    // Hoverable roles get a "_Hover" variant that shows, light or dark.
    for (const char* role : {"Panel", "Action", "ActionText", "Button"}) {
        const std::string hover = std::string(role) + "_Hover";
        ASSERT_TRUE(t.palette->contains(hover.c_str())) << hover;
        EXPECT_NE(t.colour(hover.c_str()), t.colour(role)) << hover;
    }
    EXPECT_FALSE(t.palette->contains("Border_Hover")) << "only hoverable roles";
    EXPECT_EQ(t.palette->find("NoSuchRole"), nullptr);
}

TEST(DynamicPalette, ViewsDrawTheirRoleInTheStateVariant) {
    EXPECT_EQ(CPaletteTree("color=\"Button\"").drawn(), 0xfff8d8u);
    EXPECT_EQ(CPaletteTree("color=\"Button\" color-state=\"Active\"").drawn(), 0xffe672u);
    EXPECT_EQ(CPaletteTree("color=\"Button\" color-state=\"Error\"").drawn(), 0xff0000u);
    EXPECT_EQ(CPaletteTree("color=\"Button\" color-state=\"Pressed\"").drawn(), 0xfff8d8u)
        << "a state without a variant draws in the plain role";
    EXPECT_EQ(CPaletteTree("color=\"Panel\" palette=\"ui.palette\"").drawn(), 0xf6edceu);

    CPaletteTree lost("color=\"Panel\" palette=\"ui.nowhere\"");
    EXPECT_EQ(lost.error(), "Unable to find palette object 'ui.nowhere'.");
    CPaletteTree wrong("color=\"Panel\" palette=\"ui.window-shared-data\"");
    EXPECT_EQ(wrong.error(), "Unable to find palette in palette object 'ui.window-shared-data'.");
}

TEST(DynamicPalette, HoverAddsItselfToTheStateBeforeIt) {
    const auto tree = [](const char* role) {
        return CPaletteTree(std::string("has-view-states=\"true\" color=\"") + role + "\"", R"(
          <ui:view-state state-name="active" state-attrs="color-state" color-state="Active" duration="0"/>
          <ui:view-state state-name="hover" state-attrs="color-state" color-state="/Hover" duration="0"/>)");
    };
    CPaletteTree button = tree("Button");
    ASSERT_EQ(button.error(), "");
    CViewBaseState& states = dynamic_cast<CView*>(button.root->findObject("ui.w"))->states();
    ASSERT_EQ(states.set("hover", true, 0), nullptr);
    EXPECT_EQ(button.drawn(), button.colour("Button_Hover"));
    ASSERT_EQ(states.set("active", true, 0), nullptr);
    EXPECT_EQ(button.root->findObject("ui.w")->getAttr("color-state"), "Active/Hover");
    EXPECT_EQ(button.drawn(), button.colour("Button_ActiveHover"));
    EXPECT_NE(button.colour("Button_ActiveHover"), button.colour("Button_Active"));
    ASSERT_EQ(states.set("hover", false, 0), nullptr);
    EXPECT_EQ(button.drawn(), 0xffe672u);

    // Panel has a hover variant but no active one: hovered while active,
    // it shows the hover.
    CPaletteTree panel = tree("Panel");
    ASSERT_EQ(panel.error(), "");
    CViewBaseState& panelStates = dynamic_cast<CView*>(panel.root->findObject("ui.w"))->states();
    ASSERT_EQ(panelStates.set("active", true, 0), nullptr);
    EXPECT_EQ(panel.drawn(), 0xf6edceu);
    ASSERT_EQ(panelStates.set("hover", true, 0), nullptr);
    EXPECT_EQ(panel.drawn(), panel.colour("Panel_Hover"));
}

TEST(DynamicPalette, MalformedRolesFailWithTheirMessages) {
    CErrorPtr err;
    buildTree(
        R"(<ui:dynamic-palette name="palette"><ui:dynamic-color name="Lost" is-copy-parent-color="true"/></ui:dynamic-palette>)",
        err);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->text().utf8(), "Parent dynamic color not found.");
    buildTree(
        R"(<ui:dynamic-palette name="palette"><ui:dynamic-color name="Alarm" tone="ff0000" gradient-size="0"/></ui:dynamic-palette>)",
        err);
    ASSERT_TRUE(err);
    EXPECT_EQ(err->text().utf8(), "Gradient size not defined.");
}

TEST(PaletteData, RecordsAreLaidOutFieldByFieldAndRoundTripByteForByte) {
    CPaletteEntry e;
    e.name = "Panel";
    e.brightness = -5.0;
    e.contrast = 0.25;
    e.opacity = 0.75;
    e.tone = 0xf6edce;
    e.tone3 = 0x102030;
    EXPECT_EQ(writePaletteData({e}), oneEntry("Panel", -5.0, 0.25, 0.75, 0xf6edce, -1, 0x102030));

    CPaletteTree t;
    ASSERT_EQ(t.error(), "");
    const std::vector<uint8_t> data = t.palette->paletteData();
    std::vector<CPaletteEntry> entries;
    ASSERT_EQ(readPaletteData(data, entries), nullptr);
    EXPECT_EQ(entries.front().name.utf8(), "Border");
    EXPECT_EQ(entries.front().tone, 0x3f3e2bu);
    // Every role with values of its own, variants included; roles that
    // copy their parent have none to store.
    EXPECT_EQ(entries.size(), 150u);
    bool variant = false;
    for (const CPaletteEntry& entry : entries) {
        EXPECT_NE(entry.name.utf8(), "Button");
        EXPECT_NE(entry.name.utf8(), "Text");
        if (entry.name.utf8() == "RealisticPanel")
            variant = entry.brightness == -5.0 && entry.tone == 0xf6edceu && entry.tone2 == -1;
    }
    EXPECT_TRUE(variant) << "stored with its own brightness and its parent's tone";

    ASSERT_EQ(t.palette->setPaletteData(data), nullptr);
    EXPECT_EQ(t.palette->paletteData(), data);
    EXPECT_EQ(t.colour("Panel"), 0xf6edceu);
}

TEST(PaletteData, AStoredRoleChangesItsVariantsAndWhatViewsDraw) {
    CPaletteTree t("color=\"RealisticPanel\"");
    ASSERT_EQ(t.error(), "");
    EXPECT_EQ(t.drawn(), 0xeae1c4u);
    ASSERT_EQ(t.palette->setPaletteData(oneEntry("Panel", 0.0, 0.5, 1.0, 0x204060, -1, -1)), nullptr);
    EXPECT_EQ(t.colour("Panel"), 0x204060u);
    EXPECT_EQ(t.colour("RealisticPanel"), 0x1e3d5bu) << "30.4, 60.8, 91.2";
    EXPECT_EQ(t.drawn(), 0x1e3d5bu) << "views take the new palette";
    EXPECT_EQ(t.colour("Border"), 0x3f3e2bu) << "roles the record leaves out keep the document's values";

    // The record now names Panel alone; written back it is the same bytes
    // for Panel, followed by the document's other roles.
    std::vector<CPaletteEntry> entries;
    ASSERT_EQ(readPaletteData(t.palette->paletteData(), entries), nullptr);
    bool found = false;
    for (const CPaletteEntry& e : entries)
        if (e.name.utf8() == "Panel") found = e.tone == 0x204060u;
    EXPECT_TRUE(found);
}

TEST(PaletteData, AVariantsStoredValuesApplyToItsParentsCurrentTone) {
    CPaletteTree t("color=\"RealisticPanel\"");
    ASSERT_EQ(t.error(), "");
    // The parent edited after the variant was stored: the variant's tone in
    // the record is stale, its brightness is the user's.
    std::vector<uint8_t> record = oneEntry("Panel", 0.0, 0.5, 1.0, 0x204060, -1, -1);
    const std::vector<uint8_t> variant = oneEntry("RealisticPanel", -50.0, 0.5, 1.0, 0xf6edce, 0x112233, -1);
    record.insert(record.end(), variant.begin() + 4, variant.end());
    ASSERT_EQ(t.palette->setPaletteData(record), nullptr);
    EXPECT_EQ(t.colour("RealisticPanel"), 0x102030u) << "half of 204060";
    EXPECT_EQ(t.drawn(), 0x102030u);
    const CPreparedColor* alarm = t.palette->find("Alarm");
    ASSERT_TRUE(alarm);
    EXPECT_EQ(alarm->values.tone2, 0x000000) << "a variant's own secondary tone stays";

    std::vector<CPaletteEntry> entries;
    ASSERT_EQ(readPaletteData(t.palette->paletteData(), entries), nullptr);
    for (const CPaletteEntry& e : entries)
        if (e.name.utf8() == "RealisticPanel") {
            EXPECT_EQ(e.tone, 0x204060u) << "written back with the tone it follows";
            EXPECT_EQ(e.tone2, -1);
            EXPECT_EQ(e.brightness, -50.0);
        }
}

TEST(DynamicPalette, TheEditorsPaletteHoldsEveryRoleItsViewsName) {
    CPaletteTree t;
    ASSERT_EQ(t.error(), "");
    size_t roles = 0, editable = 0;
    std::vector<const CObject*> pending{t.palette};
    while (!pending.empty()) {
        const CObject* at = pending.back();
        pending.pop_back();
        for (const auto& child : at->children())
            if (auto* role = dynamic_cast<const CDynamicColor*>(child.get())) {
                ++roles;
                editable += role->isEditable() ? 1 : 0;
                EXPECT_TRUE(t.palette->contains(role->name())) << role->name().utf8();
                pending.push_back(role);
            }
    }
    EXPECT_EQ(roles, 222u);
    EXPECT_EQ(editable, 60u);
    for (const char* role : {"Text", "ButtonAB_Active", "ButtonText_Active", "Button_ActiveHover",
                             "ComplexButton_ActiveError", "ComplexButton_Hover", "LevelMeterThreshold",
                             "SelectedParagraphText", "EditBoxSelection", "DisabledTransparent", "PanelTexture"})
        EXPECT_TRUE(t.palette->contains(role)) << role;
    EXPECT_EQ(t.colour("Text"), t.colour("PanelText"));
    EXPECT_EQ(t.colour("ButtonAB_Active"), t.colour("Selection"));
}

TEST(PaletteData, DamagedRecordsFailAndLeaveThePaletteAsItWas) {
    CPaletteTree t;
    ASSERT_EQ(t.error(), "");
    ASSERT_EQ(t.palette->setPaletteData(oneEntry("Panel", 0.0, 0.5, 1.0, 0x204060, -1, -1)), nullptr);
    const std::vector<uint8_t> before = t.palette->paletteData();

    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<uint8_t> truncated = oneEntry("Border", 0.0, 0.5, 1.0, 0x112233, -1, -1);
    truncated.pop_back();
    std::vector<uint8_t> hugeName = oneEntry("Border", 0.0, 0.5, 1.0, 0x112233, -1, -1);
    hugeName[4] = 0xff, hugeName[5] = 0xff, hugeName[6] = 0xff;
    const std::vector<std::vector<uint8_t>> damaged = {
        {},
        {1, 0, 0},
        truncated,
        hugeName,
        oneEntry("Border", 0.0, 0.5, 1.0, 0x112233, -1, -1, 2),
        oneEntry("Border", nan, 0.5, 1.0, 0x112233, -1, -1),
        oneEntry("Border", 0.0, 0.5, 1.0, 0x1000000, -1, -1),
        oneEntry("Border", 0.0, 0.5, 1.0, 0x112233, -2, -1),
        oneEntry("", 0.0, 0.5, 1.0, 0x112233, -1, -1),
    };
    for (size_t i = 0; i < damaged.size(); ++i) {
        EXPECT_NE(t.palette->setPaletteData(damaged[i]), nullptr) << "record " << i;
        EXPECT_EQ(t.colour("Panel"), 0x204060u) << "record " << i;
        EXPECT_EQ(t.colour("Border"), 0x3f3e2bu) << "record " << i;
        EXPECT_EQ(t.palette->paletteData(), before) << "record " << i;
    }
}

TEST(PanelStyle, TheGlobalSettingsSwitchPanelsShadowsAndLight) {
    const auto setting = [](const char* name, const char* def) {
        return std::string("<core:shared-attribute name=\"") + name + "\" data-name=\"" + uniqueLeaf(name) +
               "\" attribute=\"" + name + "\" is-global=\"true\" def-value=\"" + def + "\"/>";
    };
    const std::string body = "<core:object name=\"global-data\">" + setting("ui-flat-panels", "true") +
                             setting("ui-shadows", "true") + setting("ui-spotlight", "true") + R"(</core:object>
    <ui:style name="style" ui-flat-panels="{*/ui.global-data.ui-flat-panels ui-flat-panels}"
              ui-shadows="{*/ui.global-data.ui-shadows ui-shadows}"
              ui-spotlight="{*/ui.global-data.ui-spotlight ui-spotlight}"
              panel-color="RealisticPanel" panel-gradient-color="RealisticPanelGradient"/>
    <ui:view name="w" width="4" height="4" color="{*/ui.style current-panel-color}">
      <ui:view name="shadow" placement="full" is-hidden="{*/ui.style is-shadow-hidden}"/>
      <ui:view name="light" placement="full" is-hidden="{*/ui.style is-global-light-hidden}"/>
    </ui:view>)";
    CErrorPtr err;
    auto root = buildTree(body, err);
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    auto* view = dynamic_cast<CView*>(root->findObject("ui.w"));
    CObject* settings = root->findObject("ui.global-data");
    CObject* style = root->findObject("ui.style");
    const auto drawn = [&] {
        CLinearBitmap bitmap;
        bitmap.resize(4, 4);
        view->draw(bitmap, bitmap.bounds());
        const uint8_t* p = bitmap.pixel(1, 1);
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    EXPECT_EQ(drawn(), 0xf6edceu) << "flat panels draw in Panel";
    EXPECT_EQ(style->getAttr("current-panel-gradient-color"), "PanelGradient");
    EXPECT_EQ(root->findObject("ui.w.shadow")->getAttr("is-hidden"), "false");

    ASSERT_EQ(settings->findChild("ui-flat-panels")->setAttr("ui-flat-panels", "false"), nullptr);
    EXPECT_EQ(drawn(), 0xeae1c4u) << "realistic panels draw in RealisticPanel, 5 darker";
    EXPECT_EQ(style->getAttr("current-panel-gradient-color"), "RealisticPanelGradient");

    ASSERT_EQ(settings->findChild("ui-shadows")->setAttr("ui-shadows", "false"), nullptr);
    ASSERT_EQ(settings->findChild("ui-spotlight")->setAttr("ui-spotlight", "false"), nullptr);
    EXPECT_EQ(root->findObject("ui.w.shadow")->getAttr("is-hidden"), "true");
    EXPECT_EQ(root->findObject("ui.w.light")->getAttr("is-hidden"), "true");

    ASSERT_EQ(settings->findChild("ui-flat-panels")->setAttr("ui-flat-panels", "true"), nullptr);
    EXPECT_EQ(drawn(), 0xf6edceu);
}

TEST(PanelStyle, TexturesTileTheirGrainOverPanelsWhileTheSettingIsOn) {
    const std::string body =
        "<core:object name=\"global-data\"><core:shared-attribute name=\"ui-textures\" data-name=\"" +
        uniqueLeaf("ui-textures") +
        R"(" attribute="ui-textures" is-global="true" def-value="true"/></core:object>
    <ui:style name="style" ui-textures="{*/ui.global-data.ui-textures ui-textures}" overlay-texture-opacity="0.33"/>
    <ui:view name="w" width="300" height="40" color="Panel">
      <ui:picture name="grain" placement="full" image-set="shared::is.texture" image-set-index="1" is-tiled="true"
                  color="PanelTexture"
                  opacity="{*/ui.style overlay-texture-opacity}" is-hidden="{*/ui.style is-texture-hidden}"/>
    </ui:view>)";
    CErrorPtr err;
    auto root = buildTree(body, err);
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    auto* view = dynamic_cast<CView*>(root->findObject("ui.w"));
    const auto drawn = [&] {
        CLinearBitmap bitmap;
        bitmap.resize(300, 40);
        view->draw(bitmap, bitmap.bounds());
        return bitmap;
    };
    const auto at = [](const CLinearBitmap& b, int x, int y) {
        const uint8_t* p = b.pixel(x, y);
        return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    const CLinearBitmap on = drawn();
    std::set<uint32_t> colours;
    int lo = 255, hi = 0;
    for (int x = 0; x < 128; ++x) {
        colours.insert(at(on, x, 20));
        lo = std::min(lo, int(at(on, x, 20) & 0xff));
        hi = std::max(hi, int(at(on, x, 20) & 0xff));
    }
    EXPECT_GT(colours.size(), 4u) << "a grain, not a fill";
    EXPECT_LT(hi - lo, 40) << "a faint one, over the panel's colour (blue ce)";
    EXPECT_GT(hi, 0xce - 20);
    EXPECT_LT(lo, 0xce + 20);
    for (int x : {0, 37, 100}) EXPECT_EQ(at(on, x, 7), at(on, x + 128, 7)) << "the tile repeats every 128 pixels";
    int differing = 0;
    for (int x = 0; x < 16; ++x) differing += at(on, x, 7) != at(on, x + 64, 7);
    EXPECT_GT(differing, 0) << "but not every 64";

    ASSERT_EQ(root->findObject("ui.global-data.ui-textures")->setAttr("ui-textures", "false"), nullptr);
    const CLinearBitmap off = drawn();
    for (int x = 0; x < 300; x += 13) EXPECT_EQ(at(off, x, 20), 0xf6edceu);
}

namespace {

constexpr uint32_t kCacheTag = makeTag("adat");

// A small palette that keeps its prepared roles in the item `cache`.
const CDynamicPalette* cachedPalette(const std::string& cache, std::unique_ptr<CLoopRoot>& root) {
    CErrorPtr err;
    root = buildTree(R"(<ui:dynamic-palette name="p" palette-cache=")" + cache + R"(">
      <ui:dynamic-color name="Panel" tone="f6edce"><ui:dynamic-color name="Shadow" brightness="-70"/></ui:dynamic-color>
    </ui:dynamic-palette>)",
                     err);
    EXPECT_EQ(err, nullptr) << err->text().utf8();
    return dynamic_cast<const CDynamicPalette*>(root->findObject("ui.p"));
}

CPaletteCache::CEntries storedCache(const std::string& cache) {
    std::vector<uint8_t> data;
    CPaletteCache::CEntries entries;
    EXPECT_EQ(CAppDataLocal::instance().readItem(CString::fromUtf8(cache), data, kCacheTag), nullptr);
    EXPECT_EQ(CPaletteCache::read(data, entries), nullptr);
    return entries;
}

}  // namespace

// WCAG's contrast ratio of two colours.
double contrastRatio(CColor a, CColor b) {
    const auto luminance = [](CColor c) {
        double sum = 0.0;
        const double weights[3] = {0.0722, 0.7152, 0.2126};
        for (int i = 0; i < 3; ++i) {
            const double v = double(c >> (8 * i) & 0xff) / 255.0;
            sum += weights[i] * (v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        }
        return sum;
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(ColourSchemes, EveryBuiltInSchemeKeepsTextReadableOnItsSurfaces) {
    for (const char* scheme : {"Gray", "Blue", "Beige", "Red", "Green", "Brown", "White"}) {
        std::vector<CPaletteEntry> entries;
        for (const auto& [name, tone] : schemeTones(scheme)) {
            CPaletteEntry e;
            e.name = CString::fromUtf8(name);
            e.tone = tone;
            entries.push_back(std::move(e));
        }
        CPaletteTree t;
        ASSERT_EQ(t.error(), "");
        ASSERT_EQ(t.palette->setPaletteData(writePaletteData(entries)), nullptr) << scheme;
        for (auto [surface, text] :
             std::vector<std::pair<const char*, const char*>>{{"Panel", "PanelText"},
                                                              {"RealisticPanel", "PanelText"},
                                                              {"Panel", "Text"},
                                                              {"TitleFrame", "TitleFrameText"},
                                                              {"WindowTitle", "WindowTitleText"},
                                                              {"HintPanel", "HintPanelText"},
                                                              {"Action", "ActionText"},
                                                              {"ActionAlt", "ActionAltText"},
                                                              {"Selection", "SelectionText"},
                                                              {"Button_Active", "ButtonText_Active"},
                                                              {"EditBox", "EditBoxText"}})
            EXPECT_GE(contrastRatio(t.colour(surface), t.colour(text)), 4.5)
                << scheme << ": " << text << " on " << surface << std::hex << " " << t.colour(text) << " on "
                << t.colour(surface);
        // Warnings and states are seen, if not read at length.
        EXPECT_GE(contrastRatio(t.colour("ActionError"), t.colour("ActionErrorText")), 3.0) << scheme;
        EXPECT_GE(contrastRatio(t.colour("Action"), t.colour("Selection")), 1.1) << scheme << ": active differs";
    }
}

TEST(PaletteCache, RolesOfUnchangedValuesComeFromTheCacheTheOthersArePreparedAgain) {
    const std::string cache = uniqueLeaf("palette-cache");
    std::unique_ptr<CLoopRoot> root;
    ASSERT_NE(cachedPalette(cache, root), nullptr);
    CPaletteCache::CEntries entries = storedCache(cache);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries["Shadow"].ramp, prepareColor(entries["Shadow"].values).ramp);
    EXPECT_EQ(entries["Shadow"].colour, 0x4a473eu);

    // Marked ramps tell where a role came from.
    entries["Panel"].ramp[0] = 0x12345678;
    entries["Shadow"].ramp[0] = 0x0badf00d;
    entries["Shadow"].values.brightness = -60;
    const std::vector<uint8_t> doctored = CPaletteCache::write(entries);
    ASSERT_EQ(
        CAppDataLocal::instance().writeItem(CString::fromUtf8(cache), doctored.data(), doctored.size(), kCacheTag),
        nullptr);
    const CDynamicPalette* palette = cachedPalette(cache, root);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->find("Panel")->ramp[0], 0x12345678u) << "same values: from the cache";
    EXPECT_EQ(palette->find("Panel")->colour, 0xf6edceu);
    EXPECT_EQ(palette->find("Shadow")->ramp[0], 0xff000000u) << "other values: prepared again";
    EXPECT_EQ(palette->find("Shadow")->colour, 0x4a473eu);
    EXPECT_EQ(storedCache(cache)["Shadow"].ramp[0], 0xff000000u) << "and the cache written again";
}

TEST(PaletteCache, ADamagedCacheIsRebuilt) {
    const std::string cache = uniqueLeaf("palette-cache");
    std::unique_ptr<CLoopRoot> root;
    ASSERT_NE(cachedPalette(cache, root), nullptr);
    std::vector<uint8_t> damaged = CPaletteCache::write(storedCache(cache));
    damaged.resize(damaged.size() - 100);
    ASSERT_EQ(CAppDataLocal::instance().writeItem(CString::fromUtf8(cache), damaged.data(), damaged.size(), kCacheTag),
              nullptr);
    const CDynamicPalette* palette = cachedPalette(cache, root);
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette->find("Shadow")->ramp, prepareColor(palette->find("Shadow")->values).ramp);
    EXPECT_EQ(storedCache(cache).size(), 2u) << "a whole cache again";
}

TEST(ColourSlots, SwatchesNumberRolesAndSlotsReplaceAViewsRoleByNumber) {
    CErrorPtr err;
    auto root = buildTree(R"(
    <ui:color-swatch name="swatch">
      <core:object name="a" is-color="true" index="0" color="CustomSpec1"/>
      <core:object name="b" is-color="true" index="1" color="CustomSpec2"/>
      <core:object name="note" index="2" color="Panel"/>
    </ui:color-swatch>
    <ui:view name="meter" color-slots="LevelMeterZone1;LevelMeterZone2;LevelMeterZone3">
      <ui:view-color-slot slot-index="1" color="Alarm"/>
      <ui:view-color-slot slot-index="3" color="Panel"/>
    </ui:view>)",
                          err);
    ASSERT_EQ(err, nullptr) << err->text().utf8();
    auto* swatch = dynamic_cast<CColorSwatch*>(root->findObject("ui.swatch"));
    ASSERT_NE(swatch, nullptr);
    CString role;
    ASSERT_TRUE(swatch->role(1, role));
    EXPECT_EQ(role, "CustomSpec2");
    setDebugLog(true);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(swatch->role(2, role)) << "an entry that is no colour";
    EXPECT_FALSE(swatch->role(-1, role));
    const std::string log = testing::internal::GetCapturedStderr();
    setDebugLog(false);
    EXPECT_NE(log.find("WRONG COLOR INDEX 2"), std::string::npos) << log;
    EXPECT_NE(log.find("WRONG COLOR INDEX -1"), std::string::npos) << log;

    EXPECT_EQ(root->findObject("ui.meter")->getAttr("color-slots"), "LevelMeterZone1;Alarm;LevelMeterZone3")
        << "slot 3 is not in the list and changes nothing";
    const std::vector<CString> slots = colourSlots("Knob  KnobText;;Indicator");
    ASSERT_EQ(slots.size(), 3u);
    EXPECT_EQ(slots[2], "Indicator");

    setDebugLog(true);
    testing::internal::CaptureStderr();
    buildTree(R"(<ui:view name="v" color-slots="Panel"><ui:view-color-slot slot-index="1" color="Border"/></ui:view>)",
              err);
    const std::string slotLog = testing::internal::GetCapturedStderr();
    setDebugLog(false);
    EXPECT_EQ(err, nullptr);
    EXPECT_NE(slotLog.find("WRONG SLOT INDEX 1"), std::string::npos) << slotLog;

    buildTree(R"(<core:object name="o"><ui:view-color-slot slot-index="0" color="Border"/></core:object>)", err);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text().utf8(), "Parent object is not a view.");
}
