// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "EditorWindowTest.h"
#include "UI/Controls/ColorPicker.h"
#include "UI/Controls/QuickPresetSelector.h"
#include "UI/WindowOpener.h"

using namespace zel;
using namespace zel::test;

namespace {

int channel(CColor c, int shift) { return int(c >> shift & 0xff); }

// Within one step of each channel: the picker works in real numbers.
::testing::AssertionResult near(CColor a, CColor b) {
    for (int shift : {0, 8, 16})
        if (std::abs(channel(a, shift) - channel(b, shift)) > 1)
            return ::testing::AssertionFailure() << std::hex << a << " vs " << b;
    return ::testing::AssertionSuccess();
}

TEST(ColorPickerModel, EveryColourHasAPointThatGivesItBack) {
    // A coarse walk through the cube, its corners and greys included.
    for (int r = 0; r < 256; r += 17)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 51) {
                const CColor c = CColor(r) << 16 | CColor(g) << 8 | CColor(b);
                const CPickerColor p = colorToPicker(c);
                EXPECT_GE(p.level, 0.5) << std::hex << c;
                EXPECT_LE(p.level, 1.0) << std::hex << c;
                EXPECT_TRUE(near(pickerToColor(p), c));
            }
}

TEST(ColorPickerModel, TheGradientRunsFromWhiteThroughTheSpectrumColourToBlack) {
    // The spectrum as its image draws it: hue across, saturation falling downwards.
    EXPECT_EQ(spectrumColor(0.0, 1.0), 0xff0000u);
    EXPECT_EQ(spectrumColor(1.0 / 3, 1.0), 0x00ff00u);
    EXPECT_EQ(spectrumColor(2.0 / 3, 1.0), 0x0000ffu);
    EXPECT_EQ(spectrumColor(0.5, 0.0), 0xffffffu);
    EXPECT_EQ(spectrumColor(1.0, 1.0), 0xff0000u) << "the right edge is red again";
    EXPECT_EQ(pickerToColor({0.0, 1.0, 0.0}), 0xffffffu);
    EXPECT_EQ(pickerToColor({0.0, 1.0, 0.5}), 0xff0000u);
    EXPECT_EQ(pickerToColor({0.0, 1.0, 1.0}), 0x000000u);
    EXPECT_TRUE(near(pickerToColor({0.0, 1.0, 0.25}), 0xff8080));
    EXPECT_TRUE(near(pickerToColor({0.0, 1.0, 0.75}), 0x800000));
    // Out of range points are held at the edges.
    EXPECT_EQ(pickerToColor({-1.0, 2.0, 7.0}), 0x000000u);
    // A grey has no hue and no saturation; only its level tells it.
    const CPickerColor grey = colorToPicker(0x808080);
    EXPECT_EQ(grey.saturation, 0.0);
    EXPECT_NEAR(grey.level, 0.75, 0.01);
}

TEST(ColorPickerModel, HexTextReadsSixDigitsOnly) {
    CColor c = 0x123456;
    EXPECT_TRUE(parseHexColor("ff8000", c));
    EXPECT_EQ(c, 0xff8000u);
    EXPECT_TRUE(parseHexColor("  #00A0fF ", c));
    EXPECT_EQ(c, 0x00a0ffu);
    for (const char* bad : {"", "#", "fff", "ff80001", "gg0000", "12 456", "0x1234"}) {
        CColor kept = 0x654321;
        EXPECT_FALSE(parseHexColor(bad, kept)) << bad;
        EXPECT_EQ(kept, 0x654321u) << bad;
    }
    EXPECT_EQ(hexColor(0x00a0ff), "00A0FF");
    EXPECT_EQ(hexColor(0xff123456), "123456") << "only the colour bytes";
}

TEST(QuickPresetTitleFilter, WildcardsMatchTheWholeTitle) {
    EXPECT_TRUE(matchesTitleFilter("Off*", "Off"));
    EXPECT_TRUE(matchesTitleFilter("Off*", "Off (dark)"));
    EXPECT_FALSE(matchesTitleFilter("Off*", "Coffee"));
    EXPECT_FALSE(matchesTitleFilter("Off*", "off"));
    EXPECT_TRUE(matchesTitleFilter("*ray", "Gray"));
    EXPECT_TRUE(matchesTitleFilter("G?ay", "Gray"));
    EXPECT_FALSE(matchesTitleFilter("G?ay", "Gay"));
    EXPECT_TRUE(matchesTitleFilter("*a*b*", "xxaxxbxx"));
    EXPECT_FALSE(matchesTitleFilter("*a*b", "xxaxxbxx"));
    EXPECT_TRUE(matchesTitleFilter("", ""));
    EXPECT_FALSE(matchesTitleFilter("", "Gray"));
}

// A button of one window opens another window's template with a view
// command, as the settings window opens the colour editor.
class PopupToggle : public EditorWindowTest {};

TEST_F(PopupToggle, AViewCommandOpensThePopupTemplateOfItsViewAndClosesItAgain) {
    const std::string templates = R"(<template name="test:tool">
  <ui:window-drag width="100" height="60" color="Panel">
    <ui:window-renderer name="window-renderer" title="Tool" num-threads="0" fps="40" window-alignment="bottom">
      )" + rendererChildren() + R"(
    </ui:window-renderer>
  </ui:window-drag>
</template>)";
    open(R"(
  <ui:window-drag name="main" width="200" height="100" color="Panel">
    <ui:window-renderer name="window-renderer" title="Main" num-threads="0" window-x="100" window-y="100" fps="40">
      )" + rendererChildren() +
             R"(
    </ui:window-renderer>
    <ui:view name="opens" width="60" height="20" outer-border="L30 T30" color="Button" popup-tag="test:tool">
      <ui:view-command on-event="mouse-release" run-event="popup-toggle"/>
    </ui:view>
  </ui:window-drag>)",
         templates);
    CWindowRenderer* main = rendererOf("main");
    waitShown(main);
    auto* opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
    ASSERT_NE(opener, nullptr);
    int ox = 0, oy = 0;
    ASSERT_TRUE(main->window()->screenOrigin(ox, oy));
    const CRect r = view("main.opens")->area();
    const std::string at =
        std::to_string(ox + (r.left + r.right) / 2) + " " + std::to_string(oy + (r.top + r.bottom) / 2);
    ASSERT_EQ(x.run("xdotool mousemove " + at + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return opener->findPopup("test:tool") != nullptr; }));
    auto* tool = dynamic_cast<CWindowRenderer*>(opener->findPopup("test:tool")->findChild("window-renderer"));
    waitShown(tool);
    main->window()->display().sync();
    ASSERT_EQ(x.run("xdotool mousemove " + at + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 0; }));
}

}  // namespace
